// The table proxy: ordered And/Or filter list, the six kinds, sorting and header pass-through.
#include "protocols/tabulonsortfilterproxymodel.h"

#include <QStandardItemModel>
#include <QtTest>

using Filters = QList<FilterEntry>;
Q_DECLARE_METATYPE(Filters)

namespace {

FilterEntry entry(int combine, int kind, const QString& pattern, int column = 0,
                  Qt::CaseSensitivity cs = Qt::CaseInsensitive)
{
    FilterEntry e;
    e.combine = combine;
    e.column = column;
    e.kind = kind;
    e.regExp = QRegExp(pattern, cs, QRegExp::Wildcard);
    return e;
}

QStringList shown(const QSortFilterProxyModel& proxy)
{
    QStringList list;
    for (int row = 0; row < proxy.rowCount(); ++row)
        list << proxy.index(row, 0).data().toString();
    return list;
}

} // namespace

class TestTabulonProxy : public QObject
{
    Q_OBJECT
private slots:
    void filters_data();
    void filters();
    void sortsByCodeUnitAndKeepsRowNumbers();
};

void TestTabulonProxy::filters_data()
{
    QTest::addColumn<QStringList>("source");
    QTest::addColumn<Filters>("list");
    QTest::addColumn<QStringList>("expected");
    const QStringList abc{"abc", "ABCabc", "xabc", "abcx", "ab"};
    const QStringList words{"alpha", "beta", "gamma", "beta2"};
    const QStringList letters{"B", "b", "a", "c"};
    QTest::newRow("empty list shows all") << abc << Filters() << abc;
    QTest::newRow("matches whole, any case")
        << abc << Filters{entry(And, MatchesWhole, "abc")} << QStringList{"abc", "ABCabc"};
    // Minimal stars cover as little as they can, so the text around the literal can remain:
    // no plain containment.
    FilterEntry minimal = entry(And, MatchesWhole, "*abc*");
    minimal.regExp.setMinimal(true);
    QTest::newRow("minimal stars")
        << abc << Filters{minimal} << QStringList{"abc", "ABCabc", "xabc"};
    QTest::newRow("not matches whole")
        << abc << Filters{entry(And, NotMatchesWhole, "abc")} << QStringList{"xabc", "abcx", "ab"};
    // a Or b And c is (a or b) and c; a And b Or c is (a and b) or c.
    QTest::newRow("or then and") << words
                                 << Filters{entry(And, MatchesWhole, "alpha"),
                                            entry(Or, MatchesWhole, "beta*"),
                                            entry(And, MatchesWhole, "*2")}
                                 << QStringList{"beta2"};
    QTest::newRow("and then or, every entry evaluated")
        << words
        << Filters{entry(And, MatchesWhole, "alpha"), entry(And, MatchesWhole, "beta"),
                   entry(Or, MatchesWhole, "gamma")}
        << QStringList{"gamma"};
    QTest::newRow("first entry with or counts as and")
        << words << Filters{entry(Or, MatchesWhole, "alpha")} << QStringList{"alpha"};
    QTest::newRow("missing column is empty text")
        << abc << Filters{entry(And, MatchesWhole, "*a*", 3)} << QStringList();
    QTest::newRow("less") << letters << Filters{entry(And, Less, "b")} << QStringList{"a"};
    QTest::newRow("less or equal")
        << letters << Filters{entry(And, LessOrEqual, "b")} << QStringList{"B", "b", "a"};
    QTest::newRow("greater") << letters << Filters{entry(And, Greater, "b")} << QStringList{"c"};
    QTest::newRow("greater or equal")
        << letters << Filters{entry(And, GreaterOrEqual, "b")} << QStringList{"B", "b", "c"};
    // By code unit: "B" (66) < "b" (98).
    QTest::newRow("less, case-sensitive")
        << letters << Filters{entry(And, Less, "b", 0, Qt::CaseSensitive)} << QStringList{"B", "a"};
}

void TestTabulonProxy::filters()
{
    QFETCH(QStringList, source);
    QFETCH(Filters, list);
    QFETCH(QStringList, expected);
    QStandardItemModel model;
    for (const QString& name : source)
        model.appendRow(new QStandardItem(name));
    TabulonSortFilterProxyModel proxy;
    proxy.setSourceModel(&model);
    proxy.setFilters(list);
    QCOMPARE(shown(proxy), expected);
    proxy.removeFilter();
    QCOMPARE(shown(proxy), source);
}

void TestTabulonProxy::sortsByCodeUnitAndKeepsRowNumbers()
{
    QStandardItemModel source;
    const QStringList names{"beta", "Alpha", "alpha", "Beta", "Яблоко"};
    for (int row = 0; row < names.size(); ++row) {
        source.appendRow(new QStandardItem(names.at(row)));
        source.setVerticalHeaderItem(row, new QStandardItem(QString::number(row + 1)));
    }
    source.setHorizontalHeaderLabels({QStringLiteral("Имя протокола")});
    TabulonSortFilterProxyModel proxy;
    proxy.setSourceModel(&source);
    proxy.sort(0, Qt::AscendingOrder);
    QCOMPARE(shown(proxy), (QStringList{"Alpha", "Beta", "alpha", "beta", "Яблоко"}));
    proxy.sort(0, Qt::DescendingOrder);
    QCOMPARE(shown(proxy), (QStringList{"Яблоко", "beta", "alpha", "Beta", "Alpha"}));
    // Row numbers stay 1, 2, 3... from the top, not the sorted source rows.
    for (int row = 0; row < names.size(); ++row)
        QCOMPARE(proxy.headerData(row, Qt::Vertical).toString(), QString::number(row + 1));
    QCOMPARE(proxy.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Имя протокола"));
    proxy.clearSort();
    QCOMPARE(shown(proxy), (QStringList{"Alpha", "Beta", "alpha", "beta", "Яблоко"}));
}

QTEST_GUILESS_MAIN(TestTabulonProxy)
#include "tst_tabulonproxy.moc"
