// The HTTP downloaders against a real loopback peer: bodies, failures, batches and saving.
#include "appfixture.h"
#include "httpfakeserver.h"
#include "messageboxwatcher.h"
#include "parameters/parametrpath.h"
#include "parameters/settings.h"
#include "protocols/filedownloader.h"
#include "protocols/multiplefilesdownloader.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using solmirtest::HttpFakeReply;
using solmirtest::HttpFakeServer;

namespace {

const QHostAddress serverAddress(QStringLiteral("127.6.2.1"));
const QString base = QStringLiteral("http://127.6.2.1");

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
}

} // namespace

class TestDownloaders : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void singleFileBody();
    void singleFileFailures_data();
    void singleFileFailures();
    void singleFileRefusedWithoutServer();
    void singleFileStalledTimesOut();
    void singleFileTooBigIsRefused();

    void batchSavesInOrderWithProgress();
    void batchOfOneHasNoProgress();
    void batchOverwritesAndRepeats();
    void batchCreatesDeepFolder();
    void batchFollowsFolderEdits();
    void batchStopsAtFailedReply_data();
    void batchStopsAtFailedReply();
    void batchRefusesTraversalNames_data();
    void batchRefusesTraversalNames();
    void batchUnwritableFolder();
    void batchInterruptedBodyKeepsOldFile();

private:
    HttpFakeServer* server = nullptr;
    QTemporaryDir* dir = nullptr;
    ParametrPath* folder = nullptr;
};

void TestDownloaders::initTestCase()
{
    solmirtest::createSingletons();
    folder = Settings::instance()->prProtocolsPath;
}

void TestDownloaders::init()
{
    server = new HttpFakeServer(this);
    QVERIFY(server->listen(serverAddress, 80));
    dir = new QTemporaryDir;
    QVERIFY(dir->isValid());
    folder->setValue(dir->path());
}

void TestDownloaders::cleanup()
{
    delete server;
    server = nullptr;
    delete dir;
    dir = nullptr;
    FileDownloader::setTransferTimeout(30000);
}

void TestDownloaders::singleFileBody()
{
    server->setReply("/protocols/a.xlsx", HttpFakeReply::ok("PK\x03\x04 body"));
    FileDownloader file(QUrl(base + "/protocols/a.xlsx"));
    QSignalSpy done(&file, SIGNAL(downloaded()));
    file.startDownload();
    QVERIFY(done.wait(10000));
    QVERIFY(file.succeeded());
    QCOMPARE(file.downloadedData(), QByteArray("PK\x03\x04 body"));
    QCOMPARE(server->requests(), QList<QByteArray>{"/protocols/a.xlsx"});
}

void TestDownloaders::singleFileFailures_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("ok");
    QTest::newRow("404 with page") << 404 << QByteArray("<a href=\"x.xlsx\">x.xlsx</a>") << false;
    QTest::newRow("500 with page") << 500 << QByteArray("server trouble") << false;
    QTest::newRow("302") << 302 << QByteArray("moved") << false;
    QTest::newRow("204 empty") << 204 << QByteArray() << true;
    QTest::newRow("200 empty") << 200 << QByteArray() << true;
}

void TestDownloaders::singleFileFailures()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(bool, ok);
    HttpFakeReply reply = HttpFakeReply::withStatus(status, body);
    if (status == 302)
        reply = HttpFakeReply::redirect(base.toUtf8() + "/protocols/other.xlsx");
    server->setReply("/protocols/a.xlsx", reply);
    server->setReply("/protocols/other.xlsx", HttpFakeReply::ok("redirect target"));
    FileDownloader file(QUrl(base + "/protocols/a.xlsx"));
    QSignalSpy done(&file, SIGNAL(downloaded()));
    file.startDownload();
    QVERIFY(done.wait(10000));
    QCOMPARE(file.succeeded(), ok);
    // An error page never passes for a protocol, and a redirect is not followed.
    QVERIFY(file.downloadedData().isEmpty());
    QCOMPARE(server->countOf("/protocols/other.xlsx"), 0);
}

void TestDownloaders::singleFileRefusedWithoutServer()
{
    FileDownloader file(QUrl(QStringLiteral("http://127.6.2.9/protocols")));
    QSignalSpy done(&file, SIGNAL(downloaded()));
    file.startDownload();
    QVERIFY(done.wait(10000));
    QVERIFY(!file.succeeded());
    QVERIFY(file.downloadedData().isEmpty());

    // An empty address (an invalid IP parameter) fails the same way, without a crash.
    FileDownloader empty(QUrl(QStringLiteral("http:///protocols"), QUrl::TolerantMode));
    QSignalSpy emptyDone(&empty, SIGNAL(downloaded()));
    empty.startDownload();
    QVERIFY(emptyDone.count() == 1 || emptyDone.wait(10000));
    QVERIFY(!empty.succeeded());
}

