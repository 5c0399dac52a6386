// End-to-end tests of the simulated RFB server through real loopback sockets.
#include "simtestclient.h"
#include "simulator/rfbpixelformat.h"
#include "simulator/rfbserver.h"

#include <QtTest>
#include <memory>

namespace {

std::unique_ptr<RfbServer> startServer(const char* address, SimOptions o = SimOptions())
{
    o.address = QHostAddress(QString::fromLatin1(address));
    o.rfbPort = 0;
    o.httpPort = 0;
    o.animate = false;
    auto server = std::make_unique<RfbServer>(o);
    if (!server->start())
        return nullptr;
    return server;
}

quint32 scale(quint32 v, quint32 from, quint32 to)
{
    return (v * to + from / 2) / from;
}

// What a pixel of the 5-6-5 frame must look like in the client's format.
quint32 expectedPixel(quint16 p, const RfbPixelFormat& f)
{
    quint32 v = (scale(p >> 11, 31, f.redMax) << f.redShift) |
                (scale((p >> 5) & 63, 63, f.greenMax) << f.greenShift) |
                (scale(p & 31, 31, f.blueMax) << f.blueShift);
    if (f.bitsPerPixel < 32)
        v &= (1u << f.bitsPerPixel) - 1;
    return v;
}

quint32 pixelAt(const QByteArray& pixels, int index, const RfbPixelFormat& f)
{
    const auto* d = reinterpret_cast<const uchar*>(pixels.constData()) + index * f.bytesPerPixel();
    if (f.bitsPerPixel == 8)
        return d[0];
    if (f.bitsPerPixel == 16)
        return f.bigEndian ? qFromBigEndian<quint16>(d) : qFromLittleEndian<quint16>(d);
    return f.bigEndian ? qFromBigEndian<quint32>(d) : qFromLittleEndian<quint32>(d);
}

} // namespace

class TestSimRfb : public QObject
{
    Q_OBJECT
private slots:
    void handshakeNoneAndServerInit();
    void serverInitOf32Bits();
    void vncAuthentication();
    void offerNoneToo();
    void olderVersions();
    void noSecurityTypes();
    void hugeDesktopName();
    void pixelFormatsHonoured_data();
    void pixelFormatsHonoured();
    void bandsCoverTheScreen();
    void partialRequestAnsweredWithItsRegion();
    void oddReplies_data();
    void oddReplies();
    void closeAndStallAfterUpdates();
    void oneByteWritesDeliverTheSameBytes();
    void garbageDropsTheClient_data();
    void garbageDropsTheClient();
    void clientMessagesRecordedByteExact();
    void severalClients();
};

void TestSimRfb::handshakeNoneAndServerInit()
{
    auto server = startServer("127.4.1.1");
    QVERIFY(server);
    QSignalSpy connected(server.get(), SIGNAL(clientConnected()));
    SimTestClient client;
    QVERIFY(client.connectTo(QHostAddress("127.4.1.1"), server->port()));
    QCOMPARE(client.read(12), QByteArray("RFB 003.008\n"));
    client.write("RFB 003.008\n");
    QCOMPARE(client.read(2).toHex(), QByteArray("0101"));
    client.write(QByteArray(1, '\1'));
    QCOMPARE(client.read(4).toHex(), QByteArray("00000000"));
    client.write(QByteArray(1, '\1'));
    const QByteArray init = client.read(24);
    QCOMPARE(init.left(20).toHex(), QByteArray("032001e010100001001f003f001f0b0500000000"));
    const QByteArray name = QStringLiteral("СОЛМИР-3").toUtf8();
    QCOMPARE(SimTestClient::be32(init, 20), quint32(name.size()));
    QCOMPARE(client.read(name.size()), name);
    QCOMPARE(server->connectionCount(), 1);
    QCOMPARE(connected.count(), 1);
    QCOMPARE(server->frame().format(), QImage::Format_RGB16);
    QCOMPARE(server->frame().size(), QSize(800, 480));
}

