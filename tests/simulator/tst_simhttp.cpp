// End-to-end tests of the simulated HTTP server: listing, downloads, refusals, keep-alive.
#include "simtestclient.h"
#include "simulator/httpserver.h"
#include "simulator/protocollibrary.h"

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

struct Reply
{
    QByteArray head;
    QByteArray body;
};

// Sends every GET at once on one kept-alive connection (the last asks to close it) and splits
// the answers by their Content-Length. Paths are encoded the way the workstation's QUrl does.
QList<Reply> fetch(const char* address, quint16 port, const QStringList& paths)
{
    SimTestClient client;
    QList<Reply> replies;
    if (!client.connectTo(QHostAddress(QLatin1String(address)), port))
        return replies;
    QByteArray requests;
    for (const QString& path : paths)
        requests +=
            "GET " +
            QUrl("http://device" + path, QUrl::TolerantMode).path(QUrl::FullyEncoded).toLatin1() +
            " HTTP/1.1\r\nHost: device\r\n" +
            (&path == &paths.last() ? "Connection: close\r\n\r\n" : "\r\n");
    client.write(requests);
    const QByteArray stream = client.readUntilClosed(20000);
    for (int at = 0, end; (end = stream.indexOf("\r\n\r\n", at)) > 0;) {
        const QByteArray head = stream.mid(at, end - at);
        const int from = head.indexOf("Content-Length: ") + 16;
        const int length = head.mid(from, head.indexOf('\r', from) - from).toInt();
        replies.append({head, stream.mid(end + 4, length)});
        at = end + 4 + length;
    }
    return replies;
}

QByteArray getRequest(const QByteArray& target)
{
    return "GET " + target + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
}

QStringList sorted(QStringList names)
{
    names.sort();
    return names;
}

} // namespace

class TestSimHttp : public QObject
{
    Q_OBJECT
private slots:
    void listingAndDownloads();
    void oddRequests_data();
    void oddRequests();
    void ownFolder();
};

void TestSimHttp::listingAndDownloads()
{
    auto server = startServer("127.4.3.1");
    QVERIFY(server);
    const QStringList names = server->fileNames();
    QCOMPARE(sorted(names), sorted(ProtocolLibrary::builtInNames()));
    QStringList paths{"/protocols"};
    for (const QString& name : names)
        paths.append("/protocols/" + name);
    // Pipelined on one connection: answered in order, each in full.
    const QList<Reply> replies = fetch("127.4.3.1", server->port(), paths);
    QCOMPARE(replies.size(), paths.size());
    QVERIFY(replies.first().head.startsWith("HTTP/1.1 200 OK\r\n"));
    QVERIFY(replies.first().head.contains("Content-Type: text/html; charset=utf-8\r\n"));
    QVERIFY(replies.first().head.contains("Connection: keep-alive"));
    QCOMPARE(scanListing(QString::fromUtf8(replies.first().body)), names);
    for (int i = 0; i < names.size(); ++i) {
        const Reply& reply = replies.at(i + 1);
        QVERIFY(reply.head.startsWith("HTTP/1.1 200 OK\r\n"));
        QVERIFY(reply.head.contains("Content-Type: application/"
                                    "vnd.openxmlformats-officedocument.spreadsheetml.sheet\r\n"));
        QFile file(server->folder() + '/' + names.at(i));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(reply.body, file.readAll());
    }
    QVERIFY(replies.last().head.contains("Connection: close"));
    QCOMPARE(server->requestedPaths(), paths);
}

