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
constexpr quint16 white = 0xFFFF;

// Requests 1 to 3 belong to Configure; the first of Exchange is number 4.
constexpr int firstExchangeRequest = 4;

QByteArray solidRect(int x, int y, int w, int h, quint16 pixel)
{
    return RfbFakeServer::rawRectangle(x, y, w, h, RfbFakeServer::solidPixels(w * h, pixel));
}

QByteArray key(bool down, quint32 keysym)
{
    return rfb::keyEvent(down, keysym);
}

} // namespace

class TestHvncExchange : public QObject
{
    Q_OBJECT
private slots:
    // updates
    void severalRectanglesLandAtTheirPositions();
    void updateWithoutRectanglesIsASuccessfulPass();
    void rectanglesPartlyOutsideAreClipped();
    void requestsComeAtMostEveryHundredMilliseconds();
    void everyReplyOneByteAtATime();
    // odd server messages and failures
    void otherMessagesAreFailedAttemptsThatRecover_data();
    void otherMessagesAreFailedAttemptsThatRecover();
    void fiveFailedAttemptsEndTheConnection();
    void serverClosingDuringExchange();
    void stalledServerTimesOut();
    // input
    void inputIsSentBeforeTheNextRequest();
    void queueKeepsTheNewestElevenInOrder();
    void pointerMotionIsCoalesced();
    void inputBeforeConfigurationIsNeverSent();
    void inputWhileDisconnectedIsDropped();
};

void TestHvncExchange::severalRectanglesLandAtTheirPositions()
{
    const QString address = QStringLiteral("127.3.2.1");
    RfbFakeServer server;
    server.screenSize = QSize(32, 16);
    server.reply = [](int) {
        return RfbFakeServer::update({solidRect(0, 0, 16, 8, red), solidRect(16, 0, 16, 8, green),
                                      solidRect(0, 8, 16, 8, blue),
                                      solidRect(16, 8, 16, 8, white)});
    };
    QVERIFY(server.listen(QHostAddress(address)));
    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);
    harness.connectSession();
    QVERIFY(harness.waitForAction(HVNC::Exchange));
    QVERIFY(harness.waitFor([&]() { return harness.updates >= 1; }));
    QCOMPARE(harness.pixel(0, 0), red);
    QCOMPARE(harness.pixel(15, 7), red);
    QCOMPARE(harness.pixel(16, 0), green);
    QCOMPARE(harness.pixel(31, 7), green);
    QCOMPARE(harness.pixel(0, 8), blue);
    QCOMPARE(harness.pixel(15, 15), blue);
    QCOMPARE(harness.pixel(16, 8), white);
    QCOMPARE(harness.pixel(31, 15), white);
    QCOMPARE(boxes.count(), 0);
}

void TestHvncExchange::updateWithoutRectanglesIsASuccessfulPass()
{
    const QString address = QStringLiteral("127.3.2.2");
    RfbFakeServer server;
    server.reply = [](int) { return RfbFakeServer::update({}); };
    QVERIFY(server.listen(QHostAddress(address)));
    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);
    harness.connectSession();
    QVERIFY(harness.waitForAction(HVNC::Exchange));
    QVERIFY(harness.waitFor([&]() { return harness.updates >= 3; }));
    QVERIFY(harness.session->isReady());
    QCOMPARE(harness.session->action(), int(HVNC::Exchange));
    QCOMPARE(boxes.count(), 0);
}

void TestHvncExchange::rectanglesPartlyOutsideAreClipped()
{
    const QString address = QStringLiteral("127.3.2.3");
    RfbFakeServer server;
    server.screenSize = QSize(32, 16);
    server.reply = [](int) {
        return RfbFakeServer::update({solidRect(0, 0, 32, 16, blue), solidRect(24, 12, 16, 8, red),
                                      solidRect(65530, 0, 10, 2, green),
                                      solidRect(0, 65535, 4, 4, green), solidRect(5, 5, 0, 7, red),
                                      solidRect(5, 5, 7, 0, red)});
    };
    QVERIFY(server.listen(QHostAddress(address)));
    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);
    harness.connectSession();
    QVERIFY(harness.waitForAction(HVNC::Exchange));
    QVERIFY(harness.waitFor([&]() { return harness.updates >= 2; }));
    QCOMPARE(harness.pixel(24, 12), red);
    QCOMPARE(harness.pixel(31, 15), red);
    QCOMPARE(harness.pixel(23, 12), blue);
    QCOMPARE(harness.pixel(24, 11), blue);
    // Wrapped 16-bit coordinates must not land at the left or top edge.
    QCOMPARE(harness.pixel(0, 0), blue);
    QCOMPARE(harness.pixel(3, 0), blue);
    QCOMPARE(harness.pixel(5, 5), blue);
    QCOMPARE(harness.session->action(), int(HVNC::Exchange));
    QCOMPARE(boxes.count(), 0);
}

