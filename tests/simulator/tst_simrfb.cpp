// End-to-end tests of the simulated RFB server through real loopback sockets.
#include "simtestclient.h"
#include "simulator/panelscreen.h"
#include "simulator/rfbserver.h"

#include <QtTest>
#include <memory>

Q_DECLARE_METATYPE(SimOptions)

namespace {

QByteArray hex(const char* digits)
{
    return QByteArray::fromHex(digits);
}

// The 5-6-5 pixels of part of the screen, row by row, as a Raw rectangle carries them.
QByteArray rows(const QImage& frame, const QRect& area)
{
    QByteArray out;
    for (int y = area.top(); y <= area.bottom(); ++y)
        out.append(reinterpret_cast<const char*>(frame.constScanLine(y)) + area.x() * 2,
                   area.width() * 2);
    return out;
}

// Requests an update and checks it carries the screen's pixels in the given bands.
void expectUpdate(SimTestClient& client, const RfbServer& server, const QRect& request,
                  int bands = 1)
{
    int rectangles = 0;
    const QImage frame = server.frame();
    QCOMPARE(client.requestUpdate(request, frame.size(), 2, &rectangles),
             rows(frame, request & frame.rect()));
    QCOMPARE(rectangles, bands);
}

// The screen in the client's PIXEL_FORMAT, worked out on its own: each 5-6-5 channel scaled
// to its maximum with rounding, shifted, and written in the format's size and byte order.
QByteArray expectedPixels(const QImage& frame, const QByteArray& format)
{
    const int bytes = format.at(0) / 8;
    const quint32 from[3] = {31, 63, 31};
    QByteArray out;
    for (int y = 0; y < frame.height(); ++y) {
        const auto* row = reinterpret_cast<const quint16*>(frame.constScanLine(y));
        for (int x = 0; x < frame.width(); ++x) {
            const quint32 value[3] = {quint32(row[x] >> 11), quint32((row[x] >> 5) & 63),
                                      quint32(row[x] & 31)};
            quint32 v = 0;
            for (int i = 0; i < 3; ++i)
                v |= (value[i] * SimTestClient::be16(format, 4 + 2 * i) + from[i] / 2) / from[i]
                     << quint8(format.at(10 + i));
            for (int i = 0; i < bytes; ++i)
                out.append(char(v >> 8 * (format.at(2) ? bytes - 1 - i : i)));
        }
    }
    return out;
}

} // namespace

class TestSimRfb : public QObject
{
    Q_OBJECT
private slots:
    void handshake_data();
    void handshake();
    void vncAuthentication_data();
    void vncAuthentication();
    void pixelFormatsHonoured_data();
    void pixelFormatsHonoured();
    void updatesTileTheRequest();
    void incrementalRequestsGetOnlyChanges();
    void oddReplies_data();
    void oddReplies();
    void closeAndStallAfterUpdates_data();
    void closeAndStallAfterUpdates();
    void clientMessagesRecordedByteExact();
};

