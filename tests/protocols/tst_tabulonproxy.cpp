// The table proxy: ordered And/Or filter list, the six kinds, sorting and header pass-through.
#include "protocols/tabulonsortfilterproxymodel.h"

#include <QStandardItemModel>
#include <QtTest>

namespace {

FilterEntry entry(int combine, int kind, const QString& pattern, int column = 0,
                  Qt::CaseSensitivity cs = Qt::CaseInsensitive,
                  QRegExp::PatternSyntax syntax = QRegExp::Wildcard)
{
    FilterEntry e;
    e.combine = combine;
    e.column = column;
    e.kind = kind;
    e.regExp = QRegExp(pattern, cs, syntax);
    return e;
}

QStringList shown(const QSortFilterProxyModel& proxy)
{
    QStringList list;
    for (int row = 0; row < proxy.rowCount(); ++row)
        list << proxy.index(row, 0).data().toString();
    return list;
}

QStandardItemModel* makeSource(const QStringList& names, QObject* parent)
{
    auto* source = new QStandardItemModel(parent);
    for (const QString& name : names)
        source->appendRow(new QStandardItem(name));
    source->setHorizontalHeaderLabels({QStringLiteral("Имя")});
    return source;
}

} // namespace

class TestTabulonProxy : public QObject
{
    Q_OBJECT
private slots:
    void emptyListShowsAll();
    void matchesWholeNeedsNothingLeft();
    void andOrLeftToRightWithoutPrecedence();
    void firstEntryCountsAsAnd();
    void everyEntryIsEvaluated();
    void missingColumnTestsEmptyText();
    void comparisonKinds_data();
    void comparisonKinds();
    void unknownKindAndCombine();
    void sortIsCaseSensitiveByCodeUnit();
    void verticalHeaderPassesThroughAfterSorting();
    void removeFilterAndClearSort();
};

void TestTabulonProxy::emptyListShowsAll()
{
    TabulonSortFilterProxyModel proxy;
    proxy.setSourceModel(makeSource({"a", "b", "c"}, &proxy));
    QCOMPARE(proxy.rowCount(), 3);
    proxy.setFilters({entry(And, MatchesWhole, "b")});
    QCOMPARE(proxy.rowCount(), 1);
    proxy.setFilters({});
    QCOMPARE(proxy.rowCount(), 3);
}

void TestTabulonProxy::matchesWholeNeedsNothingLeft()
{
    TabulonSortFilterProxyModel proxy;
    proxy.setSourceModel(makeSource({"abc", "ABCabc", "xabc", "abcx", "ab"}, &proxy));
    proxy.setFilters({entry(And, MatchesWhole, "abc")});
    QCOMPARE(shown(proxy), (QStringList{"abc", "ABCabc"}));
    proxy.setFilters({entry(And, NotMatchesWhole, "abc")});
    QCOMPARE(shown(proxy), (QStringList{"xabc", "abcx", "ab"}));
    proxy.setFilters({entry(And, MatchesWhole, "abc", 0, Qt::CaseSensitive)});
    QCOMPARE(shown(proxy), (QStringList{"abc"}));
}

void TestTabulonProxy::andOrLeftToRightWithoutPrecedence()
{
    TabulonSortFilterProxyModel proxy;
    proxy.setSourceModel(makeSource({"alpha", "beta", "gamma", "beta2"}, &proxy));
    // a Or b And c means (a or b) and c.
    proxy.setFilters({entry(And, MatchesWhole, "alpha"), entry(Or, MatchesWhole, "beta*"),
                      entry(And, MatchesWhole, "*2")});
    QCOMPARE(shown(proxy), QStringList{"beta2"});
    // a And b Or c means (a and b) or c: with a failing And, the Or still rescues c.
    proxy.setFilters({entry(And, MatchesWhole, "alpha"), entry(And, MatchesWhole, "beta"),
                      entry(Or, MatchesWhole, "gamma")});
    QCOMPARE(shown(proxy), QStringList{"gamma"});
    // Second entry Or on a match accepts; with And it refuses.
    proxy.setFilters({entry(And, MatchesWhole, "zeta"), entry(Or, MatchesWhole, "beta")});
    QCOMPARE(shown(proxy), QStringList{"beta"});
    proxy.setFilters({entry(And, MatchesWhole, "zeta"), entry(And, MatchesWhole, "beta")});
    QCOMPARE(shown(proxy), QStringList());
}

void TestTabulonProxy::firstEntryCountsAsAnd()
{
    TabulonSortFilterProxyModel proxy;
    proxy.setSourceModel(makeSource({"alpha", "beta"}, &proxy));
    // An Or first entry would accept everything (true or x); as And it alone decides.
    proxy.setFilters({entry(Or, MatchesWhole, "alpha")});
    QCOMPARE(shown(proxy), QStringList{"alpha"});
}

void TestTabulonProxy::everyEntryIsEvaluated()
{
    // A later Or can lift a row that an earlier And already refused: no short-circuit.
    TabulonSortFilterProxyModel proxy;
    proxy.setSourceModel(makeSource({"one", "two"}, &proxy));
    proxy.setFilters({entry(And, MatchesWhole, "none"), entry(And, MatchesWhole, "one"),
                      entry(Or, MatchesWhole, "two")});
    QCOMPARE(shown(proxy), QStringList{"two"});
}