void TestHvncExchange::requestsComeAtMostEveryHundredMilliseconds()
{
    const QString address = QStringLiteral("127.3.2.4");
    RfbFakeServer server;
    QVERIFY(server.listen(QHostAddress(address)));
    RfbSessionHarness harness(address);
    harness.connectSession();
    QVERIFY(harness.waitForAction(HVNC::Exchange));
    QVERIFY(harness.waitFor([&]() { return harness.updates >= 1; }));
    const int requests = server.requestCount();
    QTest::qWait(1000);
    // Never more than one whole-screen request per 100 ms, however fast the server answers.
    const int passes = server.requestCount() - requests;
    QVERIFY2(passes >= 1 && passes <= 11, qPrintable(QString::number(passes)));
}

void TestHvncExchange::everyReplyOneByteAtATime()
{
    const QString address = QStringLiteral("127.3.2.5");
    RfbFakeServer server;
    server.oneBytePerWrite = true;
    server.securityTypes = QByteArray::fromHex("02");
    server.password = QStringLiteral("pw");
    server.screenSize = QSize(8, 4);
    server.reply = [](int) {
        return RfbFakeServer::update({solidRect(0, 0, 8, 2, red), solidRect(0, 2, 8, 2, green)});
    };
    QVERIFY(server.listen(QHostAddress(address)));
    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);
    harness.passwordAnswer = QStringLiteral("pw");
    harness.connectSession();
    QVERIFY(harness.waitForAction(HVNC::Exchange));
    QVERIFY(harness.waitFor([&]() { return harness.updates >= 3; }));
    QCOMPARE(harness.session->frameSize(), QSize(8, 4));
    QCOMPARE(harness.pixel(7, 1), red);
    QCOMPARE(harness.pixel(0, 2), green);
    QCOMPARE(boxes.count(), 0);
}

void TestHvncExchange::otherMessagesAreFailedAttemptsThatRecover_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QByteArray>("odd");
    QTest::newRow("bell") << QStringLiteral("127.3.2.10") << QByteArray::fromHex("02");
    QTest::newRow("cut text") << QStringLiteral("127.3.2.11")
                              << QByteArray::fromHex("03000000"
                                                     "00000005") +
                                     "hello";
    QTest::newRow("empty cut text") << QStringLiteral("127.3.2.12")
                                    << QByteArray::fromHex("03000000"
                                                           "00000000");
    QTest::newRow("colour map") << QStringLiteral("127.3.2.13")
                                << QByteArray::fromHex("01 00 0000 0002 ffff0000ffff 000000000000");
    QTest::newRow("unknown") << QStringLiteral("127.3.2.14") << QByteArray::fromHex("4d01020304");
    QTest::newRow("copy rect") << QStringLiteral("127.3.2.15")
                               << RfbFakeServer::update(
                                      {RfbFakeServer::rectangleHeader(0, 0, 4, 4, 1)}) +
                                      QByteArray::fromHex("00000000");
}

void TestHvncExchange::otherMessagesAreFailedAttemptsThatRecover()
{
    QFETCH(QString, address);
    QFETCH(QByteArray, odd);
    RfbFakeServer server;
    server.reply = [odd](int request) {
        if (request == firstExchangeRequest + 2 || request == firstExchangeRequest + 3)
            return odd;
        return RfbFakeServer::update({solidRect(0, 0, 32, 16, request > 8 ? green : red)});
    };
    QVERIFY(server.listen(QHostAddress(address)));
    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);
    harness.connectSession();
    QVERIFY(harness.waitForAction(HVNC::Exchange));
    QVERIFY(harness.waitFor([&]() { return server.requestCount() >= 10; }));
    QVERIFY(harness.waitFor([&]() { return harness.pixel(3, 3) == green; }));
    QCOMPARE(harness.session->action(), int(HVNC::Exchange));
    QVERIFY(harness.session->isReady());
    QCOMPARE(boxes.count(), 0);
    QVERIFY(!harness.statuses.contains(QStringLiteral("Ошибка подключения!")));
}

