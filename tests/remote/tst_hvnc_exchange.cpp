// Working with a connected device: screen updates, odd server messages, failures, and the input
// queue.
#include "messageboxwatcher.h"
#include "rfbfakeserver.h"
#include "rfbsessionharness.h"

#include "remote/rfbprotocol.h"

#include <QtTest>

namespace {

constexpr quint16 red = 0xF800;
constexpr quint16 green = 0x07E0;
constexpr quint16 blue = 0x001F;

// Requests 1 to 3 belong to Configure; the first of Exchange is number 4.
constexpr int firstExchangeRequest = 4;

QByteArray solidRect(int x, int y, int w, int h, quint16 pixel)
{
    return RfbFakeServer::rawRectangle(x, y, w, h, RfbFakeServer::solidPixels(w * h, pixel));
}

QByteArray key(quint32 keysym, bool down = true)
{
    return rfb::keyEvent(down, keysym);
}

bool reachesExchange(RfbSessionHarness& harness)
{
    return harness.waitForAction(HVNC::Exchange) &&
           harness.waitFor([&]() { return harness.session->isReady(); });
}

} // namespace

class TestHvncExchange : public QObject
{
    Q_OBJECT
private slots:
    void updates_data();
    void updates();
    void otherMessagesAreFailedAttemptsThatRecover();
    void failures_data();
    void failures();
    void inputQueue();
};

void TestHvncExchange::updates_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("oneByte");
    QTest::newRow("whole replies") << QStringLiteral("127.3.2.3") << false;
    QTest::newRow("one byte at a time") << QStringLiteral("127.3.2.5") << true;
}

void TestHvncExchange::updates()
{
    QFETCH(QString, address);
    QFETCH(bool, oneByte);
    RfbFakeServer server;
    server.oneBytePerWrite = oneByte;
    server.securityTypes = QByteArray::fromHex(oneByte ? "02" : "01");
    server.password = QStringLiteral("pw");
    // Several rectangles, one partly outside; every other update carries no rectangle at all.
    // Clipping, wrapped positions and empty rectangles are tst_serverreader's rows.
    server.reply = [](int request) {
        if (request % 2)
            return RfbFakeServer::update({});
        return RfbFakeServer::update({solidRect(0, 0, 32, 16, blue), solidRect(0, 8, 8, 8, green),
                                      solidRect(24, 12, 16, 8, red)});
    };
    QVERIFY(server.listen(QHostAddress(address)));
    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);
    harness.passwordAnswer = QStringLiteral("pw");
    harness.connectSession();
    QVERIFY(reachesExchange(harness));
    QVERIFY(harness.waitFor([&]() { return harness.updates >= 3; }));
    QCOMPARE(harness.session->frameSize(), QSize(32, 16));
    QCOMPARE(harness.pixel(0, 8), green);
    QCOMPARE(harness.pixel(7, 15), green);
    QCOMPARE(harness.pixel(8, 8), blue);
    QCOMPARE(harness.pixel(24, 12), red);
    QCOMPARE(harness.pixel(31, 15), red);
    QCOMPARE(harness.pixel(23, 12), blue);
    QCOMPARE(harness.pixel(24, 11), blue);
    if (!oneByte) {
        // Never more than one whole-screen request per 100 ms, however fast the server answers.
        const int requests = server.requestCount();
        QTest::qWait(1000);
        const int passes = server.requestCount() - requests;
        QVERIFY2(passes >= 1 && passes <= 11, qPrintable(QString::number(passes)));
    }
    QCOMPARE(harness.session->action(), int(HVNC::Exchange));
    QCOMPARE(boxes.count(), 0);
}

