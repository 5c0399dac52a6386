#include "parameters/parametrenum.h"

ParametrEnum::ParametrEnum(const QString* caption, EnumItemList* items, quint8 flags)
    : HAbstractParametr(caption, flags), list(items)
{
    kind = TypeEnum;
}

QString ParametrEnum::valueText() const
{
    const int index = currentIndex();
    if (index >= 0)
        return list->at(index)->text;
    return QLatin1Char('<') + QString::number(shown()) + QLatin1Char('>');
}

void ParametrEnum::setItems(EnumItemList* items)
{
    list = items;
    if (!list || list->isEmpty())
        return;
    for (const EnumItem* item : qAsConst(*list)) {
        if (item && item->value == current)
            return;
    }
    if (list->first())
        setValue(list->first()->value);
}

int ParametrEnum::currentIndex() const
{
    if (!list)
        return -1;
    const qint32 v = shown();
    for (int i = 0; i < list->size(); ++i) {
        if (list->at(i) && list->at(i)->value == v)
            return i;
    }
    return -1;
}
