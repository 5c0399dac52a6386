#include "parameters/parametrtime.h"

ParametrTime::ParametrTime(const QString* caption, quint8 flags)
    : HAbstractParametr(caption, flags), low(0, 0, 0, 0), high(23, 59, 59, 9)
{
    kind = TypeTime;
}

ParametrTime::ParametrTime(const QString* caption, const QTime& minimum, const QTime& maximum,
                           quint8 flags)
    : HAbstractParametr(caption, flags), low(minimum), high(maximum)
{
    kind = TypeTime;
}

QString ParametrTime::secondsText(const QTime& time)
{
    const float s = static_cast<float>(time.second()) + static_cast<float>(time.msec()) / 1000.0f;
    return QString::number(static_cast<double>(s), 'g', 6);
}

QString ParametrTime::valueText() const
{
    const QTime t = testFlag(ShowEditValue) ? edited : current;
    // A time never set has no hours or minutes to show (its parts read as -1).
    if (!t.isValid())
        return QString();
    QString text;
    if (t.hour() != 0)
        text += QString::number(t.hour()) + QStringLiteral(" час  ");
    if (t.minute() != 0)
        text += QString::number(t.minute()) + QStringLiteral(" мин  ");
    if (t.second() > 0 || t.msec() > 0 || text.isEmpty())
        text += secondsText(t) + QStringLiteral(" сек  ");
    return text;
}
