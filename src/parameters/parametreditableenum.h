#pragma once
// ParametrEditableEnum: a free text that may also be picked from a borrowed item list.
#include "parameters/enumitem.h"
#include "parameters/habstractparametr.h"

class ParametrEditableEnum : public HAbstractParametr
{
public:
    ParametrEditableEnum(const QString* caption, EnumItemList* items, quint8 flags);

    QString valueText() const override { return text; }
    EnumItemList* items() const { return list; }
    QString value() const { return text; }
    void setValue(const QString& v) { text = v; }

private:
    EnumItemList* list;
    QString text;
};
