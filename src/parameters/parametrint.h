#pragma once
// ParametrInt: a bounded integer with an edit copy; the bounds limit only its editor.
#include "parameters/habstractparametr.h"

class ParametrInt : public HAbstractParametr
{
public:
    ParametrInt(const QString* caption, qint32 minimum, qint32 maximum, quint8 flags);

    QString valueText() const override;
    QString hexText(bool hex) const;

    qint32 value() const { return current; }
    void setValue(qint32 v) { current = edited = v; }
    qint32 editValue() const { return edited; }
    void setEditValue(qint32 v) { edited = v; }
    void applyEdit() { current = edited; }
    void revertEdit() { edited = current; }

    qint32 minimum() const { return low; }
    qint32 maximum() const { return high; }

private:
    qint32 shown() const { return testFlag(ShowEditValue) ? edited : current; }

    qint32 low;
    qint32 high;
    qint32 current = 0;
    qint32 edited = 0;
};