void TestHvncExchange::otherMessagesAreFailedAttemptsThatRecover()
{
    // Each kind answers two requests in a row, then a whole update follows; the screen turns
    // green only after the last of them.
    // How each kind is read is tst_serverreader's.
    const QList<QByteArray> odd{
        QByteArray::fromHex("02"), QByteArray::fromHex("0300000000000005") + "hello",
        RfbFakeServer::update({RfbFakeServer::rectangleHeader(0, 0, 4, 4, 1)}) +
            QByteArray::fromHex("00000000")};
    const int lastOdd = firstExchangeRequest + 3 * odd.size();
    const QString address = QStringLiteral("127.3.2.10");
    RfbFakeServer server;
    server.reply = [odd, lastOdd](int request) {
        const int step = request - firstExchangeRequest - 1;
        if (step >= 0 && request <= lastOdd && step % 3 < 2)
            return odd.at(step / 3);
        return RfbFakeServer::update({solidRect(0, 0, 32, 16, request > lastOdd ? green : red)});
    };
    QVERIFY(server.listen(QHostAddress(address)));
    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);
    harness.connectSession();
    QVERIFY(harness.waitForAction(HVNC::Exchange));
    QVERIFY(harness.waitFor([&]() { return server.requestCount() > lastOdd; }));
    QVERIFY(harness.waitFor([&]() { return harness.pixel(3, 3) == green; }));
    QCOMPARE(harness.session->action(), int(HVNC::Exchange));
    QVERIFY(harness.session->isReady());
    QCOMPARE(boxes.count(), 0);
    QVERIFY(!harness.statuses.contains(QStringLiteral("Ошибка подключения!")));
}

void TestHvncExchange::failures_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("text");
    QTest::newRow("five failed attempts") << QStringLiteral("127.3.2.20") << QStringLiteral("bells")
                                          << QStringLiteral("Ошибка обмена!");
    QTest::newRow("server closes")
        << QStringLiteral("127.3.2.21") << QStringLiteral("close")
        << QStringLiteral("Ошибка: «%1» !")
               .arg(HVNC::socketErrorText(QAbstractSocket::RemoteHostClosedError));
    QTest::newRow("server stalls") << QStringLiteral("127.3.2.22") << QStringLiteral("stall")
                                   << QStringLiteral("Ошибка обмена!");
}

void TestHvncExchange::failures()
{
    QFETCH(QString, address);
    QFETCH(QString, failure);
    QFETCH(QString, text);
    RfbFakeServer server;
    if (failure == QLatin1String("bells"))
        server.reply = [](int request) {
            return request > firstExchangeRequest ? QByteArray::fromHex("02") : QByteArray();
        };
    else if (failure == QLatin1String("close"))
        server.closeAfterUpdates = firstExchangeRequest + 2;
    else
        server.stallAfterUpdates = firstExchangeRequest;
    QVERIFY(server.listen(QHostAddress(address)));
    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);
    harness.session->setTimeout(300);
    harness.connectSession();
    QVERIFY(harness.waitForAction(HVNC::Exchange));
    QVERIFY(harness.waitForIdleAfter());
    QVERIFY(boxes.waitForCount(1));
    QTest::qWait(300);
    QCOMPARE(boxes.texts(), QStringList{text});
    if (failure != QLatin1String("close"))
        QCOMPARE(server.requestCount(), firstExchangeRequest + 5);
    const int failed = harness.statuses.lastIndexOf(QStringLiteral("Ошибка подключения!"));
    QVERIFY(failure != QLatin1String("close") || failed >= 0);
    QVERIFY(harness.statuses.indexOf(QStringLiteral("Нет связи."), failed) > failed);
    QCOMPARE(harness.statuses.last(), QStringLiteral("Нет связи."));
    QCOMPARE(harness.connectStates.last(), false);
    QVERIFY(!harness.session->isReady());
}

