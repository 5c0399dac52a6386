// The pure helpers behind the protocol listing and the local file names.
#include "protocols/protocolfiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

class TestProtocolListing : public QObject
{
    Q_OBJECT
private slots:
    void scanExtensions();
    void scanMissingEndMarker();
    void scanDuplicatesAndEmptyNames();
    void scanSkipsMarkerAtStart();
    void scanKeepsMarkupAndVerbatimText();
    void scanManyUnterminatedStartsStaysCorrect();
    void textStopsAtNul();
    void safeNames_data();
    void safeNames();
    void saveReplacesAtomically();
    void saveCreatesMissingFolders();
    void saveIntoUnwritableFolderFails();
};

void TestProtocolListing::scanExtensions()
{
    const QString page = QStringLiteral("<html><a href=\"a.xlsx\">a.xlsx</a>"
                                        "<a href=\"b.XLSX\">b.XLSX</a>"
                                        "<a href=\"c.xls\">c.xls</a>"
                                        "<a href='d.xlsx'>d.xlsx</a></html>");
    QCOMPARE(scanProtocolListing(page), QStringList{QStringLiteral("a.xlsx")});
}

void TestProtocolListing::scanMissingEndMarker()
{
    // No end marker anywhere after the start: nothing, and the scan goes on behind it.
    QCOMPARE(scanProtocolListing(QStringLiteral("x<a href=\"a.xlsx\">a.xlsx")), QStringList());

    // Only the first link's own end is missing: its name runs to the next link's end marker.
    const QString page = QStringLiteral("x<a href=\"a.xlsx\">a.xlsx<br>"
                                        "<a href=\"b.xlsx\">b.xlsx</a><br>");
    const QStringList names = scanProtocolListing(page);
    QCOMPARE(names.size(), 2);
    QCOMPARE(names.at(0), QStringLiteral("a.xlsx<br><a href=\"b.xlsx\">b.xlsx"));
    QCOMPARE(names.at(1), QStringLiteral("b.xlsx"));
}

void TestProtocolListing::scanDuplicatesAndEmptyNames()
{
    const QString page = QStringLiteral("<p><a href=\"p.xlsx\">p.xlsx</a>"
                                        "<a href=\"p.xlsx\">p.xlsx</a>"
                                        "<a href=\"e.xlsx\"></a></p>");
    QCOMPARE(scanProtocolListing(page),
             (QStringList{QStringLiteral("p.xlsx"), QStringLiteral("p.xlsx"), QString()}));
}

void TestProtocolListing::scanSkipsMarkerAtStart()
{
    QCOMPARE(scanProtocolListing(QStringLiteral(".xlsx\">first</a>.xlsx\">second</a>")),
             QStringList{QStringLiteral("second")});
    // One character in front is enough for it to count.
    QCOMPARE(scanProtocolListing(QStringLiteral(" .xlsx\">first</a>")),
             QStringList{QStringLiteral("first")});
    QCOMPARE(scanProtocolListing(QString()), QStringList());
}

void TestProtocolListing::scanKeepsMarkupAndVerbatimText()
{
    const QString page = QStringLiteral("<a href=\"P-0417.xlsx\"><b>P-0417.xlsx</b></a>"
                                        "<a href=\"q.xlsx\"> Q&amp;A %20 Протокол №1.xlsx </a>");
    QCOMPARE(scanProtocolListing(page),
             (QStringList{QStringLiteral("<b>P-0417.xlsx</b>"),
                          QStringLiteral(" Q&amp;A %20 Протокол №1.xlsx ")}));
}

void TestProtocolListing::scanManyUnterminatedStartsStaysCorrect()
{
    // Many starts share one end marker: each one yields the text up to that marker.
    QString page = QStringLiteral("<");
    for (int i = 0; i < 3; ++i)
        page += QStringLiteral(".xlsx\">n%1").arg(i);
    page += QStringLiteral("</a> tail .xlsx\">last</a>");
    QCOMPARE(scanProtocolListing(page),
             (QStringList{QStringLiteral("n0.xlsx\">n1.xlsx\">n2"), QStringLiteral("n1.xlsx\">n2"),
                          QStringLiteral("n2"), QStringLiteral("last")}));
}

