#pragma once
// PrField: a parameter row, a caption label with one editor or a grid of several editors.
#include <QList>
#include <QWidget>

class QLabel;
class EditField;
class HAbstractParametr;

class PrField : public QWidget
{
    Q_OBJECT
public:
    enum LabelLayout
    {
        LabelAbove = 0,
        LabelLeft = 1,
        NoLabel = 2
    };
    enum Flag : quint8
    {
        MultiField = 0x01,
        UnitsShown = 0x02
    };

    PrField(HAbstractParametr* parametr, QWidget* parent = nullptr, int layout = LabelAbove);
    PrField(HAbstractParametr* parametr, int id, QWidget* parent = nullptr,
            int layout = LabelAbove);
    // A row of several editors under one caption; add them with addParametr.
    explicit PrField(const QString& caption, QWidget* parent = nullptr);

    void addParametr(HAbstractParametr* parametr);
    void updateEditors();

    int id() const { return rowId; }
    void setId(int n) { rowId = n; }
    bool testFlag(quint8 mask) const { return (flagSet & mask) != 0; }
    void setFlag(quint8 mask, bool on);

    void setUnits(const QString& text);
    void setUnitsFrom(HAbstractParametr* parametr);
    void setEditorHeight(int h);

    EditField* editField() const { return single; }
    QList<EditField*> editFields() const { return several; }
    QLabel* label() const { return captionLabel; }

signals:
    void changed();

private:
    void build(HAbstractParametr* parametr, int layout);

    EditField* single = nullptr;
    QList<EditField*> several;
    QLabel* captionLabel = nullptr;
    int rowId = -1;
    quint8 flagSet = 0;
};
