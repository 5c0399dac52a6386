#include "parameters/parametrdatetime.h"

#include "parameters/parametrtime.h"

#include <QtGlobal>

ParametrDateTime::ParametrDateTime(const QString* caption, quint8 flags)
    : HAbstractParametr(caption, flags)
{
    kind = TypeDateTime;
}

ParametrDateTime::ParametrDateTime(const QString* caption, const QDateTime& minimum,
                                   const QDateTime& maximum, quint8 flags)
    : HAbstractParametr(caption, flags), low(minimum), high(maximum)
{
    kind = TypeDateTime;
}

QString ParametrDateTime::valueText() const
{
    if (!current.isValid())
        return QString();
    const QDate d = current.date();
    const QTime t = current.time();
    return QString::number(d.day()) + QLatin1Char('.') + QString::number(d.month()) +
           QLatin1Char('.') + QString::number(d.year()) + QStringLiteral("  ") +
           QString::number(t.hour()) + QLatin1Char(':') + QString::number(t.minute()) +
           QLatin1Char(':') + ParametrTime::secondsText(t);
}

void ParametrDateTime::toBytes(quint8 out[6]) const
{
    const QDate d = current.date();
    const QTime t = current.time();
    // A byte holds years 2000..2255; anything outside is pinned rather than wrapped.
    out[0] = static_cast<quint8>(qBound(0, d.year() - 2000, 255));
    out[1] = static_cast<quint8>(qMax(0, d.month()));
    out[2] = static_cast<quint8>(qMax(0, d.day()));
    out[3] = static_cast<quint8>(qMax(0, t.hour()));
    out[4] = static_cast<quint8>(qMax(0, t.minute()));
    out[5] = static_cast<quint8>(qMax(0, t.second()));
}

void ParametrDateTime::fromBytes(const quint8 in[6])
{
    current =
        QDateTime(QDate(in[0] + 2000, in[1], in[2]), QTime(in[3], in[4], in[5], 0), Qt::LocalTime);
}