void TestProtocolListing::textStopsAtNul()
{
    QByteArray body("x<a href=\"a.xlsx\">a.xlsx</a>");
    body.append('\0');
    body.append("<a href=\"b.xlsx\">b.xlsx</a>");
    const QString text = protocolListingText(body);
    QCOMPARE(text, QStringLiteral("x<a href=\"a.xlsx\">a.xlsx</a>"));
    QCOMPARE(scanProtocolListing(text), QStringList{QStringLiteral("a.xlsx")});
    QCOMPARE(protocolListingText(QByteArray("\0abc", 4)), QString());
    QCOMPARE(protocolListingText(QByteArray("Протокол")), QStringLiteral("Протокол"));
}

void TestProtocolListing::safeNames_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("safe");
    QTest::addColumn<QString>("name");
    const QString base = QStringLiteral("http://127.6.0.1/protocols/");
    QTest::newRow("plain") << base + "P-0417.xlsx" << true << "P-0417.xlsx";
    QTest::newRow("space") << base + "a b.xlsx" << true << "a b.xlsx";
    QTest::newRow("encoded space") << base + "a%20b.xlsx" << true << "a b.xlsx";
    QTest::newRow("cyrillic") << base + "Протокол 1.xlsx" << true << "Протокол 1.xlsx";
    QTest::newRow("encoded slash traversal")
        << base + "..%2F..%2Fevil.xlsx" << false << "../../evil.xlsx";
    QTest::newRow("encoded backslash") << base + "..%5Cevil.xlsx" << false << "..\\evil.xlsx";
    QTest::newRow("encoded slash") << base + "a%2Fb.xlsx" << false << "a/b.xlsx";
    QTest::newRow("dot dot") << base + ".." << false << "..";
    QTest::newRow("encoded dot dot") << base + "%2E%2E" << false << "..";
    QTest::newRow("dot") << base + "." << false << ".";
    QTest::newRow("empty") << base << false << "";
    QTest::newRow("newline") << base + "a%0Ab.xlsx" << false << "a\nb.xlsx";
    QTest::newRow("nul") << base + "a%00b.xlsx" << false << QString::fromLatin1("a\0b.xlsx", 8);
    QTest::newRow("delete char") << base + "a%7Fb.xlsx" << false
                                 << "a\x7f"
                                    "b.xlsx";
    QTest::newRow("question mark cuts") << base + "a?b.xlsx" << true << "a";
    QTest::newRow("number sign cuts") << base + "a#b.xlsx" << true << "a";
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

void TestProtocolListing::saveReplacesAtomically()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(saveProtocolFile(dir.path(), QStringLiteral("p.xlsx"), "first version"));
    QVERIFY(saveProtocolFile(dir.path(), QStringLiteral("p.xlsx"), "second"));
    QFile file(dir.filePath(QStringLiteral("p.xlsx")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("second"));
    // No temporary file is left beside it.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("p.xlsx")});
}

void TestProtocolListing::saveCreatesMissingFolders()
{
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/a/b/c");
    QVERIFY(saveProtocolFile(folder, QStringLiteral("p.xlsx"), "data"));
    QVERIFY(QFile::exists(folder + QStringLiteral("/p.xlsx")));
}

void TestProtocolListing::saveIntoUnwritableFolderFails()
{
    // A folder whose parent is a regular file cannot be created, even by root.
    QTemporaryDir dir;
    QFile blocker(dir.filePath(QStringLiteral("file")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QVERIFY(!saveProtocolFile(dir.filePath(QStringLiteral("file/sub")), QStringLiteral("p.xlsx"),
                              "data"));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("file/sub/p.xlsx"))));
}

QTEST_GUILESS_MAIN(TestProtocolListing)
#include "tst_protocollisting.moc"