void TestHvncExchange::inputQueue()
{
    const QString address = QStringLiteral("127.3.2.30");
    RfbFakeServer server;
    QVERIFY(server.listen(QHostAddress(address)));
    RfbSessionHarness harness(address);
    // Neither input while disconnected nor input queued while the worker configures the
    // connection (it is connected by then) may ever reach the device.
    QVERIFY(!harness.session->sendMessage(key(0x62), 0));
    int queued = 0;
    QObject::connect(harness.session, &HVNC::actionChanged, &harness, [&](int action) {
        for (; action == HVNC::Configure && queued < 3; ++queued)
            harness.session->sendMessage(key(0x71), 0);
    });
    harness.connectSession();
    QVERIFY(reachesExchange(harness));
    QCOMPARE(queued, 3);

    harness.session->sendMessage(key(0x61), 0);
    harness.session->sendMessage(key(0x61, false), 0);
    harness.session->sendMessage(rfb::pointerEvent(1, 100, 50), 0);
    // A key that maps to nothing still travels as bytes without harm.
    harness.session->sendMessage(key(0xFFFFFFFFu), 0);
    QVERIFY(harness.waitFor([&]() { return server.messagesOfType(4).size() == 3; }));
    QCOMPARE(
        server.messagesOfType(4),
        (QList<QByteArray>{key(0x61), key(0x61, false), QByteArray::fromHex("04010000ffffffff")}));
    QCOMPARE(server.messagesOfType(5), QList<QByteArray>{QByteArray::fromHex("050100640032")});
    // After the pixel format nothing but input and whole-screen requests goes to the device.
    QCOMPARE(int(server.messages().first().at(0)), 0);
    for (const QByteArray& message : server.messages().mid(1))
        QVERIFY(message.at(0) == 3 || message.at(0) == 4 || message.at(0) == 5);

    // The worker stands still inside updateDisplay(), so all twelve wait in the queue. The
    // sender learns which message the twelfth pushed out.
    server.clearMessages();
    QList<QByteArray> pushedOut;
    harness.onUpdateHook = [&harness, &pushedOut]() {
        harness.onUpdateHook = nullptr;
        for (quint32 i = 1; i <= 12; ++i)
            QVERIFY(harness.session->sendMessage(key(0x30 + i), 0, &pushedOut));
    };
    QVERIFY(harness.waitFor([&]() { return server.messagesOfType(4).size() >= 11; }));
    QTest::qWait(300);
    QList<QByteArray> expected;
    for (quint32 i = 2; i <= 12; ++i)
        expected << key(0x30 + i);
    QCOMPARE(server.messagesOfType(4), expected);
    QCOMPARE(pushedOut, QList<QByteArray>{key(0x31)});

    // Of a run of motion only the newest position travels.
    server.clearMessages();
    harness.onUpdateHook = [&harness]() {
        harness.onUpdateHook = nullptr;
        harness.session->sendMessage(rfb::pointerEvent(1, 1, 1), 0);
        for (int i = 2; i <= 9; ++i)
            harness.session->sendMessage(rfb::pointerEvent(1, i, i), 1);
        harness.session->sendMessage(rfb::pointerEvent(0, 9, 9), 0);
    };
    QVERIFY(harness.waitFor([&]() { return server.messagesOfType(5).size() >= 3; }));
    QTest::qWait(300);
    QCOMPARE(server.messagesOfType(5),
             (QList<QByteArray>{rfb::pointerEvent(1, 1, 1), rfb::pointerEvent(1, 9, 9),
                                rfb::pointerEvent(0, 9, 9)}));

    // Input after a disconnect is dropped; the next connection starts with an empty queue.
    harness.disconnectSession();
    QVERIFY(harness.waitForIdleAfter());
    harness.session->sendMessage(key(0x63), 0);
    server.clearMessages();
    harness.actions.clear();
    harness.connectSession();
    QVERIFY(reachesExchange(harness));
    harness.session->sendMessage(key(0x64), 0);
    QVERIFY(harness.waitFor([&]() { return !server.messagesOfType(4).isEmpty(); }));
    QTest::qWait(300);
    QCOMPARE(server.messagesOfType(4), QList<QByteArray>{key(0x64)});
}

QTEST_MAIN(TestHvncExchange)
#include "tst_hvnc_exchange.moc"