void TestSimRfb::serverInitOf32Bits()
{
    SimOptions o;
    o.serverBitsPerPixel = 32;
    o.screenSize = QSize(40, 30);
    auto server = startServer("127.4.1.2", o);
    QVERIFY(server);
    SimTestClient client;
    QVERIFY(client.connectTo(QHostAddress("127.4.1.2"), server->port()));
    const QByteArray init = client.handshakeNone();
    QCOMPARE(init.left(20).toHex(), QByteArray("0028001e20180001"
                                               "00ff00ff00ff100800000000"));
    // Without SetPixelFormat the update comes in the announced 8-8-8 format.
    QByteArray pixels;
    QVERIFY(client.requestUpdate(QSize(40, 30), 4, &pixels));
    const QImage frame = server->frame();
    const auto* first = reinterpret_cast<const quint16*>(frame.constScanLine(0));
    QCOMPARE(pixelAt(pixels, 0, RfbPixelFormat::rgb888()),
             expectedPixel(first[0], RfbPixelFormat::rgb888()));
}

void TestSimRfb::vncAuthentication()
{
    SimOptions o;
    o.password = QStringLiteral("s0lmir");
    o.screenSize = QSize(20, 20);
    auto server = startServer("127.4.1.3", o);
    QVERIFY(server);
    {
        SimTestClient client;
        QVERIFY(client.connectTo(QHostAddress("127.4.1.3"), server->port()));
        QCOMPARE(client.handshakeVnc("s0lmir"), quint32(0));
        client.write(QByteArray(1, '\1'));
        const QByteArray init = client.read(24);
        QCOMPARE(SimTestClient::be16(init, 0), quint16(20));
    }
    {
        SimTestClient client;
        QVERIFY(client.connectTo(QHostAddress("127.4.1.3"), server->port()));
        QByteArray reason;
        QCOMPARE(client.handshakeVnc("wrong", &reason), quint32(1));
        QCOMPARE(reason, QByteArray("Authentication failed: wrong password"));
        QVERIFY(client.waitForClosed());
    }
    {
        // The client may not pick a type that was not offered.
        SimTestClient client;
        QVERIFY(client.connectTo(QHostAddress("127.4.1.3"), server->port()));
        QCOMPARE(client.read(12), QByteArray("RFB 003.008\n"));
        client.write("RFB 003.008\n");
        QCOMPARE(client.read(2).toHex(), QByteArray("0102"));
        client.write(QByteArray(1, '\1'));
        const QByteArray refusal = client.readUntilClosed();
        QCOMPARE(refusal.left(4).toHex(), QByteArray("00000001"));
        QCOMPARE(refusal.mid(8), QByteArray("Security type not offered"));
    }
}

void TestSimRfb::offerNoneToo()
{
    SimOptions o;
    o.password = QStringLiteral("secret");
    o.offerNoneToo = true;
    auto server = startServer("127.4.1.4", o);
    QVERIFY(server);
    SimTestClient client;
    QVERIFY(client.connectTo(QHostAddress("127.4.1.4"), server->port()));
    QCOMPARE(client.read(12), QByteArray("RFB 003.008\n"));
    client.write("RFB 003.008\n");
    QCOMPARE(client.read(3).toHex(), QByteArray("020102"));
    client.write(QByteArray(1, '\1'));
    QCOMPARE(client.read(4).toHex(), QByteArray("00000000"));
}

void TestSimRfb::olderVersions()
{
    SimOptions o;
    o.version = "RFB 003.003\n";
    auto v33 = startServer("127.4.1.5", o);
    QVERIFY(v33);
    SimTestClient a;
    QVERIFY(a.connectTo(QHostAddress("127.4.1.5"), v33->port()));
    QCOMPARE(a.read(12), QByteArray("RFB 003.003\n"));
    a.write("RFB 003.008\n");
    // 3.3: the server decides the type as a 32-bit word; None has no SecurityResult.
    QCOMPARE(a.read(4).toHex(), QByteArray("00000001"));
    a.write(QByteArray(1, '\1'));
    QCOMPARE(SimTestClient::be16(a.read(24), 0), quint16(800));

    o.version = "RFB 003.007\n";
    auto v37 = startServer("127.4.1.6", o);
    QVERIFY(v37);
    SimTestClient b;
    QVERIFY(b.connectTo(QHostAddress("127.4.1.6"), v37->port()));
    QCOMPARE(b.read(12), QByteArray("RFB 003.007\n"));
    b.write("RFB 003.007\n");
    QCOMPARE(b.read(2).toHex(), QByteArray("0101"));
    b.write(QByteArray(1, '\1'));
    b.write(QByteArray(1, '\1'));
    // No SecurityResult for None in 3.7: ServerInit follows at once.
    QCOMPARE(SimTestClient::be16(b.read(24), 2), quint16(480));
}

