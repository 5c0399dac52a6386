// The pure helpers behind the protocol listing, the local file names, the whole-body rule and
// the save.
#include "protocols/protocollisting.h"
#include "protocols/protocolstore.h"
#include "protocols/transferguard.h"
#include "simulator/storedzip.h"

#include <QDir>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/time.h>
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

struct stat statOf(const QString& path)
{
    struct stat st = {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        st.st_ino = 0;
    return st;
}

// Root acting as the ordinary account "nobody" for the scope: the tests run as root in CI, and
// the cases that matter are an operator's, not root's.
class AsNobody
{
public:
    AsNobody()
    {
        const passwd* account = ::getpwnam("nobody");
        if (::geteuid() != 0 || !account)
            return;
        groups.resize(::getgroups(0, nullptr));
        groups.resize(::getgroups(groups.size(), groups.data()));
        active = ::setgroups(0, nullptr) == 0 && ::setegid(account->pw_gid) == 0 &&
                 ::seteuid(account->pw_uid) == 0;
    }
    ~AsNobody()
    {
        if (::geteuid() != 0 && ::seteuid(0) != 0)
            qFatal("cannot become root again");
        if (::setegid(0) != 0 || ::setgroups(groups.size(), groups.data()) != 0)
            qFatal("cannot restore root's groups");
    }
    // True when the process now acts as an account other than root.
    bool ok() const { return active || ::geteuid() != 0; }

private:
    QVector<gid_t> groups;
    bool active = false;
};

// A finished reply as Qt hands one over, without a network: status 200, no error, the body and
// the stated length as given. Qt itself reports most cut bodies as errors; this one it does not.
struct CannedReply : QNetworkReply
{
    CannedReply(const QByteArray& body, qint64 announced) : data(body)
    {
        setAttribute(QNetworkRequest::HttpStatusCodeAttribute, 200);
        setHeader(QNetworkRequest::ContentLengthHeader, announced);
        open(ReadOnly);
        setFinished(true);
    }
    void abort() override {}
    qint64 bytesAvailable() const override { return data.size() + QNetworkReply::bytesAvailable(); }
    qint64 readData(char* out, qint64 max) override
    {
        const QByteArray piece = data.left(int(max));
        data.remove(0, piece.size());
        memcpy(out, piece.constData(), size_t(piece.size()));
        return piece.size();
    }
    QByteArray data;
};

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
    void wholeProtocols_data();
    void wholeProtocols();
    void bodyMatchesItsStatedLength();
    void saveReplacesAndCreates();
    void saveWritesThroughLinks();
    void saveHonoursPermissions();
    void saveKeepsOwnerGroupAndMode();
    void saveLeavesNothingBehind();
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
    QCOMPARE(ProtocolListing::scan(page), names);
}

void TestProtocolListing::textStopsAtNul()
{
    QByteArray body("x<a href=\"a.xlsx\">Протокол.xlsx</a>");
    body.append('\0');
    body.append("<a href=\"b.xlsx\">b.xlsx</a>");
    QCOMPARE(ProtocolListing::scan(ProtocolListing::text(body)), QStringList{"Протокол.xlsx"});
    QCOMPARE(ProtocolListing::text(QByteArray("\0abc", 4)), QString());
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
    QTest::newRow("encoded backslash") << base + "a%5C..%5Cevil.xlsx" << true << "a\\..\\evil.xlsx";
    QTest::newRow("upper case") << base + "R.XLSX" << true << "R.XLSX";
    // Only plain protocols: no start-up file, no script, nothing hidden.
    QTest::newRow("dot-file") << base + ".bashrc" << false << ".bashrc";
    QTest::newRow("hidden protocol") << base + ".p.xlsx" << false << ".p.xlsx";
    QTest::newRow("backslash dot dot") << base + "..%5Cevil.xlsx" << false << "..\\evil.xlsx";
    QTest::newRow("script") << base + "run.sh" << false << "run.sh";
    QTest::newRow("trailing space") << base + "report.xlsx%20" << false << "report.xlsx ";
    QTest::newRow("newline") << base + "P-0417.xlsx%0A" << false << "P-0417.xlsx\n";
    QTest::newRow("escape") << base + "a%1Bb.xlsx" << false
                            << "a\x1b"
                               "b.xlsx";
    QTest::newRow("delete") << base + "a%7F.xlsx" << false << "a\x7f.xlsx";
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
    QCOMPARE(ProtocolStore::protocolName(QUrl(url, QUrl::TolerantMode), &got), safe);
    QCOMPARE(got, name);
}

