#include "parameters/parametrdouble.h"

#include <limits>

namespace {
constexpr double NoBound = -99.0;
}

ParametrDouble::ParametrDouble(const QString* caption, double minimum, double maximum, quint8 flags)
    : HAbstractParametr(caption, flags),
      low(minimum == NoBound ? std::numeric_limits<double>::lowest() : minimum),
      high(maximum == NoBound ? std::numeric_limits<double>::max() : maximum)
{
    kind = TypeDouble;
}

QString ParametrDouble::valueText() const
{
    return QString::number(shown(), 'g', 6).replace(QLatin1Char('.'), QLatin1Char(','));
}
