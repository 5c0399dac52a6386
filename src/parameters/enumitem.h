#pragma once
// EnumItem: one entry (value and its text) of the item lists that enumerated parameters borrow.
#include <QList>
#include <QString>

struct EnumItem
{
    qint32 value = 0;
    QString text;
};

using EnumItemList = QList<EnumItem*>;