void TestProtocolListing::wholeProtocols_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("whole");
    const auto le = [](quint64 value, int width) {
        QByteArray bytes;
        for (int i = 0; i < width; ++i)
            bytes += char(value >> (8 * i) & 0xff);
        return bytes;
    };
    const auto zip = [](const QByteArray& data) {
        StoredZip archive;
        archive.addFile(QStringLiteral("xl/sheet.xml"), data);
        return archive.finish();
    };
    const QByteArray plain = zip(QByteArray(70000, 'z'));
    const int end = plain.size() - 22;
    // The same archive as ZIP64 writes it: its record and locator between directory and end.
    const QByteArray large = plain.left(end) + "PK\x06\x06" + le(44, 8) + le(45, 4) + le(0, 8) +
                             le(1, 8) + le(1, 8) + plain.mid(end + 12, 4) + le(0, 4) +
                             plain.mid(end + 16, 4) + le(0, 4) + "PK\x06\x07" + le(0, 4) +
                             le(end, 8) + le(1, 4) + "PK\x05\x06" + le(0, 4) + le(0xffffffff, 4) +
                             le(0xffffffff, 8) + le(0, 2);
    // An .xlsx may embed a file; one that is a ZIP has an end record of its own.
    const QByteArray inner = zip("embedded");
    const QByteArray outer = zip("before" + inner + "after");
    const QByteArray comment = plain.chopped(2) + le(3, 2) + "abc";
    QTest::newRow("whole") << plain << true;
    QTest::newRow("record with its comment") << comment << true;
    QTest::newRow("longest comment")
        << plain.chopped(2) + le(0xffff, 2) + QByteArray(0xffff, 'c') << true;
    QTest::newRow("ZIP64") << large << true;
    QTest::newRow("embedded archive") << outer << true;
    QTest::newRow("cut after the embedded end record")
        << outer.left(outer.indexOf(inner) + inner.size()) << false;
    QTest::newRow("comment cut short") << comment.chopped(1) << false;
    QTest::newRow("record cut short") << plain.chopped(1) << false;
    QTest::newRow("bytes after the record") << plain + "x" << false;
    QTest::newRow("ZIP64 record cut") << large.left(end + 30) + large.mid(end + 56) << false;
    QTest::newRow("directory elsewhere")
        << plain.left(end + 16) + le(plain.mid(end + 16, 1).at(0) + 1, 1) + plain.mid(end + 17)
        << false;
    QTest::newRow("not a ZIP at the start") << "x" + plain.mid(1) << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void TestProtocolListing::wholeProtocols()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, whole);
    QCOMPARE(ProtocolStore::isWholeProtocol(body), whole);
}

void TestProtocolListing::bodyMatchesItsStatedLength()
{
    QByteArray body;
    CannedReply cut("12345", 10);
    QVERIFY(!TransferGuard::takeBody(&cut, &body));
    QVERIFY(body.isEmpty());
    CannedReply whole("12345", 5);
    QVERIFY(TransferGuard::takeBody(&whole, &body));
    QCOMPARE(body, QByteArray("12345"));
}

