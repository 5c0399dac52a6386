// End-to-end tests of the simulated HTTP server: listing, downloads, refusals, keep-alive.
#include "simtestclient.h"
#include "simulator/httpserver.h"
#include "simulator/protocollibrary.h"

#include <QCryptographicHash>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace {

std::unique_ptr<HttpServer> startServer(const char* address, const QString& folder = QString())
{
    SimOptions o;
    o.address = QHostAddress(QString::fromLatin1(address));
    o.httpPort = 0;
    o.protocolsDir = folder;
    auto server = std::make_unique<HttpServer>(o);
    if (!server->start())
        return nullptr;
    return server;
}

// The workstation's scan: text from `.xlsx">` to the next "</a>", the first search at 1.
QStringList scanListing(const QString& page)
{
    QStringList names;
    const QString start = QStringLiteral(".xlsx\">");
    int from = 1;
    for (int p = page.indexOf(start, from); p >= 0; p = page.indexOf(start, from)) {
        const int q = page.indexOf(QStringLiteral("</a>"), p + 1);
        from = p + 1;
        if (q >= 0)
            names.append(page.mid(p + 7, q - p - 7));
    }
    return names;
}

struct Fetched
{
    int status = 0;
    QByteArray contentType;
    QByteArray body;
};

Fetched get(QNetworkAccessManager& manager, const QString& url)
{
    QNetworkReply* reply = manager.get(QNetworkRequest(QUrl(url, QUrl::TolerantMode)));
    QSignalSpy done(reply, SIGNAL(finished()));
    if (!reply->isFinished())
        done.wait(10000);
    Fetched f;
    f.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    f.contentType = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
    f.body = reply->readAll();
    reply->deleteLater();
    return f;
}

QString base(const HttpServer& server, const char* address)
{
    return QStringLiteral("http://%1:%2").arg(QLatin1String(address)).arg(server.port());
}

} // namespace

class TestSimHttp : public QObject
{
    Q_OBJECT
private slots:
    void listingMatchesTheScanRule();
    void downloadsAreTheGeneratedFiles();
    void refusals_data();
    void refusals();
    void rawResponseHeadersAndKeepAlive();
    void hostileRequests();
    void ownFolderWithLargeBatch();
    void missingFolderFailsToStart();
};

void TestSimHttp::listingMatchesTheScanRule()
{
    auto server = startServer("127.4.3.1");
    QVERIFY(server);
    QNetworkAccessManager manager;
    const Fetched page = get(manager, base(*server, "127.4.3.1") + "/protocols");
    QCOMPARE(page.status, 200);
    QCOMPARE(page.contentType, QByteArray("text/html; charset=utf-8"));
    const QStringList names = scanListing(QString::fromUtf8(page.body));
    QCOMPARE(names.size(), 12);
    QCOMPARE(names, server->fileNames());
    QStringList expected = ProtocolLibrary::builtInNames();
    QStringList sorted = names;
    expected.sort();
    sorted.sort();
    QCOMPARE(sorted, expected);
    QVERIFY(names.contains(QStringLiteral("Протокол_0417_2026-12-01.xlsx")));
    QVERIFY(names.contains(QStringLiteral("calibration_2026-11-28.xlsx")));
    QCOMPARE(server->requestedPaths(), QStringList{"/protocols"});
}

void TestSimHttp::downloadsAreTheGeneratedFiles()
{
    auto server = startServer("127.4.3.2");
    QVERIFY(server);
    QNetworkAccessManager manager;
    QStringList paths;
    for (const QString& name : server->fileNames()) {
        // Built the way the workstation builds it: the plain name in a tolerant URL.
        const Fetched f = get(manager, base(*server, "127.4.3.2") + "/protocols/" + name);
        QCOMPARE(f.status, 200);
        QCOMPARE(f.contentType,
                 QByteArray("application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"));
        QFile file(server->folder() + '/' + name);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(f.body, file.readAll());
        QVERIFY(f.body.startsWith("PK\x03\x04"));
        paths.append("/protocols/" + name);
    }
    QCOMPARE(server->requestedPaths(), paths);
}

