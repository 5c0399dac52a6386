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

// Sends GETs for the listing and every published file at once on one kept-alive connection
// (the last asks to close it) and splits the answers by their Content-Length. Names go into
// the URL the way the workstation puts them: plain, in a tolerant QUrl.
QList<Reply> fetchAll(const HttpServer& server, const char* address)
{
    SimTestClient client;
    QList<Reply> replies;
    if (!client.connectTo(QHostAddress(QLatin1String(address)), server.port()))
        return replies;
    QByteArray requests = "GET /protocols HTTP/1.1\r\nHost: device\r\n\r\n";
    for (const QString& name : server.fileNames())
        requests += "GET " +
                    QUrl("http://device/protocols/" + name, QUrl::TolerantMode)
                        .path(QUrl::FullyEncoded)
                        .toLatin1() +
                    " HTTP/1.1\r\nHost: device\r\n\r\n";
    requests.insert(requests.size() - 2, "Connection: close\r\n");
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
    void servesTheFolder_data();
    void servesTheFolder();
    void oddRequests_data();
    void oddRequests();
    void missingFolderFailsToStart();
};

void TestSimHttp::servesTheFolder_data()
{
    QTest::addColumn<bool>("ownFolder");
    QTest::newRow("built-in set") << false;
    QTest::newRow("own folder, large files") << true;
}

void TestSimHttp::servesTheFolder()
{
    QFETCH(bool, ownFolder);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    QHash<QString, QByteArray> files;
    // Only *.xlsx files whose names survive the link markup are published.
    const QStringList skipped{"notes.txt", "bad<name>.xlsx", "upper.XLSX"};
    for (int i = 0; ownFolder && i < 20 + skipped.size(); ++i) {
        QByteArray data(1 + i * 37 * 1024, '\0');
        for (int k = 0; k < data.size(); ++k)
            data[k] = static_cast<char>((k * 7 + i * 13) ^ (k >> 9));
        const QString name = i < 20 ? QStringLiteral("Протокол_%1.xlsx").arg(i, 4, 10, QChar('0'))
                                    : skipped.at(i - 20);
        QFile f(folder.path() + '/' + name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(data), qint64(data.size()));
        if (i < 20)
            files.insert(name, data);
    }
    auto server = startServer("127.4.3.1", ownFolder ? folder.path() : QString());
    QVERIFY(server);
    for (const QString& name : ownFolder ? QStringList() : ProtocolLibrary::builtInNames()) {
        QFile f(server->folder() + '/' + name);
        QVERIFY(f.open(QIODevice::ReadOnly));
        files.insert(name, f.readAll());
    }
    const QStringList names = server->fileNames();
    QCOMPARE(sorted(names), sorted(files.keys()));
    // Pipelined on one connection: answered in order, each in full.
    const QList<Reply> replies = fetchAll(*server, "127.4.3.1");
    QCOMPARE(replies.size(), names.size() + 1);
    QVERIFY(replies.first().head.startsWith("HTTP/1.1 200 OK\r\n"));
    QVERIFY(replies.first().head.contains("Content-Type: text/html; charset=utf-8\r\n"));
    QVERIFY(replies.first().head.contains("Connection: keep-alive"));
    QCOMPARE(scanListing(QString::fromUtf8(replies.first().body)), names);
    QStringList paths{"/protocols"};
    for (int i = 0; i < names.size(); ++i) {
        const Reply& reply = replies.at(i + 1);
        QVERIFY(reply.head.startsWith("HTTP/1.1 200 OK\r\n"));
        QVERIFY(reply.head.contains("Content-Type: application/"
                                    "vnd.openxmlformats-officedocument.spreadsheetml.sheet\r\n"));
        QVERIFY2(reply.body == files.value(names.at(i)), qPrintable(names.at(i)));
        paths.append("/protocols/" + names.at(i));
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

void TestSimHttp::missingFolderFailsToStart()
{
    SimOptions o;
    o.address = QHostAddress("127.4.3.6");
    o.httpPort = 0;
    o.protocolsDir = QStringLiteral("/nonexistent/solmir3-folder");
    HttpServer server(o);
    QVERIFY(!server.start());
    QVERIFY(server.errorString().contains("does not exist"));
}

QTEST_MAIN(TestSimHttp)
#include "tst_simhttp.moc"
