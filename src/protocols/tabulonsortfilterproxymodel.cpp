#include "protocols/tabulonsortfilterproxymodel.h"

TabulonSortFilterProxyModel::TabulonSortFilterProxyModel(QObject* parent)
    : QSortFilterProxyModel(parent)
{
}

void TabulonSortFilterProxyModel::setFilters(const QList<FilterEntry>& list)
{
    filters = list;
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
    // Matching records state in the QRegExp, so work on a copy.
    QRegExp rx = entry.regExp;
    switch (entry.kind) {
    case MatchesWhole:
    case NotMatchesWhole: {
        const bool whole = text.indexOf(rx) != -1 && QString(text).remove(rx).isEmpty();
        return entry.kind == MatchesWhole ? whole : !whole;
    }
    case Less:
        return QString::compare(text, rx.pattern(), rx.caseSensitivity()) < 0;
    case LessOrEqual:
        return QString::compare(text, rx.pattern(), rx.caseSensitivity()) <= 0;
    case Greater:
        return QString::compare(text, rx.pattern(), rx.caseSensitivity()) > 0;
    case GreaterOrEqual:
        return QString::compare(text, rx.pattern(), rx.caseSensitivity()) >= 0;
    default:
        return true;
    }
}

bool TabulonSortFilterProxyModel::filterAcceptsRow(int sourceRow,
                                                   const QModelIndex& sourceParent) const
{
    bool accepted = true;
    const QAbstractItemModel* source = sourceModel();
    for (int i = 0; i < filters.size(); ++i) {
        const FilterEntry& entry = filters.at(i);
        const int op = i == 0 ? And : entry.combine;
        QString text;
        if (source) {
            const QModelIndex cell = source->index(sourceRow, entry.column, sourceParent);
            if (cell.isValid())
                text = cell.data(Qt::DisplayRole).toString();
        }
        // Every entry is evaluated: no short-circuit, strictly left to right.
        const bool match = entryMatches(entry, text);
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
    invalidate();
}