void TestHvncExchange::fiveFailedAttemptsEndTheConnection()
{
    const QString address = QStringLiteral("127.3.2.20");
    RfbFakeServer server;
    server.reply = [](int request) {
        return request > firstExchangeRequest ? QByteArray::fromHex("02") : QByteArray();
    };
    QVERIFY(server.listen(QHostAddress(address)));
    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);
    harness.connectSession();
    QVERIFY(harness.waitForAction(HVNC::Exchange));
    QVERIFY(harness.waitForIdleAfter());
    QVERIFY(boxes.waitForCount(1));
    QTest::qWait(300);
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Ошибка обмена!")});
    QCOMPARE(server.requestCount(), firstExchangeRequest + 5);
    QCOMPARE(harness.statuses.last(), QStringLiteral("Нет связи."));
    QCOMPARE(harness.connectStates.last(), false);
    QVERIFY(!harness.session->isReady());
}

void TestHvncExchange::serverClosingDuringExchange()
{
    const QString address = QStringLiteral("127.3.2.21");
    RfbFakeServer server;
    server.closeAfterUpdates = firstExchangeRequest + 2;
    QVERIFY(server.listen(QHostAddress(address)));
    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);
    harness.connectSession();
    QVERIFY(harness.waitForAction(HVNC::Exchange));
    QVERIFY(harness.waitForIdleAfter());
    QVERIFY(boxes.waitForCount(1));
    QTest::qWait(300);
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Ошибка: «Сервер закрыл соединение» !")});
    const int failed = harness.statuses.lastIndexOf(QStringLiteral("Ошибка подключения!"));
    QVERIFY(failed >= 0);
    QVERIFY(harness.statuses.indexOf(QStringLiteral("Нет связи."), failed) > failed);
    QVERIFY(!harness.session->isReady());
}

void TestHvncExchange::stalledServerTimesOut()
{
    const QString address = QStringLiteral("127.3.2.22");
    RfbFakeServer server;
    server.stallAfterUpdates = firstExchangeRequest;
    QVERIFY(server.listen(QHostAddress(address)));
    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);
    harness.session->setTimeout(600);
    QCOMPARE(harness.session->timeoutMs(), 600);
    harness.connectSession();
    QVERIFY(harness.waitForAction(HVNC::Exchange));
    QVERIFY(harness.waitForIdleAfter());
    QVERIFY(boxes.waitForCount(1));
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Ошибка обмена!")});
    QCOMPARE(server.requestCount(), firstExchangeRequest + 5);
}

void TestHvncExchange::inputIsSentBeforeTheNextRequest()
{
    const QString address = QStringLiteral("127.3.2.30");
    RfbFakeServer server;
    QVERIFY(server.listen(QHostAddress(address)));
    RfbSessionHarness harness(address);
    harness.connectSession();
    QVERIFY(harness.waitForAction(HVNC::Exchange));
    QVERIFY(harness.waitFor([&]() { return harness.session->isReady(); }));
    server.clearMessages();
    harness.session->sendMessage(key(true, 0x61), 0);
    harness.session->sendMessage(key(false, 0x61), 0);
    harness.session->sendMessage(rfb::pointerEvent(1, 100, 50), 0);
    QVERIFY(harness.waitFor([&]() { return server.messagesOfType(5).size() == 1; }));
    QList<QByteArray> input = server.messagesOfType(4) + server.messagesOfType(5);
    QCOMPARE(input, (QList<QByteArray>{key(true, 0x61), key(false, 0x61),
                                       QByteArray::fromHex("050100640032")}));
    // Nothing but input and whole-screen requests goes to the device.
    for (const QByteArray& message : server.messages())
        QVERIFY(message.at(0) == 3 || message.at(0) == 4 || message.at(0) == 5);
    // A key that maps to nothing still travels as bytes without harm.
    harness.session->sendMessage(key(true, 0xFFFFFFFFu), 0);
    QVERIFY(harness.waitFor([&]() { return server.messagesOfType(4).size() == 3; }));
    QCOMPARE(harness.session->action(), int(HVNC::Exchange));
}

