#include "parameters/parametrstring.h"

ParametrString::ParametrString(const QString* caption, int maxLength, quint8 flags)
    : HAbstractParametr(caption, flags), limit(maxLength)
{
    kind = TypeString;
}