void TestSimRfb::noSecurityTypes()
{
    SimOptions o;
    o.noSecurityTypes = true;
    auto server = startServer("127.4.1.7", o);
    QVERIFY(server);
    SimTestClient client;
    QVERIFY(client.connectTo(QHostAddress("127.4.1.7"), server->port()));
    QCOMPARE(client.read(12), QByteArray("RFB 003.008\n"));
    client.write("RFB 003.008\n");
    const QByteArray answer = client.readUntilClosed();
    QCOMPARE(answer.at(0), '\0');
    QCOMPARE(int(SimTestClient::be32(answer, 1)), answer.size() - 5);
    QVERIFY(answer.mid(5).startsWith("No security types"));
}

void TestSimRfb::hugeDesktopName()
{
    SimOptions o;
    o.hugeDesktopName = true;
    auto server = startServer("127.4.1.8", o);
    QVERIFY(server);
    SimTestClient client;
    QVERIFY(client.connectTo(QHostAddress("127.4.1.8"), server->port()));
    QCOMPARE(client.read(12), QByteArray("RFB 003.008\n"));
    client.write("RFB 003.008\n");
    client.read(2);
    client.write(QByteArray(1, '\1'));
    client.read(4);
    client.write(QByteArray(1, '\1'));
    const QByteArray init = client.read(24);
    QCOMPARE(SimTestClient::be32(init, 20), quint32(0xFFFFFFF0u));
    QCOMPARE(client.drain(200), QByteArray());
    QVERIFY(client.isOpen());
}

void TestSimRfb::pixelFormatsHonoured_data()
{
    QTest::addColumn<QByteArray>("format");
    RfbPixelFormat f = RfbPixelFormat::rgb565();
    QTest::newRow("565 little-endian") << f.toBytes();
    f.bigEndian = true;
    QTest::newRow("565 big-endian") << f.toBytes();
    f = RfbPixelFormat::rgb888();
    QTest::newRow("888 32 bit") << f.toBytes();
    f.bigEndian = true;
    f.redShift = 0;
    f.blueShift = 16;
    QTest::newRow("888 32 bit BGR big-endian") << f.toBytes();
    f = RfbPixelFormat();
    f.bitsPerPixel = 8;
    f.depth = 8;
    f.redMax = 7;
    f.greenMax = 7;
    f.blueMax = 3;
    f.redShift = 0;
    f.greenShift = 3;
    f.blueShift = 6;
    QTest::newRow("bgr233") << f.toBytes();
    // What the workstation asks of a 32-bit server: 16 bits with 8-bit maxima.
    f = RfbPixelFormat::rgb888();
    f.bitsPerPixel = 16;
    QTest::newRow("16 bit with 888 maxima") << f.toBytes();
}

void TestSimRfb::pixelFormatsHonoured()
{
    QFETCH(QByteArray, format);
    SimOptions o;
    o.screenSize = QSize(120, 80);
    auto server = startServer("127.4.1.9", o);
    QVERIFY(server);
    SimTestClient client;
    QVERIFY(client.connectTo(QHostAddress("127.4.1.9"), server->port()));
    QVERIFY(!client.handshakeNone().isEmpty());
    const RfbPixelFormat f = RfbPixelFormat::fromBytes(format);
    client.write(SimTestClient::setPixelFormat(format));
    QByteArray pixels;
    QVERIFY(client.requestUpdate(o.screenSize, f.bytesPerPixel(), &pixels));
    const QImage frame = server->frame();
    int mismatches = 0;
    QSet<quint32> distinct;
    for (int y = 0; y < frame.height(); ++y) {
        const auto* row = reinterpret_cast<const quint16*>(frame.constScanLine(y));
        for (int x = 0; x < frame.width(); ++x) {
            const quint32 got = pixelAt(pixels, y * frame.width() + x, f);
            distinct.insert(got);
            if (got != expectedPixel(row[x], f))
                ++mismatches;
        }
    }
    QCOMPARE(mismatches, 0);
    QVERIFY2(distinct.size() > 4, "the panel must not be a flat colour");
}

