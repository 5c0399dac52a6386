#include "parameters/parametreditableenum.h"

ParametrEditableEnum::ParametrEditableEnum(const QString* caption, EnumItemList* items,
                                           quint8 flags)
    : HAbstractParametr(caption, flags), list(items)
{
    kind = TypeEditableEnum;
}