void TestDownloaders::singleFileStalledTimesOut()
{
    FileDownloader::setTransferTimeout(300);
    HttpFakeReply reply = HttpFakeReply::ok(QByteArray(4096, 'x'));
    reply.mode = HttpFakeReply::Mode::Stall;
    server->setReply("/protocols/slow.xlsx", reply);
    FileDownloader file(QUrl(base + "/protocols/slow.xlsx"));
    QSignalSpy done(&file, SIGNAL(downloaded()));
    file.startDownload();
    QVERIFY(done.wait(10000));
    QVERIFY(!file.succeeded());
    QVERIFY(file.downloadedData().isEmpty());
}

void TestDownloaders::singleFileTooBigIsRefused()
{
    server->setReply("/protocols/big.xlsx", HttpFakeReply::ok(QByteArray(100000, 'x')));
    FileDownloader file(QUrl(base + "/protocols/big.xlsx"));
    file.setMaxSize(50000);
    QSignalSpy done(&file, SIGNAL(downloaded()));
    file.startDownload();
    QVERIFY(done.wait(10000));
    QVERIFY(!file.succeeded());
    QVERIFY(file.downloadedData().isEmpty());
}

void TestDownloaders::batchSavesInOrderWithProgress()
{
    solmirtest::MessageBoxWatcher boxes;
    const QStringList names{"c.xlsx", "a.xlsx", "b.xlsx", "d.xlsx"};
    server->publish(names, {"C", "A", "B", "D"});
    MultipleFilesDownloader batch(folder);
    QSignalSpy done(&batch, SIGNAL(downloaded()));
    QSignalSpy progress(&batch, SIGNAL(progressChanged(int)));
    QStringList urls;
    for (const QString& name : names)
        urls << base + "/protocols/" + name;
    batch.download(urls);
    QVERIFY(batch.isRunning());
    QVERIFY(done.wait(10000));
    QVERIFY(batch.lastBatchComplete());
    QVERIFY(!batch.isRunning());
    QCOMPARE(server->decodedRequests(), (QStringList{"/protocols/c.xlsx", "/protocols/a.xlsx",
                                                     "/protocols/b.xlsx", "/protocols/d.xlsx"}));
    QCOMPARE(progress.count(), 3);
    QCOMPARE(progress.at(0).at(0).toInt(), 25);
    QCOMPARE(progress.at(1).at(0).toInt(), 50);
    QCOMPARE(progress.at(2).at(0).toInt(), 75);
    QCOMPARE(readFile(dir->filePath("c.xlsx")), QByteArray("C"));
    QCOMPARE(readFile(dir->filePath("d.xlsx")), QByteArray("D"));
    QCOMPARE(boxes.count(), 0);
}

void TestDownloaders::batchOfOneHasNoProgress()
{
    server->publish({"Протокол №1.xlsx"}, {"cyrillic"});
    MultipleFilesDownloader batch(folder);
    QSignalSpy done(&batch, SIGNAL(downloaded()));
    QSignalSpy progress(&batch, SIGNAL(progressChanged(int)));
    batch.download({base + "/protocols/Протокол №1.xlsx"});
    QVERIFY(done.wait(10000));
    QVERIFY(batch.lastBatchComplete());
    QCOMPARE(progress.count(), 0);
    QCOMPARE(readFile(dir->filePath("Протокол №1.xlsx")), QByteArray("cyrillic"));
}

void TestDownloaders::batchOverwritesAndRepeats()
{
    writeFile(dir->filePath("a.xlsx"), "old contents that are longer");
    server->publish({"a.xlsx"}, {"new"});
    MultipleFilesDownloader batch(folder);
    QSignalSpy done(&batch, SIGNAL(downloaded()));
    batch.download({base + "/protocols/a.xlsx", base + "/protocols/a.xlsx"});
    QVERIFY(done.wait(10000));
    QCOMPARE(server->countOf("/protocols/a.xlsx"), 2);
    QCOMPARE(readFile(dir->filePath("a.xlsx")), QByteArray("new"));
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{"a.xlsx"});
}

void TestDownloaders::batchCreatesDeepFolder()
{
    const QString deep = dir->path() + "/one/two/three";
    folder->setValue(deep);
    server->publish({"a.xlsx"}, {"A"});
    MultipleFilesDownloader batch(folder);
    QSignalSpy done(&batch, SIGNAL(downloaded()));
    batch.download({base + "/protocols/a.xlsx"});
    QVERIFY(done.wait(10000));
    QCOMPARE(readFile(deep + "/a.xlsx"), QByteArray("A"));
}

void TestDownloaders::batchFollowsFolderEdits()
{
    server->publish({"a.xlsx", "b.xlsx"}, {"A", "B"});
    MultipleFilesDownloader batch(folder);
    const QString second = dir->path() + "/second";
    // The edit lands while the second file is in flight.
    connect(&batch, &MultipleFilesDownloader::progressChanged, this,
            [this, second]() { folder->setValue(second); });
    QSignalSpy done(&batch, SIGNAL(downloaded()));
    batch.download({base + "/protocols/a.xlsx", base + "/protocols/b.xlsx"});
    QVERIFY(done.wait(10000));
    QCOMPARE(readFile(dir->filePath("a.xlsx")), QByteArray("A"));
    QVERIFY(!QFile::exists(dir->filePath("b.xlsx")));
    QCOMPARE(readFile(second + "/b.xlsx"), QByteArray("B"));
}

