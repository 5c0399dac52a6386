#include "parameters/parametrint.h"

ParametrInt::ParametrInt(const QString* caption, qint32 minimum, qint32 maximum, quint8 flags)
    : HAbstractParametr(caption, flags), low(minimum), high(maximum)
{
    kind = TypeInt;
}

QString ParametrInt::valueText() const
{
    return QString::number(shown());
}

QString ParametrInt::hexText(bool hex) const
{
    if (!hex)
        return valueText();
    return QStringLiteral("0x") + QString::number(shown(), 16).toUpper();
}
