#pragma once
// ParametrDouble: a floating-point value with an edit copy, bounds and shown decimals.
#include "parameters/habstractparametr.h"

class ParametrDouble : public HAbstractParametr
{
public:
    // A bound given as -99 means "no bound" and becomes the extreme finite double.
    ParametrDouble(const QString* caption, double minimum, double maximum, quint8 flags);

    QString valueText() const override;

    double value() const { return current; }
    void setValue(double v) { current = edited = v; }
    double editValue() const { return edited; }
    void setEditValue(double v) { edited = v; }
    void applyEdit() { current = edited; }
    void revertEdit() { edited = current; }

    double minimum() const { return low; }
    double maximum() const { return high; }
    quint8 decimals() const { return places; }

private:
    double shown() const { return testFlag(ShowEditValue) ? edited : current; }

    double low;
    double high;
    quint8 places = 3;
    double current = 0.0;
    double edited = 0.0;
};