void TestSimHttp::oddRequests_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArrayList>("statuses"); // the status lines expected, in order
    const QByteArrayList notFound{"404 Not Found"};
    QTest::newRow("unknown path") << getRequest("/nothing") << notFound;
    QTest::newRow("listing with slash") << getRequest("/protocols/") << notFound;
    QTest::newRow("missing file") << getRequest("/protocols/missing.xlsx") << notFound;
    QTest::newRow("dot-dot") << getRequest("/protocols/../secret.xlsx") << notFound;
    QTest::newRow("encoded dot-dot") << getRequest("/protocols/%2E%2E%2Fsecret.xlsx") << notFound;
    QTest::newRow("encoded slash") << getRequest("/protocols/sub%2Fsecret.xlsx") << notFound;
    QTest::newRow("backslash") << getRequest("/protocols/..%5Csecret.xlsx") << notFound;
    QTest::newRow("nul") << getRequest("/protocols/secret.xlsx%00.txt") << notFound;
    QTest::newRow("absolute") << getRequest("/protocols/%2Ftmp%2Fsecret.xlsx") << notFound;
    QTest::newRow("endless head") << "GET /" + QByteArray(40000, 'a') << QByteArrayList{"431 "};
    QTest::newRow("nonsense") << QByteArray("complete nonsense\r\n\r\n") << QByteArrayList{"400 "};
    // The POST body is skipped, so the request behind it is still read in step.
    QTest::newRow("post then get")
        << QByteArray("POST /protocols HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello"
                      "GET /x HTTP/1.0\r\n\r\n")
        << QByteArrayList{"405 ", "404 "};
    QTest::newRow("head") << QByteArray("HEAD /protocols HTTP/1.1\r\nConnection: close\r\n\r\n")
                          << QByteArrayList{"200 OK"};
}

void TestSimHttp::oddRequests()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArrayList, statuses);
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
    client.write(request);
    const QByteArray answer = client.readUntilClosed();
    int at = 0;
    for (const QByteArray& status : statuses) {
        const int found = answer.indexOf("HTTP/1.1 " + status, at);
        QVERIFY2(found >= 0 && (at > 0 || found == 0), answer.constData());
        at = found + 1;
    }
    QVERIFY(!answer.contains("must not be served"));
    QVERIFY(!request.startsWith("HEAD") || answer.endsWith("\r\n\r\n"));
}

void TestSimHttp::ownFolder()
{
    SimOptions o;
    o.address = QHostAddress("127.4.3.6");
    o.httpPort = 0;
    o.protocolsDir = QStringLiteral("/nonexistent/solmir3-folder");
    HttpServer missing(o);
    QVERIFY(!missing.start());
    QVERIFY(missing.errorString().contains("does not exist"));

    // Many files, some large enough to be sent in many pieces; only *.xlsx ones published.
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    QHash<QString, QByteArray> files;
    for (int i = 0; i < 20; ++i) {
        QByteArray data(1 + i * 37 * 1024, '\0');
        for (int k = 0; k < data.size(); ++k)
            data[k] = static_cast<char>((k * 7 + i * 13) ^ (k >> 9));
        const QString name = QStringLiteral("Протокол_%1.xlsx").arg(i, 4, 10, QChar('0'));
        QFile f(folder.path() + '/' + name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(data), qint64(data.size()));
        files.insert(name, data);
    }
    for (const char* skipped : {"notes.txt", "bad<name>.xlsx", "upper.XLSX"}) {
        QFile f(folder.path() + '/' + QString::fromLatin1(skipped));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    auto server = startServer("127.4.3.6", folder.path());
    QVERIFY(server);
    QStringList paths{"/protocols"};
    for (const QString& name : server->fileNames())
        paths.append("/protocols/" + name);
    const QList<Reply> replies = fetch("127.4.3.6", server->port(), paths);
    QCOMPARE(replies.size(), 21);
    const QStringList names = scanListing(QString::fromUtf8(replies.first().body));
    QCOMPARE(names, server->fileNames());
    QCOMPARE(sorted(names), sorted(files.keys()));
    for (int i = 0; i < names.size(); ++i)
        QVERIFY2(replies.at(i + 1).body == files.value(names.at(i)), qPrintable(names.at(i)));
}

QTEST_MAIN(TestSimHttp)
#include "tst_simhttp.moc"
