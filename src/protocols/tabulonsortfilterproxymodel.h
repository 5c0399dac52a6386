#pragma once
// TabulonSortFilterProxyModel: table proxy filtering rows by an ordered And/Or condition list.
#include "protocols/filterentry.h"
#include "protocols/filtermatcher.h"

#include <QList>
#include <QSortFilterProxyModel>
#include <QVector>

class TabulonSortFilterProxyModel : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    explicit TabulonSortFilterProxyModel(QObject* parent = nullptr);

    void setFilters(const QList<FilterEntry>& list);
    QList<FilterEntry> filterList() const { return filters; }

    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Pure evaluation of one condition on a cell text, shared with the row filter.
    static bool entryMatches(const FilterEntry& entry, const QString& text);

public slots:
    void clearSort();
    void removeFilter();

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    QList<FilterEntry> filters;
    QVector<FilterMatcher> matchers;
};