void TestTabulonProxy::missingColumnTestsEmptyText()
{
    TabulonSortFilterProxyModel proxy;
    proxy.setSourceModel(makeSource({"abc"}, &proxy));
    proxy.setFilters({entry(And, MatchesWhole, "*a*", 3)});
    QCOMPARE(proxy.rowCount(), 0);
    proxy.setFilters({entry(And, NotMatchesWhole, "*a*", 3)});
    QCOMPARE(proxy.rowCount(), 1);
    proxy.setFilters({entry(And, Less, "a", 3)});
    QCOMPARE(proxy.rowCount(), 1); // "" < "a"
}

void TestTabulonProxy::comparisonKinds_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("cs");
    QTest::addColumn<QStringList>("expected");
    // Source: "B", "b", "a", "c"; pattern "b".
    QTest::newRow("less insensitive") << int(Less) << int(Qt::CaseInsensitive) << QStringList{"a"};
    QTest::newRow("less or equal insensitive")
        << int(LessOrEqual) << int(Qt::CaseInsensitive) << QStringList{"B", "b", "a"};
    QTest::newRow("greater insensitive")
        << int(Greater) << int(Qt::CaseInsensitive) << QStringList{"c"};
    QTest::newRow("greater or equal insensitive")
        << int(GreaterOrEqual) << int(Qt::CaseInsensitive) << QStringList{"B", "b", "c"};
    // Case-sensitive by code unit: "B" (66) < "b" (98).
    QTest::newRow("less sensitive") << int(Less) << int(Qt::CaseSensitive) << QStringList{"B", "a"};
    QTest::newRow("greater or equal sensitive")
        << int(GreaterOrEqual) << int(Qt::CaseSensitive) << QStringList{"b", "c"};
}

void TestTabulonProxy::comparisonKinds()
{
    QFETCH(int, kind);
    QFETCH(int, cs);
    QFETCH(QStringList, expected);
    TabulonSortFilterProxyModel proxy;
    proxy.setSourceModel(makeSource({"B", "b", "a", "c"}, &proxy));
    proxy.setFilters({entry(And, kind, "b", 0, Qt::CaseSensitivity(cs))});
    QCOMPARE(shown(proxy), expected);
}

void TestTabulonProxy::unknownKindAndCombine()
{
    TabulonSortFilterProxyModel proxy;
    proxy.setSourceModel(makeSource({"a", "b"}, &proxy));
    proxy.setFilters({entry(And, 42, "zzz")});
    QCOMPARE(proxy.rowCount(), 2);
    // Comparisons use the pattern text as it stands: "*" is just a character below letters.
    proxy.setFilters({entry(And, Greater, "*")});
    QCOMPARE(proxy.rowCount(), 2);
    proxy.setFilters({entry(And, Less, "*")});
    QCOMPARE(proxy.rowCount(), 0);
    // A combine other than And/Or leaves the result as it was.
    proxy.setFilters({entry(And, MatchesWhole, "a"), entry(7, MatchesWhole, "b")});
    QCOMPARE(shown(proxy), QStringList{"a"});
}

void TestTabulonProxy::sortIsCaseSensitiveByCodeUnit()
{
    TabulonSortFilterProxyModel proxy;
    proxy.setSourceModel(makeSource({"beta", "Alpha", "alpha", "Beta", "Яблоко"}, &proxy));
    proxy.setSortRole(Qt::DisplayRole);
    proxy.sort(0, Qt::AscendingOrder);
    QCOMPARE(shown(proxy), (QStringList{"Alpha", "Beta", "alpha", "beta", "Яблоко"}));
    proxy.sort(0, Qt::DescendingOrder);
    QCOMPARE(shown(proxy), (QStringList{"Яблоко", "beta", "alpha", "Beta", "Alpha"}));
}

void TestTabulonProxy::verticalHeaderPassesThroughAfterSorting()
{
    QStandardItemModel source;
    for (const char* name : {"b", "c", "a"})
        source.appendRow(new QStandardItem(QString::fromLatin1(name)));
    for (int row = 0; row < 3; ++row)
        source.setVerticalHeaderItem(row, new QStandardItem(QString::number(row + 1)));
    source.setHorizontalHeaderLabels({QStringLiteral("Имя протокола")});
    TabulonSortFilterProxyModel proxy;
    proxy.setSourceModel(&source);
    proxy.sort(0, Qt::DescendingOrder);
    QCOMPARE(shown(proxy), (QStringList{"c", "b", "a"}));
    for (int row = 0; row < 3; ++row)
        QCOMPARE(proxy.headerData(row, Qt::Vertical).toString(), QString::number(row + 1));
    QCOMPARE(proxy.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Имя протокола"));
}

void TestTabulonProxy::removeFilterAndClearSort()
{
    TabulonSortFilterProxyModel proxy;
    proxy.setSourceModel(makeSource({"b", "a", "c"}, &proxy));
    proxy.sort(0, Qt::DescendingOrder);
    proxy.setFilters({entry(And, MatchesWhole, "a")});
    QCOMPARE(proxy.rowCount(), 1);
    proxy.removeFilter();
    QVERIFY(proxy.filterList().isEmpty());
    QCOMPARE(shown(proxy), (QStringList{"c", "b", "a"}));
    proxy.clearSort();
    QCOMPARE(shown(proxy), (QStringList{"a", "b", "c"}));
}

QTEST_GUILESS_MAIN(TestTabulonProxy)
#include "tst_tabulonproxy.moc"
