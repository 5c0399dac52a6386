#pragma once
// ParametrPath: a file or folder path; with AltEditor its editor chooses a folder.
#include "parameters/habstractparametr.h"

#include <QStringList>

class ParametrPath : public HAbstractParametr
{
public:
    ParametrPath(const QString* caption, quint8 flags);

    QString valueText() const override { return text; }
    QString value() const { return text; }
    void setValue(const QString& v) { text = v; }
    QStringList filters() const { return filterList; }
    void setFilters(const QStringList& list) { filterList = list; }

private:
    QString text;
    QStringList filterList;
};