void TestProtocolListing::saveReplacesAndCreates()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("a/b"));
    const mode_t mask = ::umask(027);
    const bool first = ProtocolStore::save(folder, QStringLiteral("p.xlsx"), "first");
    ::umask(mask);
    QVERIFY(first);
    QCOMPARE(readAll(folder + "/p.xlsx"), QByteArray("first"));
    // A new protocol follows the umask, as a directly written file does.
    QCOMPARE(statOf(folder + "/p.xlsx").st_mode & 07777, mode_t(0666 & ~027));
    QFile(folder + "/p.xlsx").setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QVERIFY(ProtocolStore::save(folder, QStringLiteral("p.xlsx"), "second"));
    QCOMPARE(readAll(folder + "/p.xlsx"), QByteArray("second"));
    // The operator's choice of permissions survives the replacement.
    QVERIFY(!QFileInfo(folder + "/p.xlsx").permissions().testFlag(QFileDevice::ReadOther));
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"p.xlsx"});

    // No folder chosen: nothing is written, least of all at the file system root.
    QVERIFY(!ProtocolStore::save(QString(), QStringLiteral("solmir3-no-folder.xlsx"), "x"));
    QVERIFY(!QFileInfo::exists(QStringLiteral("/solmir3-no-folder.xlsx")));
    // A folder where a file stands.
    QVERIFY(!ProtocolStore::save(folder + "/p.xlsx", QStringLiteral("q.xlsx"), "x"));
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

    QVERIFY(ProtocolStore::save(folder, QStringLiteral("linked.xlsx"), "via symlink"));
    QVERIFY(QFileInfo(folder + "/linked.xlsx").isSymLink());
    QCOMPARE(readAll(archive + "/kept.xlsx"), QByteArray("via symlink"));

    QVERIFY(ProtocolStore::save(folder, QStringLiteral("hard.xlsx"), "via hard link"));
    QCOMPARE(readAll(archive + "/kept.xlsx"), QByteArray("via hard link"));
    QCOMPARE(readAll(folder + "/hard.xlsx"), QByteArray("via hard link"));
}

void TestProtocolListing::saveHonoursPermissions()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile(dir.path())
        .setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                        QFileDevice::ExeOther);
    const QString folder = dir.filePath(QStringLiteral("protocols"));
    QVERIFY(QDir().mkpath(folder));
    if (const passwd* account = ::getpwnam("nobody"); account && ::geteuid() == 0)
        QCOMPARE(::chown(QFile::encodeName(folder).constData(), account->pw_uid, account->pw_gid),
                 0);
    AsNobody operatorAccount;
    if (!operatorAccount.ok())
        QSKIP("root may write anything, and there is no account \"nobody\" to act as");
    writeAll(folder + "/protected.xlsx", "keep me");
    writeAll(folder + "/open.xlsx", "old");
    QFile(folder + "/protected.xlsx").setPermissions(QFileDevice::ReadOwner);

    // A protocol the operator made read-only is refused, not replaced.
    QVERIFY(!ProtocolStore::save(folder, QStringLiteral("protected.xlsx"), "new"));
    QCOMPARE(readAll(folder + "/protected.xlsx"), QByteArray("keep me"));

    // In a folder that takes no new files, an existing writable protocol is still updated.
    QFile(folder).setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const bool updated = ProtocolStore::save(folder, QStringLiteral("open.xlsx"), "new");
    const bool created = ProtocolStore::save(folder, QStringLiteral("fresh.xlsx"), "new");
    QFile(folder).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                 QFileDevice::ExeOwner);
    QVERIFY(updated);
    QCOMPARE(readAll(folder + "/open.xlsx"), QByteArray("new"));
    QVERIFY(!created);
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
             (QStringList{"open.xlsx", "protected.xlsx"}));
}