void TestSimHttp::refusals_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::newRow("unknown path") << QByteArray("/nothing");
    QTest::newRow("listing with slash") << QByteArray("/protocols/");
    QTest::newRow("missing file") << QByteArray("/protocols/missing.xlsx");
    QTest::newRow("dot-dot") << QByteArray("/protocols/../secret.xlsx");
    QTest::newRow("encoded dot-dot") << QByteArray("/protocols/%2E%2E%2Fsecret.xlsx");
    QTest::newRow("encoded slash") << QByteArray("/protocols/sub%2Fsecret.xlsx");
    QTest::newRow("backslash") << QByteArray("/protocols/..%5Csecret.xlsx");
    QTest::newRow("nul") << QByteArray("/protocols/secret.xlsx%00.txt");
    QTest::newRow("absolute") << QByteArray("/protocols/%2Ftmp%2Fsecret.xlsx");
}

void TestSimHttp::refusals()
{
    QFETCH(QByteArray, target);
    QTemporaryDir root;
    QVERIFY(root.isValid());
    QVERIFY(QDir(root.path()).mkpath("pub/sub"));
    for (const QString& path :
         {root.path() + "/secret.xlsx", root.path() + "/pub/sub/secret.xlsx"}) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("must not be served");
    }
    auto server = startServer("127.4.3.3", root.path() + "/pub");
    QVERIFY(server);
    QVERIFY(server->fileNames().isEmpty());
    SimTestClient client;
    QVERIFY(client.connectTo(QHostAddress("127.4.3.3"), server->port()));
    client.write("GET " + target + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    const QByteArray answer = client.readUntilClosed();
    QVERIFY2(answer.startsWith("HTTP/1.1 404 Not Found\r\n"), answer.constData());
    QVERIFY(!answer.contains("must not be served"));
}

void TestSimHttp::rawResponseHeadersAndKeepAlive()
{
    auto server = startServer("127.4.3.4");
    QVERIFY(server);
    SimTestClient client;
    QVERIFY(client.connectTo(QHostAddress("127.4.3.4"), server->port()));
    const QString name = QStringLiteral("Протокол 0424 (повтор) 2026-12-05.xlsx");
    QFile file(server->folder() + '/' + name);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    // Two pipelined requests on one connection, answered in order; then a HEAD.
    client.write("GET /protocols HTTP/1.1\r\nHost: x\r\n\r\nGET /protocols/" +
                 QUrl::toPercentEncoding(name) + " HTTP/1.1\r\nHost: x\r\n\r\n");
    QByteArray stream;
    for (int i = 0; i < 100 && stream.size() < bytes.size() + 2000; ++i)
        stream += client.drain(20);
    const int firstEnd = stream.indexOf("\r\n\r\n");
    QVERIFY(firstEnd > 0);
    const QByteArray firstHead = stream.left(firstEnd);
    QVERIFY(firstHead.startsWith("HTTP/1.1 200 OK"));
    QVERIFY(firstHead.contains("Connection: keep-alive"));
    const int lengthAt = firstHead.indexOf("Content-Length: ") + 16;
    const int length =
        firstHead.mid(lengthAt, firstHead.indexOf('\r', lengthAt) - lengthAt).toInt();
    const QByteArray listing = stream.mid(firstEnd + 4, length);
    QVERIFY(QString::fromUtf8(listing).contains(name + "</a>"));
    const QByteArray second = stream.mid(firstEnd + 4 + length);
    const int secondEnd = second.indexOf("\r\n\r\n");
    QVERIFY(second.left(secondEnd).contains("Content-Length: " + QByteArray::number(bytes.size())));
    QCOMPARE(second.mid(secondEnd + 4), bytes);
    QCOMPARE(server->requestedPaths().last(), "/protocols/" + name);

    client.write("HEAD /protocols HTTP/1.1\r\nConnection: close\r\n\r\n");
    const QByteArray head = client.readUntilClosed();
    QVERIFY(head.startsWith("HTTP/1.1 200 OK"));
    QVERIFY(head.endsWith("\r\n\r\n"));
    QVERIFY(head.contains("Connection: close"));
    QCOMPARE(server->requestedPaths().size(), 2);
}

