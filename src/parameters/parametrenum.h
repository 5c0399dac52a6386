#pragma once
// ParametrEnum: a value chosen from a borrowed item list, with an edit copy beside the value.
#include "parameters/enumitem.h"
#include "parameters/habstractparametr.h"

class ParametrEnum : public HAbstractParametr
{
public:
    ParametrEnum(const QString* caption, EnumItemList* items, quint8 flags);

    QString valueText() const override;

    qint32 value() const { return current; }
    void setValue(qint32 v) { current = edited = v; }
    qint32 editValue() const { return edited; }
    void setEditValue(qint32 v) { edited = v; }
    void applyEdit() { current = edited; }
    void revertEdit() { edited = current; }

    EnumItemList* items() const { return list; }
    void setItems(EnumItemList* items);
    int currentIndex() const;

private:
    qint32 shown() const { return testFlag(ShowEditValue) ? edited : current; }

    EnumItemList* list;
    qint32 current = 0;
    qint32 edited = 0;
};