void TestSimRfb::handshake_data()
{
    QTest::addColumn<SimOptions>("options");
    // Alternately what the server must send next and what the client answers.
    QTest::addColumn<QByteArrayList>("script");
    QTest::addColumn<QString>("end"); // "open", "closes" (after the last bytes) or "quiet"
    const QByteArray v33("RFB 003.003\n"), v37("RFB 003.007\n"), v38("RFB 003.008\n");
    const QByteArray name = QStringLiteral("СОЛМИР-3").toUtf8();
    const QByteArray init = hex("032001e010100001001f003f001f0b05000000000000000e") + name;
    const QByteArrayList none{v38, v38, hex("0101"), hex("01"), hex("00000000"), hex("01")};
    const QByteArray refusal = "No security types: access to the device is closed";
    SimOptions o;
    QTest::newRow("none") << o << none + QByteArrayList{init} << "open";
    QTest::newRow("bad version") << o << QByteArrayList{v38, "HELLO WORLD!", ""} << "closes";
    QTest::newRow("unknown message")
        << o << none + QByteArrayList{init, hex("99000000"), ""} << "closes";
    QTest::newRow("24-bit pixels")
        << o << none + QByteArrayList{init, hex("000000001818000100ff00ff00ff100800000000"), ""}
        << "closes";
    o.version = v37;
    QTest::newRow("3.7: no SecurityResult for None")
        << o << QByteArrayList{v37, v37, hex("0101"), hex("0101"), init} << "open";
    o.version = v33;
    QTest::newRow("3.3: server picks None")
        << o << QByteArrayList{v33, v33, hex("00000001"), hex("01"), init} << "open";
    o.noSecurityTypes = true;
    QTest::newRow("3.3: no security types")
        << o << QByteArrayList{v33, v33, hex("0000000000000031") + refusal} << "closes";
    o = SimOptions();
    o.noSecurityTypes = true;
    QTest::newRow("no security types")
        << o << QByteArrayList{v38, v38, hex("0000000031") + refusal} << "closes";
    o = SimOptions();
    o.password = QStringLiteral("secret");
    QTest::newRow("type not offered")
        << o
        << QByteArrayList{v38, v38, hex("0102"), hex("01"),
                          hex("0000000100000019") + "Security type not offered"}
        << "closes";
    o.offerNoneToo = true;
    QTest::newRow("offer None too")
        << o << QByteArrayList{v38, v38, hex("020102"), hex("01"), hex("00000000"), hex("01"), init}
        << "open";
    o = SimOptions();
    o.hugeDesktopName = true;
    QTest::newRow("huge desktop name")
        << o << none + QByteArrayList{init.left(20) + hex("fffffff0")} << "quiet";
    o = SimOptions();
    o.serverBitsPerPixel = 32;
    o.screenSize = QSize(40, 30);
    QTest::newRow("32-bit server")
        << o
        << none + QByteArrayList{hex("0028001e2018000100ff00ff00ff1008000000000000000e") + name}
        << "open";
}

void TestSimRfb::handshake()
{
    QFETCH(SimOptions, options);
    QFETCH(QByteArrayList, script);
    QFETCH(QString, end);
    SimTestClient client;
    const auto server = client.startDevice("127.4.1.1", options, false);
    QVERIFY(server);
    for (int i = 0; i < script.size(); ++i) {
        if (i % 2 == 1)
            client.write(script.at(i));
        else if (i < script.size() - 1 || end != "closes")
            QCOMPARE(client.read(script.at(i).size()).toHex(), script.at(i).toHex());
    }
    if (end == "closes")
        QCOMPARE(client.readUntilClosed().toHex(), script.last().toHex());
    if (end == "quiet")
        QCOMPARE(client.drain(200), QByteArray());
    QCOMPARE(client.isOpen(), end != "closes");
    // Whatever this client did, the server goes on serving others.
    SimTestClient next;
    QVERIFY(next.connectTo(QHostAddress("127.4.1.1"), server->port()));
    QCOMPARE(next.read(12), options.version);
}

void TestSimRfb::vncAuthentication_data()
{
    QTest::addColumn<bool>("oneBytePerWrite");
    QTest::newRow("whole writes") << false;
    QTest::newRow("one byte per write") << true;
}

void TestSimRfb::vncAuthentication()
{
    QFETCH(bool, oneBytePerWrite);
    SimOptions o;
    o.password = QStringLiteral("s0lmir");
    o.screenSize = QSize(24, 12);
    o.oneBytePerWrite = oneBytePerWrite;
    SimTestClient client;
    const auto server = client.startDevice("127.4.1.3", o, false);
    QVERIFY(server);
    QCOMPARE(client.handshakeVnc("s0lmir"), quint32(0));
    client.write(hex("01"));
    QCOMPARE(client.read(38).toHex(), (hex("0018000c10100001001f003f001f0b05000000000000000e") +
                                       QStringLiteral("СОЛМИР-3").toUtf8())
                                          .toHex());

    SimTestClient bad;
    QVERIFY(bad.connectTo(QHostAddress("127.4.1.3"), server->port()));
    QByteArray reason;
    QCOMPARE(bad.handshakeVnc("wrong", &reason), quint32(1));
    QCOMPARE(reason, QByteArray("Authentication failed: wrong password"));
    QVERIFY(bad.waitForClosed());
    // The other client is still served.
    expectUpdate(client, *server, QRect(0, 0, 24, 12));
}

