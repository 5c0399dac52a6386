#include "parameters/parametrmultienum.h"

#include <QMutexLocker>
#include <QObject>

namespace {
constexpr int MaxShownEntries = 11;
}

ParametrMultiEnum::ParametrMultiEnum(const QString* caption, EnumItemList* items, quint8 flags)
    : HAbstractParametr(caption, flags), list(items)
{
    kind = TypeMultiEnum;
}

QString ParametrMultiEnum::valueText() const
{
    QMutexLocker locker(&mutex);
    if (selected.isEmpty())
        return QObject::tr("Нажмите для выбора");
    QString text;
    const int count = selected.size();
    const int shown = qMin(count, MaxShownEntries);
    for (int i = 0; i < shown; ++i) {
        text += QLatin1Char('[') + itemText(selected.at(i)) + QLatin1Char(']');
        if (i != count - 1)
            text += QStringLiteral(" ,");
    }
    return text;
}

bool ParametrMultiEnum::isSelected(qint32 v) const
{
    QMutexLocker locker(&mutex);
    return selected.contains(v);
}

void ParametrMultiEnum::clearSelection()
{
    QMutexLocker locker(&mutex);
    selected.clear();
}

void ParametrMultiEnum::selectAll()
{
    QMutexLocker locker(&mutex);
    if (!list)
        return;
    for (const EnumItem* item : qAsConst(*list)) {
        if (item)
            selected.append(item->value);
    }
}

QString ParametrMultiEnum::itemText(qint32 v) const
{
    if (!list)
        return QString();
    for (const EnumItem* item : qAsConst(*list)) {
        if (item && item->value == v)
            return names ? item->text : QString::number(static_cast<qint64>(v) + 1);
    }
    return QString();
}