void TestSimRfb::bandsCoverTheScreen()
{
    SimOptions o;
    o.screenSize = QSize(64, 50);
    o.rectsPerUpdate = 7;
    auto server = startServer("127.4.1.10", o);
    QVERIFY(server);
    SimTestClient client;
    QVERIFY(client.connectTo(QHostAddress("127.4.1.10"), server->port()));
    QVERIFY(!client.handshakeNone().isEmpty());
    client.write(SimTestClient::updateRequest(false, 0, 0, 64, 50));
    const QByteArray head = client.read(4);
    QCOMPARE(SimTestClient::be16(head, 2), quint16(7));
    int nextTop = 0;
    QByteArray all;
    for (int i = 0; i < 7; ++i) {
        const QByteArray rect = client.read(12);
        QCOMPARE(SimTestClient::be16(rect, 0), quint16(0));
        QCOMPARE(int(SimTestClient::be16(rect, 2)), nextTop);
        QCOMPARE(SimTestClient::be16(rect, 4), quint16(64));
        QCOMPARE(SimTestClient::be32(rect, 8), quint32(0));
        const int h = SimTestClient::be16(rect, 6);
        QVERIFY(h > 0);
        nextTop += h;
        all += client.read(64 * h * 2);
    }
    QCOMPARE(nextTop, 50);
    const QImage frame = server->frame();
    QCOMPARE(all, QByteArray(reinterpret_cast<const char*>(frame.constBits()), 64 * 50 * 2));
    QCOMPARE(server->updatesSent(), 1);
}

void TestSimRfb::partialRequestAnsweredWithItsRegion()
{
    SimOptions o;
    o.screenSize = QSize(100, 60);
    auto server = startServer("127.4.1.11", o);
    QVERIFY(server);
    SimTestClient client;
    QVERIFY(client.connectTo(QHostAddress("127.4.1.11"), server->port()));
    QVERIFY(!client.handshakeNone().isEmpty());
    // Partly outside the screen: clipped to it.
    client.write(SimTestClient::updateRequest(true, 90, 50, 30, 40));
    QCOMPARE(client.read(4).toHex(), QByteArray("00000001"));
    QCOMPARE(client.read(12).toHex(), QByteArray("005a0032000a000a00000000"));
    const QByteArray data = client.read(200);
    const QImage frame = server->frame();
    QCOMPARE(data.left(20),
             QByteArray(reinterpret_cast<const char*>(frame.constScanLine(50)) + 180, 20));
}

void TestSimRfb::oddReplies_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("expected");
    using Odd = SimOptions::Odd;
    QTest::newRow("bell") << int(Odd::Bell) << QByteArray::fromHex("02");
    QTest::newRow("cuttext") << int(Odd::CutText)
                             << QByteArray::fromHex("0300000000000012") + "SOLMIR-3 clipboard";
    QTest::newRow("colourmap") << int(Odd::ColourMap)
                               << QByteArray::fromHex("010000000001ffff00000000");
    QTest::newRow("unknown") << int(Odd::Unknown) << QByteArray::fromHex("c8000000");
    QTest::newRow("copyrect") << int(Odd::CopyRect)
                              << QByteArray::fromHex("00000001000000000020001000000001"
                                                     "00000000");
    QTest::newRow("zerorects") << int(Odd::ZeroRects) << QByteArray::fromHex("00000000");
    QTest::newRow("hugerect") << int(Odd::HugeRect)
                              << QByteArray::fromHex("0000000100000000ffffffff00000000") +
                                     QByteArray(64, '\0');
    QTest::newRow("hugecuttext") << int(Odd::HugeCutText)
                                 << QByteArray::fromHex("030000007fffffff") + "SOLMIR-3 overflow";
}

