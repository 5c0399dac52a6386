// The pure helpers behind the protocol listing, the local file names and the save.
#include "protocols/protocolfiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <unistd.h>

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void writeAll(const QString& path, const QByteArray& data)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(data), data.size());
}

} // namespace

class TestProtocolListing : public QObject
{
    Q_OBJECT
private slots:
    void scan_data();
    void scan();
    void textStopsAtNul();
    void safeNames_data();
    void safeNames();
    void saveReplacesAndCreates();
    void saveWritesThroughLinks();
    void saveHonoursPermissions();
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
    // A decoded "/" separates like any other: the name is what follows the last one.
    QTest::newRow("encoded slash traversal") << base + "..%2F..%2Fevil.xlsx" << true << "evil.xlsx";
    QTest::newRow("encoded slash") << base + "a%2Fb.xlsx" << true << "b.xlsx";
    QTest::newRow("encoded backslash") << base + "..%5Cevil.xlsx" << true << "..\\evil.xlsx";
    QTest::newRow("newline") << base + "a%0Ab.xlsx" << true << "a\nb.xlsx";
    QTest::newRow("encoded dot dot") << base + "%2E%2E" << false << "..";
    QTest::newRow("slash dot dot") << base + "a%2F.." << false << "..";
    QTest::newRow("dot") << base + "." << false << ".";
    QTest::newRow("empty") << base << false << "";
    QTest::newRow("nul") << base + "a%00b.xlsx" << false << QString::fromLatin1("a\0b.xlsx", 8);
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

void TestProtocolListing::saveReplacesAndCreates()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("a/b"));
    QVERIFY(saveProtocolFile(folder, QStringLiteral("p.xlsx"), "first"));
    QCOMPARE(readAll(folder + "/p.xlsx"), QByteArray("first"));
    QFile(folder + "/p.xlsx").setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QVERIFY(saveProtocolFile(folder, QStringLiteral("p.xlsx"), "second"));
    QCOMPARE(readAll(folder + "/p.xlsx"), QByteArray("second"));
    // The operator's choice of permissions survives the replacement.
    QVERIFY(!QFileInfo(folder + "/p.xlsx").permissions().testFlag(QFileDevice::ReadOther));
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"p.xlsx"});

    // No folder chosen: nothing is written, least of all at the file system root.
    QVERIFY(!saveProtocolFile(QString(), QStringLiteral("solmir3-no-folder.xlsx"), "x"));
    QVERIFY(!QFileInfo::exists(QStringLiteral("/solmir3-no-folder.xlsx")));
    // A folder where a file stands.
    QVERIFY(!saveProtocolFile(folder + "/p.xlsx", QStringLiteral("q.xlsx"), "x"));
    QCOMPARE(readAll(folder + "/p.xlsx"), QByteArray("second"));
}

void TestProtocolListing::saveWritesThroughLinks()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("protocols"));
    const QString archive = dir.filePath(QStringLiteral("archive"));
    QVERIFY(QDir().mkpath(folder) && QDir().mkpath(archive));
    writeAll(archive + "/kept.xlsx", "old");
    QVERIFY(QFile::link(archive + "/kept.xlsx", folder + "/linked.xlsx"));
    QCOMPARE(::link(QFile::encodeName(archive + "/kept.xlsx").constData(),
                    QFile::encodeName(folder + "/hard.xlsx").constData()),
             0);

    QVERIFY(saveProtocolFile(folder, QStringLiteral("linked.xlsx"), "via symlink"));
    QVERIFY(QFileInfo(folder + "/linked.xlsx").isSymLink());
    QCOMPARE(readAll(archive + "/kept.xlsx"), QByteArray("via symlink"));

    QVERIFY(saveProtocolFile(folder, QStringLiteral("hard.xlsx"), "via hard link"));
    QCOMPARE(readAll(archive + "/kept.xlsx"), QByteArray("via hard link"));
    QCOMPARE(readAll(folder + "/hard.xlsx"), QByteArray("via hard link"));
}

void TestProtocolListing::saveHonoursPermissions()
{
    if (::geteuid() == 0)
        QSKIP("root may write anything; run as an ordinary user");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("protocols"));
    QVERIFY(QDir().mkpath(folder));
    writeAll(folder + "/protected.xlsx", "keep me");
    writeAll(folder + "/open.xlsx", "old");
    QFile(folder + "/protected.xlsx").setPermissions(QFileDevice::ReadOwner);

    // A protocol the operator made read-only is refused, not replaced.
    QVERIFY(!saveProtocolFile(folder, QStringLiteral("protected.xlsx"), "new"));
    QCOMPARE(readAll(folder + "/protected.xlsx"), QByteArray("keep me"));

    // In a folder that takes no new files, an existing writable protocol is still updated.
    QFile(folder).setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const bool updated = saveProtocolFile(folder, QStringLiteral("open.xlsx"), "new");
    const bool created = saveProtocolFile(folder, QStringLiteral("fresh.xlsx"), "new");
    QFile(folder).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                 QFileDevice::ExeOwner);
    QVERIFY(updated);
    QCOMPARE(readAll(folder + "/open.xlsx"), QByteArray("new"));
    QVERIFY(!created);
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
             (QStringList{"open.xlsx", "protected.xlsx"}));
}

QTEST_GUILESS_MAIN(TestProtocolListing)
#include "tst_protocollisting.moc"