void TestProtocolListing::saveKeepsOwnerGroupAndMode()
{
    const passwd* other = ::getpwnam("nobody");
    if (::geteuid() != 0 || !other)
        QSKIP("needs root, to hand a protocol to another account");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0);

    // A protocol of another account is replaced atomically (a new file), still that account's.
    const QString folder = dir.filePath(QStringLiteral("shared"));
    QVERIFY(QDir().mkpath(folder));
    const QString theirs = folder + QStringLiteral("/theirs.xlsx");
    writeAll(theirs, "old");
    const QByteArray nativeTheirs = QFile::encodeName(theirs);
    QCOMPARE(::chown(nativeTheirs.constData(), other->pw_uid, other->pw_gid), 0);
    QCOMPARE(::chmod(nativeTheirs.constData(), 0640), 0);
    const struct stat before = statOf(theirs);
    QVERIFY(ProtocolStore::save(folder, QStringLiteral("theirs.xlsx"), "replaced"));
    struct stat after = statOf(theirs);
    QCOMPARE(readAll(theirs), QByteArray("replaced"));
    QCOMPARE(after.st_uid, other->pw_uid);
    QCOMPARE(after.st_gid, other->pw_gid);
    QCOMPARE(after.st_mode & 07777, mode_t(0640));
    QVERIFY(after.st_ino != before.st_ino);

    // A shared folder with the sticky bit, the operator an ordinary account: another account's
    // writable protocol can be neither given away nor renamed over, so it is written in place.
    const QString sticky = dir.filePath(QStringLiteral("sticky"));
    QVERIFY(QDir().mkpath(sticky));
    QCOMPARE(::chmod(QFile::encodeName(sticky).constData(), 01777), 0);
    const QString rootOwned = sticky + QStringLiteral("/root.xlsx");
    writeAll(rootOwned, "old");
    QCOMPARE(::chmod(QFile::encodeName(rootOwned).constData(), 0666), 0);
    const struct stat rootBefore = statOf(rootOwned);
    bool updated = false;
    bool created = false;
    {
        AsNobody operatorAccount;
        QVERIFY(operatorAccount.ok());
        updated = ProtocolStore::save(sticky, QStringLiteral("root.xlsx"), "by the operator");
        created = ProtocolStore::save(sticky, QStringLiteral("new.xlsx"), "fresh");
    }
    QVERIFY(updated);
    QCOMPARE(readAll(rootOwned), QByteArray("by the operator"));
    after = statOf(rootOwned);
    QCOMPARE(after.st_uid, uid_t(0));
    QCOMPARE(after.st_mode & 07777, mode_t(0666));
    QCOMPARE(after.st_ino, rootBefore.st_ino);
    // A new protocol there is the operator's own.
    QVERIFY(created);
    QCOMPARE(readAll(sticky + QStringLiteral("/new.xlsx")), QByteArray("fresh"));
    QCOMPARE(statOf(sticky + QStringLiteral("/new.xlsx")).st_uid, other->pw_uid);
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"theirs.xlsx"});
    QCOMPARE(QDir(sticky).entryList(QDir::Files | QDir::Hidden),
             (QStringList{"new.xlsx", "root.xlsx"}));
}

void TestProtocolListing::saveLeavesNothingBehind()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.path();
    // What interrupted saves left: an hour-old one goes; a fresh or ten-minute-old one may be
    // another workstation's save in progress, one of another account is not ours to remove, and
    // the rest is not this program's.
    const QStringList left = {
        QStringLiteral(".solmir3-0badc0de.part"), QStringLiteral(".solmir3-1234abcd.part"),
        QStringLiteral(".solmir3-2345abcd.part"), QStringLiteral(".solmir3-3456abcd.part"),
        QStringLiteral(".solmir3-notes.part"),    QStringLiteral("x.part")};
    const auto age = [&](const QString& name, int seconds) {
        const timeval when[2] = {{::time(nullptr) - seconds, 0}, {::time(nullptr) - seconds, 0}};
        return ::utimes(QFile::encodeName(folder + QLatin1Char('/') + name).constData(), when);
    };
    for (const QString& name : left) {
        writeAll(folder + QLatin1Char('/') + name, "partial");
        QCOMPARE(age(name, name == left.at(1) ? 0 : name == left.at(2) ? 600 : 3600), 0);
    }
    const passwd* other = ::getpwnam("nobody");
    const bool foreign = other && ::geteuid() == 0;
    if (foreign)
        QCOMPARE(::chown(QFile::encodeName(folder + QLatin1Char('/') + left.at(3)).constData(),
                         other->pw_uid, other->pw_gid),
                 0);

    QVERIFY(ProtocolStore::save(folder, QStringLiteral("p.xlsx"), "new"));
    QVERIFY(ProtocolStore::save(folder, QStringLiteral("p.xlsx"), "replaced"));
    QCOMPARE(readAll(folder + QStringLiteral("/p.xlsx")), QByteArray("replaced"));
    QStringList expected = left.mid(1);
    if (!foreign)
        expected.removeAll(left.at(3));
    expected << QStringLiteral("p.xlsx");
    expected.sort();
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), expected);
}

QTEST_GUILESS_MAIN(TestProtocolListing)
#include "tst_protocollisting.moc"