void TestSimRfb::oddReplies()
{
    QFETCH(int, kind);
    QFETCH(QByteArray, expected);
    SimOptions o;
    o.screenSize = QSize(32, 16);
    o.oddReply = static_cast<SimOptions::Odd>(kind);
    o.oddFrom = 2;
    o.oddCount = 2;
    auto server = startServer("127.4.1.12", o);
    QVERIFY(server);
    SimTestClient client;
    QVERIFY(client.connectTo(QHostAddress("127.4.1.12"), server->port()));
    QVERIFY(!client.handshakeNone().isEmpty());
    const QByteArray normal = QByteArray::fromHex("000000010000000000200010"
                                                  "00000000");
    const int pixelBytes = 32 * 16 * 2;
    const QByteArray request = SimTestClient::updateRequest(false, 0, 0, 32, 16);
    client.write(request);
    QCOMPARE(client.read(16).toHex(), normal.toHex());
    QCOMPARE(client.read(pixelBytes).size(), pixelBytes);
    for (int i = 0; i < 2; ++i) {
        client.write(request);
        QCOMPARE(client.drain(150).toHex(), expected.toHex());
    }
    client.write(request);
    QCOMPARE(client.read(16).toHex(), normal.toHex());
    QCOMPARE(client.read(pixelBytes).size(), pixelBytes);
    QVERIFY(client.isOpen());
}

void TestSimRfb::closeAndStallAfterUpdates()
{
    SimOptions o;
    o.screenSize = QSize(16, 16);
    o.closeAfterUpdates = 2;
    auto closing = startServer("127.4.1.13", o);
    QVERIFY(closing);
    QSignalSpy gone(closing.get(), SIGNAL(clientDisconnected()));
    SimTestClient a;
    QVERIFY(a.connectTo(QHostAddress("127.4.1.13"), closing->port()));
    QVERIFY(!a.handshakeNone().isEmpty());
    QByteArray pixels;
    QVERIFY(a.requestUpdate(QSize(16, 16), 2, &pixels));
    QVERIFY(a.isOpen());
    QVERIFY(a.requestUpdate(QSize(16, 16), 2, &pixels));
    QVERIFY(a.waitForClosed());
    QVERIFY(gone.count() == 1 || gone.wait(2000));
    QCOMPARE(closing->updatesSent(), 2);

    o.closeAfterUpdates = -1;
    o.stallAfterUpdates = 1;
    auto stalling = startServer("127.4.1.14", o);
    QVERIFY(stalling);
    SimTestClient b;
    QVERIFY(b.connectTo(QHostAddress("127.4.1.14"), stalling->port()));
    QVERIFY(!b.handshakeNone().isEmpty());
    QVERIFY(b.requestUpdate(QSize(16, 16), 2, &pixels));
    b.write(SimTestClient::updateRequest(false, 0, 0, 16, 16));
    QCOMPARE(b.drain(300), QByteArray());
    QVERIFY(b.isOpen());
    QCOMPARE(stalling->updatesSent(), 1);
    QCOMPARE(stalling->clientMessages().size(), 2);
}

void TestSimRfb::oneByteWritesDeliverTheSameBytes()
{
    SimOptions o;
    o.screenSize = QSize(24, 12);
    o.oneBytePerWrite = true;
    o.password = QStringLiteral("pw");
    auto server = startServer("127.4.1.15", o);
    QVERIFY(server);
    SimTestClient client;
    QVERIFY(client.connectTo(QHostAddress("127.4.1.15"), server->port()));
    QCOMPARE(client.handshakeVnc("pw"), quint32(0));
    client.write(QByteArray(1, '\1'));
    QCOMPARE(SimTestClient::be16(client.read(24), 0), quint16(24));
    client.read(static_cast<int>(QStringLiteral("СОЛМИР-3").toUtf8().size()));
    QByteArray pixels;
    QVERIFY(client.requestUpdate(QSize(24, 12), 2, &pixels));
    const QImage frame = server->frame();
    QCOMPARE(pixels, QByteArray(reinterpret_cast<const char*>(frame.constBits()), 24 * 12 * 2));
}

void TestSimRfb::garbageDropsTheClient_data()
{
    QTest::addColumn<QByteArray>("afterInit");
    QTest::addColumn<QByteArray>("version");
    QTest::newRow("bad version") << QByteArray() << QByteArray("HELLO WORLD!");
    QTest::newRow("unknown message")
        << QByteArray::fromHex("99000000") << QByteArray("RFB 003.008\n");
    QTest::newRow("24 bit pixels")
        << SimTestClient::setPixelFormat(QByteArray::fromHex("18180001"
                                                             "00ff00ff00ff100800"))
        << QByteArray("RFB 003.008\n");
}

