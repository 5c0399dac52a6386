#pragma once
// FilterMatcher: one filter condition prepared once, so that testing a row does no pattern work.
#include "protocols/filterentry.h"

#include <QString>

class FilterMatcher
{
public:
    explicit FilterMatcher(const FilterEntry& entry = FilterEntry());

    int combine() const { return condition.combine; }
    int column() const { return condition.column; }
    bool matches(const QString& text) const;

    // True when the pattern is a wildcard "*" + literal + "*", tested as plain containment.
    bool isContainment() const { return containment; }

private:
    bool matchesWhole(const QString& text) const;
    bool contains(const QString& text) const;

    FilterEntry condition;
    // The working copy: matching records state in a QRegExp.
    mutable QRegExp rx;
    // For containment: the literal, lower-cased per code unit when case does not matter.
    QString needle;
    bool containment = false;
};