void TestHvncExchange::queueKeepsTheNewestElevenInOrder()
{
    const QString address = QStringLiteral("127.3.2.31");
    RfbFakeServer server;
    QVERIFY(server.listen(QHostAddress(address)));
    RfbSessionHarness harness(address);
    harness.connectSession();
    QVERIFY(harness.waitForAction(HVNC::Exchange));
    QVERIFY(harness.waitFor([&]() { return harness.session->isReady(); }));
    server.clearMessages();
    // The worker stands still inside updateDisplay(), so all twelve wait in the queue.
    harness.onUpdateHook = [&harness]() {
        harness.onUpdateHook = nullptr;
        for (quint32 i = 1; i <= 12; ++i)
            harness.session->sendMessage(key(true, 0x30 + i), 0);
    };
    QVERIFY(harness.waitFor([&]() { return server.messagesOfType(4).size() >= 11; }));
    QTest::qWait(300);
    QList<QByteArray> expected;
    for (quint32 i = 2; i <= 12; ++i)
        expected << key(true, 0x30 + i);
    QCOMPARE(server.messagesOfType(4), expected);
}

void TestHvncExchange::pointerMotionIsCoalesced()
{
    const QString address = QStringLiteral("127.3.2.32");
    RfbFakeServer server;
    QVERIFY(server.listen(QHostAddress(address)));
    RfbSessionHarness harness(address);
    harness.connectSession();
    QVERIFY(harness.waitForAction(HVNC::Exchange));
    QVERIFY(harness.waitFor([&]() { return harness.session->isReady(); }));
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
}

void TestHvncExchange::inputBeforeConfigurationIsNeverSent()
{
    const QString address = QStringLiteral("127.3.2.33");
    RfbFakeServer server;
    QVERIFY(server.listen(QHostAddress(address)));
    RfbSessionHarness harness(address);
    // Queued while the worker configures the connection (it is connected by then).
    int queued = 0;
    QObject::connect(harness.session, &HVNC::actionChanged, &harness, [&](int action) {
        if (action != HVNC::Configure)
            return;
        for (int i = 0; i < 3; ++i, ++queued)
            harness.session->sendMessage(key(true, 0x71), 0);
    });
    harness.connectSession();
    QVERIFY(harness.waitForAction(HVNC::Exchange));
    QCOMPARE(queued, 3);
    QVERIFY(harness.waitFor([&]() { return harness.session->isReady(); }));
    harness.session->sendMessage(key(true, 0x61), 0);
    QVERIFY(harness.waitFor([&]() { return !server.messagesOfType(4).isEmpty(); }));
    QTest::qWait(300);
    QCOMPARE(server.messagesOfType(4), QList<QByteArray>{key(true, 0x61)});
}

void TestHvncExchange::inputWhileDisconnectedIsDropped()
{
    const QString address = QStringLiteral("127.3.2.34");
    RfbFakeServer server;
    QVERIFY(server.listen(QHostAddress(address)));
    RfbSessionHarness harness(address);
    harness.session->sendMessage(key(true, 0x62), 0);
    harness.connectSession();
    QVERIFY(harness.waitForAction(HVNC::Exchange));
    QVERIFY(harness.waitFor([&]() { return harness.session->isReady(); }));
    harness.disconnectSession();
    QVERIFY(harness.waitForIdleAfter());
    harness.session->sendMessage(key(true, 0x63), 0);
    // The next connection starts with an empty queue.
    harness.actions.clear();
    harness.connectSession();
    QVERIFY(harness.waitForAction(HVNC::Exchange));
    QVERIFY(harness.waitFor([&]() { return harness.session->isReady(); }));
    harness.session->sendMessage(key(true, 0x64), 0);
    QVERIFY(harness.waitFor([&]() { return !server.messagesOfType(4).isEmpty(); }));
    QTest::qWait(300);
    QCOMPARE(server.messagesOfType(4), QList<QByteArray>{key(true, 0x64)});
}

QTEST_MAIN(TestHvncExchange)
#include "tst_hvnc_exchange.moc"
