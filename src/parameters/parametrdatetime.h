#pragma once
// ParametrDateTime: a local date and time, with the 6-byte packed form devices exchange.
#include "parameters/habstractparametr.h"

#include <QDateTime>

class ParametrDateTime : public HAbstractParametr
{
public:
    ParametrDateTime(const QString* caption, quint8 flags);
    ParametrDateTime(const QString* caption, const QDateTime& minimum, const QDateTime& maximum,
                     quint8 flags);

    QString valueText() const override;

    QDateTime value() const { return current; }
    void setValue(const QDateTime& v) { current = v; }
    QDateTime minimum() const { return low; }
    QDateTime maximum() const { return high; }

    // Bytes: year - 2000, month, day, hour, minute, second. Milliseconds are dropped.
    void toBytes(quint8 out[6]) const;
    void fromBytes(const quint8 in[6]);

private:
    QDateTime low;
    QDateTime high;
    QDateTime current;
};
