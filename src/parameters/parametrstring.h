#pragma once
// ParametrString: a text with a maximum length; with AltEditor it is edited in a multi-line box.
#include "parameters/habstractparametr.h"

class ParametrString : public HAbstractParametr
{
public:
    ParametrString(const QString* caption, int maxLength, quint8 flags);

    QString valueText() const override { return text; }
    QString value() const { return text; }
    void setValue(const QString& v) { text = v; }
    int maxLength() const { return limit; }

private:
    QString text;
    int limit;
};
