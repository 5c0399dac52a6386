#include "parameters/parametrip.h"

ParametrIP::ParametrIP(const QString* caption, quint8 flags) : HAbstractParametr(caption, flags)
{
    kind = TypeIP;
}

QString ParametrIP::addressText() const
{
    return value.isNull() ? QString() : value.toString();
}
