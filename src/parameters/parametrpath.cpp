#include "parameters/parametrpath.h"

ParametrPath::ParametrPath(const QString* caption, quint8 flags)
    : HAbstractParametr(caption, flags), filterList(QStringList() << QStringLiteral("*"))
{
    kind = TypePath;
}
