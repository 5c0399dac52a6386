#pragma once
// FilterEntry: one condition of the table proxy's ordered And/Or filter list.
#include <QRegExp>

enum FilterCombine
{
    And = 0,
    Or = 1
};

enum FilterKind
{
    MatchesWhole = 0,
    NotMatchesWhole = 1,
    Less = 2,
    LessOrEqual = 3,
    Greater = 4,
    GreaterOrEqual = 5
};

struct FilterEntry
{
    int combine = And;
    int column = 0;
    int kind = MatchesWhole;
    QRegExp regExp;
};
