// The pure helpers behind the protocol listing and the local file names.
#include "protocols/protocolfiles.h"

#include <QUrl>
#include <QtTest>

class TestProtocolListing : public QObject
{
    Q_OBJECT
private slots:
    void scan_data();
    void scan();
    void textStopsAtNul();
    void safeNames_data();
    void safeNames();
};

void TestProtocolListing::scan_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("only lower-case .xlsx in double quotes")
        << "<a href=\"a.xlsx\">a.xlsx</a><a href=\"b.XLSX\">b.XLSX</a>"
           "<a href=\"c.xls\">c.xls</a><a href='d.xlsx'>d.xlsx</a>"
        << QStringList{"a.xlsx"};
    QTest::newRow("start without any end") << "x<a href=\"a.xlsx\">a.xlsx" << QStringList();
    QTest::newRow("missing end swallows up to the next")
        << "x<a href=\"a.xlsx\">a.xlsx<br><a href=\"b.xlsx\">b.xlsx</a>"
        << QStringList{"a.xlsx<br><a href=\"b.xlsx\">b.xlsx", "b.xlsx"};
    QTest::newRow("many starts share one end")
        << "<.xlsx\">n0.xlsx\">n1.xlsx\">n2</a> tail .xlsx\">last</a>"
        << QStringList{"n0.xlsx\">n1.xlsx\">n2", "n1.xlsx\">n2", "n2", "last"};
    QTest::newRow("duplicates and empty text")
        << "<a href=\"p.xlsx\">p.xlsx</a><a href=\"p.xlsx\">p.xlsx</a><a href=\"e.xlsx\"></a>"
        << QStringList{"p.xlsx", "p.xlsx", ""};
    QTest::newRow("marker at the very start is skipped")
        << ".xlsx\">first</a>.xlsx\">second</a>" << QStringList{"second"};
    QTest::newRow("one character in front is enough")
        << " .xlsx\">first</a>" << QStringList{"first"};
    QTest::newRow("bold text and entities kept verbatim")
        << "<a href=\"P.xlsx\"><b>P-0417.xlsx</b></a><a href=\"q.xlsx\"> Q&amp;A %20 №1.xlsx </a>"
        << QStringList{"<b>P-0417.xlsx</b>", " Q&amp;A %20 №1.xlsx "};
    QTest::newRow("empty page") << QString() << QStringList();
}

void TestProtocolListing::scan()
{
    QFETCH(QString, page);
    QFETCH(QStringList, names);
    QCOMPARE(scanProtocolListing(page), names);
}

void TestProtocolListing::textStopsAtNul()
{
    QByteArray body("x<a href=\"a.xlsx\">Протокол.xlsx</a>");
    body.append('\0');
    body.append("<a href=\"b.xlsx\">b.xlsx</a>");
    QCOMPARE(scanProtocolListing(protocolListingText(body)), QStringList{"Протокол.xlsx"});
    QCOMPARE(protocolListingText(QByteArray("\0abc", 4)), QString());
}

void TestProtocolListing::safeNames_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("safe");
    QTest::addColumn<QString>("name");
    const QString base = QStringLiteral("http://127.6.0.1/protocols/");
    QTest::newRow("plain") << base + "P-0417.xlsx" << true << "P-0417.xlsx";
    QTest::newRow("encoded space") << base + "a%20b.xlsx" << true << "a b.xlsx";
    QTest::newRow("cyrillic") << base + "Протокол 1.xlsx" << true << "Протокол 1.xlsx";
    QTest::newRow("encoded slash traversal")
        << base + "..%2F..%2Fevil.xlsx" << false << "../../evil.xlsx";
    QTest::newRow("encoded backslash") << base + "..%5Cevil.xlsx" << false << "..\\evil.xlsx";
    QTest::newRow("encoded slash") << base + "a%2Fb.xlsx" << false << "a/b.xlsx";
    QTest::newRow("encoded dot dot") << base + "%2E%2E" << false << "..";
    QTest::newRow("dot") << base + "." << false << ".";
    QTest::newRow("empty") << base << false << "";
    QTest::newRow("newline") << base + "a%0Ab.xlsx" << false << "a\nb.xlsx";
    QTest::newRow("nul") << base + "a%00b.xlsx" << false << QString::fromLatin1("a\0b.xlsx", 8);
    QTest::newRow("delete") << base + "a%7Fb.xlsx" << false
                            << QString::fromLatin1("a\x7f"
                                                   "b.xlsx");
}

void TestProtocolListing::safeNames()
{
    QFETCH(QString, url);
    QFETCH(bool, safe);
    QFETCH(QString, name);
    QString got;
    QCOMPARE(safeProtocolFileName(QUrl(url, QUrl::TolerantMode), &got), safe);
    QCOMPARE(got, name);
}

QTEST_GUILESS_MAIN(TestProtocolListing)
#include "tst_protocollisting.moc"
