#pragma once
// HAbstractParametr: the base of every editable, storable value (kind code, caption, flags).
#include <QString>

enum ParametrType
{
    TypeEnum = 0,
    TypeString = 1,
    TypeDouble = 3,
    TypeInt = 4,
    TypeMultiEnum = 5,
    TypeTime = 6,
    TypeChannelStyle = 7,
    TypeDateTime = 8,
    TypePath = 9,
    TypeEditableEnum = 10,
    TypeIP = 11
};

enum ParametrFlag : quint8
{
    ShowEditValue = 0x02,
    OwnCaption = 0x04,
    AltEditor = 0x20
};

class HAbstractParametr
{
public:
    HAbstractParametr(const QString* caption, quint8 flags);
    virtual ~HAbstractParametr();
    HAbstractParametr(const HAbstractParametr&) = delete;
    HAbstractParametr& operator=(const HAbstractParametr&) = delete;

    virtual QString valueText() const;
    virtual QString caption() const;

    int type() const { return kind; }
    quint8 flags() const { return flagSet; }
    bool testFlag(quint8 mask) const { return (flagSet & mask) != 0; }
    void setFlags(quint8 f) { flagSet = f; }
    void addFlags(quint8 f) { flagSet |= f; }
    void removeFlags(quint8 f) { flagSet &= static_cast<quint8>(~f); }

    QString toolTip() const;
    void setToolTip(const QString& text);

protected:
    int kind = -1;

private:
    quint8 flagSet;
    // Decided once at construction: flags changed later must not make us free a borrowed text.
    bool ownsCaption;
    const QString* captionText;
    QString* toolTipText = nullptr;
};
