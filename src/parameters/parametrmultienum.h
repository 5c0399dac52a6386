#pragma once
// ParametrMultiEnum: a set of values chosen from a borrowed item list, guarded by its own mutex.
#include "parameters/enumitem.h"
#include "parameters/habstractparametr.h"

#include <QMutex>

class ParametrMultiEnum : public HAbstractParametr
{
public:
    ParametrMultiEnum(const QString* caption, EnumItemList* items, quint8 flags);

    // Takes the mutex: do not call while holding lock().
    QString valueText() const override;

    EnumItemList* items() const { return list; }
    bool isSelected(qint32 v) const;
    void clearSelection();
    void selectAll();
    QString itemText(qint32 v) const;

    bool showNames() const { return names; }
    void setShowNames(bool on) { names = on; }

    // The mutex is not recursive.
    void lock() const;
    void unlock() const;

private:
    EnumItemList* list;
    QList<qint32> selected;
    bool names = false;
    mutable QMutex mutex;
};