void TestSimRfb::pixelFormatsHonoured_data()
{
    QTest::addColumn<int>("serverBits");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<bool>("setPixelFormat"); // false: the server's own format
    QTest::newRow("565 little-endian") << 16 << hex("10100001001f003f001f0b05") << true;
    QTest::newRow("565 big-endian") << 16 << hex("10100101001f003f001f0b05") << true;
    QTest::newRow("888") << 16 << hex("2018000100ff00ff00ff1008") << true;
    QTest::newRow("888 BGR big-endian") << 16 << hex("2018010100ff00ff00ff000810") << true;
    QTest::newRow("bgr233") << 16 << hex("08080001000700070003000306") << true;
    QTest::newRow("32-bit server's own 888") << 32 << hex("2018000100ff00ff00ff1008") << false;
    // What the workstation asks of a 32-bit server: 16 bits with 8-bit maxima.
    QTest::newRow("16 bits, 888 maxima") << 32 << hex("1018000100ff00ff00ff1008") << true;
}

void TestSimRfb::pixelFormatsHonoured()
{
    QFETCH(int, serverBits);
    QFETCH(QByteArray, format);
    QFETCH(bool, setPixelFormat);
    format = format.leftJustified(16, '\0');
    SimOptions o;
    o.screenSize = QSize(120, 80);
    o.serverBitsPerPixel = static_cast<quint8>(serverBits);
    SimTestClient client;
    const auto server = client.startDevice("127.4.1.9", o);
    QVERIFY(server);
    if (setPixelFormat)
        client.write(SimTestClient::setPixelFormat(format));
    const QByteArray pixels =
        client.requestUpdate(QRect(QPoint(), o.screenSize), o.screenSize, format.at(0) / 8);
    QCOMPARE(pixels.toHex(), expectedPixels(server->frame(), format).toHex());
}

void TestSimRfb::updatesTileTheRequest()
{
    SimOptions o;
    o.screenSize = QSize(100, 60);
    o.rectsPerUpdate = 7;
    SimTestClient client;
    const auto server = client.startDevice("127.4.1.10", o);
    QVERIFY(server);
    expectUpdate(client, *server, QRect(0, 0, 100, 60), 7);
    // Partly outside the screen: clipped to it; never more bands than rows.
    expectUpdate(client, *server, QRect(90, 50, 30, 40), 7);
    expectUpdate(client, *server, QRect(10, 20, 30, 3), 3);
    QCOMPARE(server->updatesSent(), 3);
}

void TestSimRfb::incrementalRequestsGetOnlyChanges()
{
    SimOptions o;
    o.screenSize = QSize(400, 240);
    SimTestClient client;
    const auto server = client.startDevice("127.4.1.18", o);
    QVERIFY(server);
    expectUpdate(client, *server, QRect(0, 0, 400, 240));
    // Nothing changed since that update: an incremental request waits.
    client.write(SimTestClient::updateRequest(true, 0, 0, 400, 240));
    QCOMPARE(client.drain(200), QByteArray());

    // A click toggles a button: the waiting request gets that button's pixels and no more.
    const QRect button = server->screen()->buttonRect(0);
    client.write(SimTestClient::pointerEvent(1, button.center().x(), button.center().y()));
    QCOMPARE(client.read(2).toHex(), QByteArray("0000"));
    const int count = SimTestClient::be16(client.read(2), 0);
    QVERIFY(count > 0);
    const QImage frame = server->frame();
    for (int i = 0; i < count; ++i) {
        const QByteArray header = client.read(12);
        QCOMPARE(header.size(), 12);
        const QRect rect(SimTestClient::be16(header, 0), SimTestClient::be16(header, 2),
                         SimTestClient::be16(header, 4), SimTestClient::be16(header, 6));
        QVERIFY2(button.contains(rect) && !rect.isEmpty(),
                 qPrintable(QStringLiteral("rectangle %1,%2 %3x%4")
                                .arg(rect.x())
                                .arg(rect.y())
                                .arg(rect.width())
                                .arg(rect.height())));
        QCOMPARE(SimTestClient::be32(header, 8), 0u);
        QCOMPARE(client.read(rect.width() * rect.height() * 2), rows(frame, rect));
    }
    client.write(SimTestClient::updateRequest(true, 0, 0, 400, 240));
    QCOMPARE(client.drain(200), QByteArray());
}