void TestDownloaders::batchStopsAtFailedReply_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("404 page") << 404 << QByteArray("<html>not found</html>");
    QTest::newRow("500 page") << 500 << QByteArray("<html>oops</html>");
    QTest::newRow("302") << 302 << QByteArray("moved");
    QTest::newRow("200 empty") << 200 << QByteArray();
}

void TestDownloaders::batchStopsAtFailedReply()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    solmirtest::MessageBoxWatcher boxes;
    server->publish({"a.xlsx", "c.xlsx"}, {"A", "C"});
    server->setReply("/protocols/b.xlsx", HttpFakeReply::withStatus(status, body));
    MultipleFilesDownloader batch(folder);
    QSignalSpy done(&batch, SIGNAL(downloaded()));
    batch.download(
        {base + "/protocols/a.xlsx", base + "/protocols/b.xlsx", base + "/protocols/c.xlsx"});
    QVERIFY(done.wait(15000));
    QCOMPARE(done.count(), 1);
    QVERIFY(!batch.lastBatchComplete());
    QVERIFY(boxes.waitForCount(1));
    QCOMPARE(boxes.texts(), QStringList{"Ошибка при загрузке файла!"});
    QCOMPARE(boxes.boxes().first().icon, QMessageBox::Critical);
    QCOMPARE(readFile(dir->filePath("a.xlsx")), QByteArray("A"));
    QVERIFY(!QFile::exists(dir->filePath("b.xlsx")));
    QCOMPARE(server->countOf("/protocols/c.xlsx"), 0);
}

void TestDownloaders::batchRefusesTraversalNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shown");
    QTest::newRow("encoded slashes") << "..%2F..%2Fevil.xlsx"
                                     << "../../evil.xlsx";
    QTest::newRow("encoded backslash") << "..%5Cevil.xlsx"
                                       << "..\\evil.xlsx";
    QTest::newRow("encoded slash") << "a%2Fb.xlsx"
                                   << "a/b.xlsx";
}

void TestDownloaders::batchRefusesTraversalNames()
{
    QFETCH(QString, name);
    QFETCH(QString, shown);
    solmirtest::MessageBoxWatcher boxes;
    const QString inner = dir->path() + "/in/side";
    folder->setValue(inner);
    server->setDefaultReply(HttpFakeReply::ok("evil body"));
    MultipleFilesDownloader batch(folder);
    QSignalSpy done(&batch, SIGNAL(downloaded()));
    batch.download({base + "/protocols/" + name});
    QVERIFY(done.wait(10000));
    QVERIFY(boxes.waitForCount(2));
    QCOMPARE(boxes.texts(),
             (QStringList{QStringLiteral("Ошибка сохранения протокола %1!").arg(shown),
                          "Ошибка при сохранении файла!"}));
    QVERIFY(!batch.lastBatchComplete());
    // Nothing anywhere in the temporary tree, inside or outside the folder.
    QDirIterator it(dir->path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    QVERIFY2(!it.hasNext(), qPrintable(it.hasNext() ? it.next() : QString()));
}

void TestDownloaders::batchUnwritableFolder()
{
    solmirtest::MessageBoxWatcher boxes;
    writeFile(dir->filePath("blocker"), "a file, not a folder");
    folder->setValue(dir->filePath("blocker/protocols"));
    server->publish({"a.xlsx", "b.xlsx"}, {"A", "B"});
    MultipleFilesDownloader batch(folder);
    QSignalSpy done(&batch, SIGNAL(downloaded()));
    batch.download({base + "/protocols/a.xlsx", base + "/protocols/b.xlsx"});
    QVERIFY(done.wait(10000));
    QVERIFY(boxes.waitForCount(2));
    QCOMPARE(boxes.texts(),
             (QStringList{"Ошибка сохранения протокола a.xlsx!", "Ошибка при сохранении файла!"}));
    QCOMPARE(server->countOf("/protocols/b.xlsx"), 0);
    QVERIFY(!batch.lastBatchComplete());
}

void TestDownloaders::batchInterruptedBodyKeepsOldFile()
{
    solmirtest::MessageBoxWatcher boxes;
    writeFile(dir->filePath("a.xlsx"), "the good old copy");
    HttpFakeReply reply = HttpFakeReply::ok(QByteArray(200000, 'n'));
    reply.mode = HttpFakeReply::Mode::CloseMidBody;
    server->setReply("/protocols/a.xlsx", reply);
    MultipleFilesDownloader batch(folder);
    QSignalSpy done(&batch, SIGNAL(downloaded()));
    batch.download({base + "/protocols/a.xlsx"});
    QVERIFY(done.wait(10000));
    QVERIFY(boxes.waitForCount(1));
    QCOMPARE(boxes.texts(), QStringList{"Ошибка при загрузке файла!"});
    QCOMPARE(readFile(dir->filePath("a.xlsx")), QByteArray("the good old copy"));
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{"a.xlsx"});
}

QTEST_MAIN(TestDownloaders)
#include "tst_downloaders.moc"
