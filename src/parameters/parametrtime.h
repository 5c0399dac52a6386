#pragma once
// ParametrTime: a time of day with an edit copy, shown in hours, minutes and seconds.
#include "parameters/habstractparametr.h"

#include <QTime>

class ParametrTime : public HAbstractParametr
{
public:
    ParametrTime(const QString* caption, quint8 flags);
    ParametrTime(const QString* caption, const QTime& minimum, const QTime& maximum, quint8 flags);

    QString valueText() const override;

    QTime value() const { return current; }
    void setValue(const QTime& v) { current = edited = v; }
    QTime editValue() const { return edited; }
    void setEditValue(const QTime& v) { edited = v; }
    void applyEdit() { current = edited; }
    void revertEdit() { edited = current; }

    QTime minimum() const { return low; }
    QTime maximum() const { return high; }

    // Seconds plus milliseconds as one single-precision figure, 'g' with 6 digits.
    static QString secondsText(const QTime& time);

private:
    QTime low;
    QTime high;
    QTime current;
    QTime edited;
};