void TestSimRfb::garbageDropsTheClient()
{
    QFETCH(QByteArray, afterInit);
    QFETCH(QByteArray, version);
    auto server = startServer("127.4.1.16");
    QVERIFY(server);
    SimTestClient client;
    QVERIFY(client.connectTo(QHostAddress("127.4.1.16"), server->port()));
    if (afterInit.isEmpty()) {
        client.read(12);
        client.write(version);
    } else {
        QVERIFY(!client.handshakeNone().isEmpty());
        client.write(afterInit);
    }
    QVERIFY(client.waitForClosed());
    // The server goes on serving others.
    SimTestClient next;
    QVERIFY(next.connectTo(QHostAddress("127.4.1.16"), server->port()));
    QVERIFY(!next.handshakeNone().isEmpty());
}

void TestSimRfb::clientMessagesRecordedByteExact()
{
    SimOptions o;
    o.screenSize = QSize(16, 16);
    auto server = startServer("127.4.1.17", o);
    QVERIFY(server);
    QSignalSpy spy(server.get(), SIGNAL(clientMessage(QByteArray)));
    SimTestClient client;
    QVERIFY(client.connectTo(QHostAddress("127.4.1.17"), server->port()));
    QVERIFY(!client.handshakeNone().isEmpty());
    const QList<QByteArray> sent = {
        SimTestClient::setPixelFormat(RfbPixelFormat::rgb565().toBytes()),
        QByteArray::fromHex("020000020000000000000001"),
        QByteArray::fromHex("04010000"
                            "00000061"),
        QByteArray::fromHex("04000000"
                            "00000061"),
        QByteArray::fromHex("050100640032"),
        QByteArray::fromHex("0600000000000003") + "abc",
    };
    QByteArray all;
    for (const QByteArray& m : sent)
        all += m;
    // Split at odd places: framing must not depend on how the bytes arrive.
    client.write(all.left(7));
    client.drain(30);
    client.write(all.mid(7, 20));
    client.drain(30);
    client.write(all.mid(27));
    QTRY_COMPARE(server->clientMessages().size(), sent.size());
    QCOMPARE(server->clientMessages(), sent);
    QCOMPARE(spy.count(), sent.size());

    // A long ClientCutText is skipped without being kept, and framing stays in step.
    server->clearClientMessages();
    QVERIFY(server->clientMessages().isEmpty());
    const int longText = 200000;
    client.write(QByteArray::fromHex("06000000") + QByteArray::fromHex("00030d40") +
                 QByteArray(longText, 'x') + QByteArray::fromHex("0401000000000062"));
    QTRY_COMPARE(server->clientMessages().size(), 2);
    QCOMPARE(server->clientMessages().at(0).toHex(), QByteArray("0600000000030d40"));
    QCOMPARE(server->clientMessages().at(1).toHex(), QByteArray("0401000000000062"));
}

void TestSimRfb::severalClients()
{
    SimOptions o;
    o.screenSize = QSize(16, 8);
    auto server = startServer("127.4.1.18", o);
    QVERIFY(server);
    QSignalSpy gone(server.get(), SIGNAL(clientDisconnected()));
    auto a = std::make_unique<SimTestClient>();
    SimTestClient b;
    QVERIFY(a->connectTo(QHostAddress("127.4.1.18"), server->port()));
    QVERIFY(b.connectTo(QHostAddress("127.4.1.18"), server->port()));
    QVERIFY(!a->handshakeNone().isEmpty());
    QVERIFY(!b.handshakeNone().isEmpty());
    QByteArray pa, pb;
    QVERIFY(a->requestUpdate(QSize(16, 8), 2, &pa));
    QVERIFY(b.requestUpdate(QSize(16, 8), 2, &pb));
    QCOMPARE(pa, pb);
    QCOMPARE(server->connectionCount(), 2);
    QCOMPARE(server->updatesSent(), 2);
    a.reset();
    QTRY_COMPARE(gone.count(), 1);
    QVERIFY(b.requestUpdate(QSize(16, 8), 2, &pb));
}

QTEST_MAIN(TestSimRfb)
#include "tst_simrfb.moc"
