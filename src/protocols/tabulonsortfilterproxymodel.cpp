#include "protocols/tabulonsortfilterproxymodel.h"

TabulonSortFilterProxyModel::TabulonSortFilterProxyModel(QObject* parent)
    : QSortFilterProxyModel(parent)
{
}

void TabulonSortFilterProxyModel::setFilters(const QList<FilterEntry>& list)
{
    filters = list;
    // Prepared once here rather than for every row the proxy tests.
    matchers.clear();
    matchers.reserve(list.size());
    for (const FilterEntry& entry : list)
        matchers.append(FilterMatcher(entry));
    invalidate();
}

QVariant TabulonSortFilterProxyModel::headerData(int section, Qt::Orientation orientation,
                                                 int role) const
{
    // Unmapped on purpose: the row numbers stay 1, 2, 3... from the top whatever the order.
    if (!sourceModel())
        return QVariant();
    return sourceModel()->headerData(section, orientation, role);
}

bool TabulonSortFilterProxyModel::entryMatches(const FilterEntry& entry, const QString& text)
{
    return FilterMatcher(entry).matches(text);
}

bool TabulonSortFilterProxyModel::filterAcceptsRow(int sourceRow,
                                                   const QModelIndex& sourceParent) const
{
    bool accepted = true;
    const QAbstractItemModel* source = sourceModel();
    for (int i = 0; i < matchers.size(); ++i) {
        const FilterMatcher& matcher = matchers.at(i);
        const int op = i == 0 ? And : matcher.combine();
        QString text;
        if (source) {
            const QModelIndex cell = source->index(sourceRow, matcher.column(), sourceParent);
            if (cell.isValid())
                text = cell.data(Qt::DisplayRole).toString();
        }
        // Every entry is evaluated: no short-circuit, strictly left to right.
        const bool match = matcher.matches(text);
        if (op == And)
            accepted = accepted && match;
        else if (op == Or)
            accepted = accepted || match;
    }
    return accepted;
}

bool TabulonSortFilterProxyModel::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    return QSortFilterProxyModel::lessThan(left, right);
}

void TabulonSortFilterProxyModel::clearSort()
{
    sort(sortColumn(), Qt::AscendingOrder);
}

void TabulonSortFilterProxyModel::removeFilter()
{
    filters.clear();
    matchers.clear();
    invalidate();
}