void TestSimRfb::oddReplies_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("expected");
    using Odd = SimOptions::Odd;
    QTest::newRow("bell") << int(Odd::Bell) << hex("02");
    QTest::newRow("cuttext") << int(Odd::CutText) << hex("0300000000000012") + "SOLMIR-3 clipboard";
    QTest::newRow("colourmap") << int(Odd::ColourMap) << hex("010000000001ffff00000000");
    QTest::newRow("unknown") << int(Odd::Unknown) << hex("c8000000");
    QTest::newRow("copyrect") << int(Odd::CopyRect)
                              << hex("0000000100000000002000100000000100000000");
    QTest::newRow("zerorects") << int(Odd::ZeroRects) << hex("00000000");
    QTest::newRow("hugerect") << int(Odd::HugeRect)
                              << hex("0000000100000000ffffffff00000000") + QByteArray(64, '\0');
    QTest::newRow("hugecuttext") << int(Odd::HugeCutText)
                                 << hex("030000007fffffff") + "SOLMIR-3 overflow";
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
    SimTestClient client;
    const auto server = client.startDevice("127.4.1.12", o);
    QVERIFY(server);
    // Requests 2 and 3 get the odd reply, 1 and 4 a normal update.
    expectUpdate(client, *server, QRect(0, 0, 32, 16));
    for (int i = 0; i < 2; ++i) {
        client.write(SimTestClient::updateRequest(false, 0, 0, 32, 16));
        QCOMPARE(client.read(expected.size()).toHex(), expected.toHex());
    }
    expectUpdate(client, *server, QRect(0, 0, 32, 16));
    QVERIFY(client.isOpen());
}

void TestSimRfb::closeAndStallAfterUpdates_data()
{
    QTest::addColumn<bool>("close");
    QTest::newRow("close after 2") << true;
    QTest::newRow("stall after 2") << false;
}

void TestSimRfb::closeAndStallAfterUpdates()
{
    QFETCH(bool, close);
    SimOptions o;
    o.screenSize = QSize(16, 16);
    (close ? o.closeAfterUpdates : o.stallAfterUpdates) = 2;
    SimTestClient client;
    const auto server = client.startDevice("127.4.1.13", o);
    QVERIFY(server);
    expectUpdate(client, *server, QRect(0, 0, 16, 16));
    QVERIFY(client.isOpen());
    expectUpdate(client, *server, QRect(0, 0, 16, 16));
    client.write(SimTestClient::updateRequest(false, 0, 0, 16, 16));
    QCOMPARE(client.drain(300), QByteArray());
    QCOMPARE(client.isOpen(), !close);
    QCOMPARE(server->updatesSent(), 2);
}

void TestSimRfb::clientMessagesRecordedByteExact()
{
    SimTestClient client;
    const auto server = client.startDevice("127.4.1.17");
    QVERIFY(server);
    QSignalSpy spy(server.get(), SIGNAL(clientMessage(QByteArray)));
    const QByteArrayList sent = {
        hex("0000000010100001001f003f001f0b0500000000"), // SetPixelFormat
        hex("020000020000000000000001"),                 // SetEncodings
        hex("0401000000000061"),                         // KeyEvent down, up
        hex("0400000000000061"),
        hex("050100640032"), // PointerEvent
        hex("0600000000000003") + "abc",
    };
    const QByteArray all = sent.join();
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
    client.write(hex("0600000000030d40") + QByteArray(200000, 'x') + hex("0401000000000062"));
    QTRY_COMPARE(server->clientMessages().size(), 2);
    QCOMPARE(server->clientMessages().at(0).toHex(), QByteArray("0600000000030d40"));
    QCOMPARE(server->clientMessages().at(1).toHex(), QByteArray("0401000000000062"));
}

QTEST_MAIN(TestSimRfb)
#include "tst_simrfb.moc"
