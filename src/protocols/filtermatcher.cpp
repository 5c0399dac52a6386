#include "protocols/filtermatcher.h"

#include "shell/qtcompat.h"

namespace {

// A literal of these wildcard characters only: none of them means anything but itself.
bool isWildcardLiteral(const QString& text)
{
    for (const QChar ch : text) {
        switch (ch.unicode()) {
        case '*':
        case '?':
        case '[':
        case ']':
        case '\\':
            return false;
        default:
            break;
        }
    }
    return true;
}

// QRegExp folds case one UTF-16 unit at a time with QChar::toLower; so does this.
inline ushort lowerUnit(ushort u)
{
    if (u < 0x80)
        return u >= 'A' && u <= 'Z' ? static_cast<ushort>(u | 0x20) : u;
    return QChar::toLower(static_cast<uint>(u));
}

} // namespace

FilterMatcher::FilterMatcher(const FilterEntry& entry) : condition(entry), rx(entry.regExp)
{
    // "*" + literal + "*" under wildcard syntax: the greedy stars make the first occurrence of
    // the literal cover the whole text, so "occurs and nothing remains" is plain containment.
    // Minimal stars cover nothing, and the text around the literal remains.
    const QString pattern = rx.pattern();
    const QRegExp::PatternSyntax syntax = rx.patternSyntax();
    if ((syntax == QRegExp::Wildcard || syntax == QRegExp::WildcardUnix) && !rx.isMinimal() &&
        pattern.size() > 2 && pattern.startsWith(QLatin1Char('*')) &&
        pattern.endsWith(QLatin1Char('*'))) {
        const QString literal = pattern.mid(1, pattern.size() - 2);
        if (isWildcardLiteral(literal)) {
            containment = true;
            needle = literal;
            if (rx.caseSensitivity() == Qt::CaseInsensitive) {
                for (QChar& ch : needle)
                    ch = QChar(lowerUnit(ch.unicode()));
            }
        }
    }
}

bool FilterMatcher::contains(const QString& text) const
{
    if (rx.caseSensitivity() == Qt::CaseSensitive)
        return text.indexOf(needle, 0, Qt::CaseSensitive) != -1;
    const int n = text.size();
    const int m = needle.size();
    const QChar* t = text.constData();
    const QChar* p = needle.constData();
    const ushort first = p[0].unicode();
    for (int i = 0; i + m <= n; ++i) {
        if (lowerUnit(t[i].unicode()) != first)
            continue;
        int j = 1;
        while (j < m && lowerUnit(t[i + j].unicode()) == p[j].unicode())
            ++j;
        if (j == m)
            return true;
    }
    return false;
}

bool FilterMatcher::matchesWhole(const QString& text) const
{
    if (containment)
        return contains(text);
    return rx.indexIn(text) != -1 && QtCompat::removeMatches(text, rx).isEmpty();
}

bool FilterMatcher::matches(const QString& text) const
{
    switch (condition.kind) {
    case MatchesWhole:
        return matchesWhole(text);
    case NotMatchesWhole:
        return !matchesWhole(text);
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