void TestSimHttp::hostileRequests()
{
    auto server = startServer("127.4.3.5");
    QVERIFY(server);
    {
        SimTestClient client;
        QVERIFY(client.connectTo(QHostAddress("127.4.3.5"), server->port()));
        client.write("GET /" + QByteArray(40000, 'a'));
        QVERIFY(client.readUntilClosed().startsWith("HTTP/1.1 431 "));
    }
    {
        SimTestClient client;
        QVERIFY(client.connectTo(QHostAddress("127.4.3.5"), server->port()));
        client.write(
            "POST /protocols HTTP/1.1\r\nContent-Length: 5\r\n\r\nhelloGET /x HTTP/1.0\r\n\r\n");
        const QByteArray answer = client.readUntilClosed();
        QVERIFY(answer.startsWith("HTTP/1.1 405 "));
        QVERIFY(answer.contains("HTTP/1.1 404 "));
    }
    {
        SimTestClient client;
        QVERIFY(client.connectTo(QHostAddress("127.4.3.5"), server->port()));
        client.write("complete nonsense\r\n\r\n");
        QVERIFY(client.readUntilClosed().startsWith("HTTP/1.1 400 "));
    }
    QVERIFY(server->requestedPaths().contains("/x"));
}

void TestSimHttp::ownFolderWithLargeBatch()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const int files = 200;
    const int size = 256 * 1024;
    QHash<QString, QByteArray> digests;
    for (int i = 0; i < files; ++i) {
        QByteArray data(size, '\0');
        for (int k = 0; k < size; ++k)
            data[k] = static_cast<char>((k * 7 + i * 13) ^ (k >> 9));
        const QString name = QStringLiteral("Протокол_%1.xlsx").arg(i, 4, 10, QChar('0'));
        QFile f(folder.path() + '/' + name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(data), qint64(size));
        digests.insert(name, QCryptographicHash::hash(data, QCryptographicHash::Sha1));
    }
    for (const char* skipped : {"notes.txt", "bad<name>.xlsx", "upper.XLSX"}) {
        QFile f(folder.path() + '/' + QString::fromLatin1(skipped));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    auto server = startServer("127.4.3.6", folder.path());
    QVERIFY(server);
    QNetworkAccessManager manager;
    const QStringList names = scanListing(
        QString::fromUtf8(get(manager, base(*server, "127.4.3.6") + "/protocols").body));
    QCOMPARE(names.size(), files);
    QCOMPARE(names, server->fileNames());
    QElapsedTimer timer;
    timer.start();
    for (const QString& name : names) {
        const Fetched f = get(manager, base(*server, "127.4.3.6") + "/protocols/" + name);
        QCOMPARE(f.body.size(), size);
        QCOMPARE(QCryptographicHash::hash(f.body, QCryptographicHash::Sha1), digests.value(name));
    }
    qInfo("200 files of 256 KiB fetched one by one in %lld ms", timer.elapsed());
}

void TestSimHttp::missingFolderFailsToStart()
{
    SimOptions o;
    o.address = QHostAddress("127.4.3.7");
    o.httpPort = 0;
    o.protocolsDir = QStringLiteral("/nonexistent/solmir3-folder");
    HttpServer server(o);
    QVERIFY(!server.start());
    QVERIFY(server.errorString().contains("does not exist"));
}

QTEST_MAIN(TestSimHttp)
#include "tst_simhttp.moc"
