// The road into a session: connecting, the handshake, authentication, refusals, and leaving again.
#include "appfixture.h"
#include "messageboxwatcher.h"
#include "rfbfakeserver.h"
#include "rfbsessionharness.h"

#include "remote/rfbprotocol.h"
#include "remote/vnccipher.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QString connectedText = QStringLiteral("Связь установлена.");
const QString failedText = QStringLiteral("Ошибка подключения!");
const QString noLinkText = QStringLiteral("Нет связи.");

QImage stripes(QSize size)
{
    QImage image(size, QImage::Format_RGB16);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<quint16*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = quint16((x * 2048 + y * 32 + x) & 0xFFFF);
    }
    return image;
}

} // namespace

class TestHvncConnect : public QObject
{
    Q_OBJECT
private slots:
    void noneIsPreferredAndTheScreenArrives();
    void rightPasswordAuthenticates();
    void wrongPasswordShowsOneBoxAndEndsIdle();
    void cancelledPasswordShowsNoBox();
    void disconnectDuringThePasswordPromptReturns();
    void olderVersionsAreRefused_data();
    void olderVersionsAreRefused();
    void noSecurityTypesIsRefused();
    void refusedConnectionShowsExactlyOneBox();
    void reconnectingWhileConnectedStartsAfresh();
    void socketErrorTexts();
    void stopWithoutStartDoesNothing();
    void secondStartKeepsOneWorker();
    void destructionEndsABlockedWorker();
    void destructionEndsAPasswordWait();
    void destructionInterruptsAStalledReceive();
};

void TestHvncConnect::noneIsPreferredAndTheScreenArrives()
{
    const QString address = QStringLiteral("127.3.1.1");
    RfbFakeServer server;
    server.securityTypes = QByteArray::fromHex("0201");
    server.frame = stripes(server.screenSize);
    QVERIFY(server.listen(QHostAddress(address)));
    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);
    QSignalSpy password(harness.session, SIGNAL(neetToInputPassword()));

    QVERIFY(!harness.session->isReady());
    harness.connectSession();
    QVERIFY(harness.waitForAction(HVNC::Exchange));
    QVERIFY(harness.waitFor([&]() { return harness.session->isReady() && harness.updates > 0; }));

    QCOMPARE(password.count(), 0);
    QCOMPARE(server.chosenSecurity(), QByteArray(1, char(1)));
    QCOMPARE(server.clientVersion(), QByteArray("RFB 003.008\n"));
    QCOMPARE(server.clientInit(), QByteArray(1, char(1)));
    QCOMPARE(harness.actions.mid(0, 3),
             (QList<int>{HVNC::Connect, HVNC::Configure, HVNC::Exchange}));
    QCOMPARE(harness.session->frameSize(), QSize(32, 16));
    const QList<QByteArray> sent = server.messages();
    QVERIFY(sent.size() >= 5);
    QCOMPARE(sent.at(0).toHex(' '),
             QByteArray("00 00 00 00 10 10 00 01 00 1f 00 3f 00 1f 0b 05 00 00 00 00"));
    for (int i = 1; i < sent.size(); ++i)
        QCOMPARE(sent.at(i).toHex(' '), QByteArray("03 00 00 00 00 00 00 20 00 10"));
    for (int y = 0; y < 16; y += 5) {
        for (int x = 0; x < 32; x += 3)
            QCOMPARE(harness.pixel(x, y),
                     reinterpret_cast<const quint16*>(server.frame.constScanLine(y))[x]);
    }
    QCOMPARE(harness.connectStates, QList<bool>{true});
    QVERIFY(harness.statuses.contains(QStringLiteral("Подключение к 127.3.1.1 ...")));
    QVERIFY(harness.statuses.contains(QStringLiteral("Установка соединения ...")));
    QCOMPARE(harness.statuses.last(), connectedText);

    // The operator disconnects: no box, back to Idle, the device sees the socket close.
    harness.disconnectSession();
    QVERIFY(harness.waitForIdleAfter());
    QVERIFY(RfbSessionHarness::waitFor([&]() { return server.disconnectionCount() == 1; }));
    QVERIFY(!harness.session->isReady());
    QCOMPARE(harness.connectStates.last(), false);
    QCOMPARE(harness.statuses.last(), noLinkText);
    QTest::qWait(200);
    QCOMPARE(boxes.count(), 0);
}

void TestHvncConnect::rightPasswordAuthenticates()
{
    const QString address = QStringLiteral("127.3.1.2");
    RfbFakeServer server;
    server.securityTypes = QByteArray::fromHex("02");
    server.password = QStringLiteral("secret");
    QVERIFY(server.listen(QHostAddress(address)));
    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);
    harness.passwordAnswer = QStringLiteral("secret");

    harness.connectSession();
    QVERIFY(harness.waitForAction(HVNC::Exchange));
    QCOMPARE(harness.passwordRequests, 1);
    QCOMPARE(server.chosenSecurity(), QByteArray(1, char(2)));
    QCOMPARE(server.authResponse(), vncResponse(server.challenge, QStringLiteral("secret")));
    QVERIFY(harness.waitFor([&]() { return harness.session->isReady(); }));
    QCOMPARE(boxes.count(), 0);
}

void TestHvncConnect::wrongPasswordShowsOneBoxAndEndsIdle()
{
    const QString address = QStringLiteral("127.3.1.3");
    RfbFakeServer server;
    server.securityTypes = QByteArray::fromHex("02");
    server.password = QStringLiteral("secret");
    QVERIFY(server.listen(QHostAddress(address)));
    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);
    harness.passwordAnswer = QStringLiteral("guess");

    harness.connectSession();
    QVERIFY(harness.waitForIdleAfter());
    QVERIFY(boxes.waitForCount(1));
    QTest::qWait(300);
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Введен неверный пароль!")});
    QCOMPARE(boxes.boxes().first().icon, QMessageBox::Critical);
    QCOMPARE(boxes.boxes().first().title, QStringLiteral("Сообщение АРМ СОЛМИР-3"));
    QVERIFY(harness.statuses.contains(failedText));
    QCOMPARE(harness.statuses.last(), noLinkText);
    QCOMPARE(harness.session->action(), int(HVNC::Idle));
    QVERIFY(!harness.session->isReady());
}

void TestHvncConnect::cancelledPasswordShowsNoBox()
{
    const QString address = QStringLiteral("127.3.1.4");
    RfbFakeServer server;
    server.securityTypes = QByteArray::fromHex("02");
    server.password = QStringLiteral("secret");
    QVERIFY(server.listen(QHostAddress(address)));
    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);
    harness.passwordAnswer = QStringLiteral("secret");
    harness.passwordAccepted = false;

    harness.connectSession();
    QVERIFY(harness.waitForIdleAfter());
    QTest::qWait(300);
    QCOMPARE(boxes.count(), 0);
    QCOMPARE(harness.passwordRequests, 1);
    QVERIFY(server.chosenSecurity().isEmpty());
    QVERIFY(harness.statuses.contains(failedText));
    QCOMPARE(harness.statuses.last(), noLinkText);
}

void TestHvncConnect::disconnectDuringThePasswordPromptReturns()
{
    const QString address = QStringLiteral("127.3.1.14");
    RfbFakeServer server;
    server.securityTypes = QByteArray::fromHex("02");
    QVERIFY(server.listen(QHostAddress(address)));
    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);
    disconnect(harness.session, SIGNAL(neetToInputPassword()), &harness, nullptr);
    QSignalSpy prompt(harness.session, SIGNAL(neetToInputPassword()));
    harness.connectSession();
    QVERIFY(prompt.wait(10000));
    // Would block for good if the worker kept waiting for an answer that cannot come.
    harness.disconnectSession();
    QVERIFY(harness.waitForIdleAfter());
    QVERIFY(server.chosenSecurity().isEmpty());
    QTest::qWait(200);
    QCOMPARE(boxes.count(), 0);
    QCOMPARE(harness.statuses.last(), noLinkText);
}

void TestHvncConnect::olderVersionsAreRefused_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QByteArray>("version");
    QTest::newRow("3.3") << QStringLiteral("127.3.1.5") << QByteArray("RFB 003.003\n");
    QTest::newRow("3.7") << QStringLiteral("127.3.1.6") << QByteArray("RFB 003.007\n");
}

void TestHvncConnect::olderVersionsAreRefused()
{
    QFETCH(QString, address);
    QFETCH(QByteArray, version);
    RfbFakeServer server;
    server.version = version;
    QVERIFY(server.listen(QHostAddress(address)));
    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);

    harness.connectSession();
    QVERIFY(harness.waitForIdleAfter());
    QVERIFY(boxes.waitForCount(1));
    QTest::qWait(300);
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral(
                                "Ошибка подключения к серверу: «Неизвестная ошибка сокета» !")});
    QVERIFY(server.clientVersion().isEmpty());
    QVERIFY(!harness.connectStates.contains(true));
}

void TestHvncConnect::noSecurityTypesIsRefused()
{
    const QString address = QStringLiteral("127.3.1.7");
    RfbFakeServer server;
    server.securityTypes.clear();
    QVERIFY(server.listen(QHostAddress(address)));
    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);

    harness.connectSession();
    QVERIFY(harness.waitForIdleAfter());
    QVERIFY(boxes.waitForCount(1));
    QTest::qWait(300);
    QCOMPARE(boxes.count(), 1);
    QVERIFY(boxes.texts().first().startsWith(QStringLiteral("Ошибка подключения к серверу")));
    QVERIFY(server.chosenSecurity().isEmpty());
}

void TestHvncConnect::refusedConnectionShowsExactlyOneBox()
{
    // Nothing listens here.
    const QString address = QStringLiteral("127.3.1.8");
    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);

    harness.connectSession();
    QVERIFY(harness.waitForIdleAfter());
    QVERIFY(boxes.waitForCount(1));
    QTest::qWait(500);
    QCOMPARE(boxes.count(), 1);
    QVERIFY2(boxes.texts().first().contains(QStringLiteral("Таймаут ожидания ответа от сервера")),
             qPrintable(boxes.texts().first()));
    QVERIFY(harness.statuses.contains(QStringLiteral("Подключение к 127.3.1.8 ...")));
    QVERIFY(harness.statuses.contains(failedText));

    // A later attempt is a new attempt: once the device is up, the session gets through.
    RfbFakeServer server;
    QVERIFY(server.listen(QHostAddress(address)));
    harness.actions.clear();
    harness.connectSession();
    QVERIFY(harness.waitForAction(HVNC::Exchange));
    QCOMPARE(boxes.count(), 1);
}

void TestHvncConnect::reconnectingWhileConnectedStartsAfresh()
{
    const QString address = QStringLiteral("127.3.1.9");
    RfbFakeServer server;
    QVERIFY(server.listen(QHostAddress(address)));
    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);

    harness.connectSession();
    QVERIFY(harness.waitForAction(HVNC::Exchange));
    harness.actions.clear();
    harness.connectSession();
    QVERIFY(harness.waitForAction(HVNC::Exchange));
    QVERIFY(RfbSessionHarness::waitFor([&]() { return server.connectionCount() == 2; }));
    QVERIFY(harness.waitFor([&]() { return harness.session->isReady(); }));
    QCOMPARE(boxes.count(), 0);
}

void TestHvncConnect::socketErrorTexts()
{
    QCOMPARE(HVNC::socketErrorText(QAbstractSocket::UnknownSocketError),
             QStringLiteral("Неизвестная ошибка сокета"));
    QCOMPARE(HVNC::socketErrorText(QAbstractSocket::ConnectionRefusedError),
             QStringLiteral("Таймаут ожидания ответа от сервера"));
    QCOMPARE(HVNC::socketErrorText(QAbstractSocket::RemoteHostClosedError),
             QStringLiteral("Сервер закрыл соединение"));
    QCOMPARE(HVNC::socketErrorText(QAbstractSocket::SocketAccessError),
             QStringLiteral("Нет дуступа"));
    QCOMPARE(HVNC::socketErrorText(QAbstractSocket::SocketTimeoutError),
             QStringLiteral("Таймаут выполнения операции"));
    QCOMPARE(HVNC::socketErrorText(QAbstractSocket::TemporaryError),
             QStringLiteral("Временная ошибка сокета"));
    QCOMPARE(HVNC::socketErrorText(QAbstractSocket::SocketError(42)), QStringLiteral("Ошибка №42"));
    // Every known value has a text of its own.
    QSet<QString> texts;
    for (int value = -1; value <= 22; ++value)
        texts.insert(HVNC::socketErrorText(QAbstractSocket::SocketError(value)));
    QCOMPARE(texts.size(), 24);
}

void TestHvncConnect::stopWithoutStartDoesNothing()
{
    solmirtest::createSingletons();
    HVNC session;
    session.stop();
    session.stop();
    QCOMPARE(session.action(), int(HVNC::Idle));
    QVERIFY(!session.isReady());
    QCOMPARE(session.image()->size(), QSize(10, 10));
}

void TestHvncConnect::secondStartKeepsOneWorker()
{
    const QString address = QStringLiteral("127.3.1.10");
    RfbFakeServer server;
    QVERIFY(server.listen(QHostAddress(address)));
    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);
    harness.session->start();
    harness.session->start();
    harness.connectSession();
    QVERIFY(harness.waitForAction(HVNC::Exchange));
    QVERIFY(harness.waitFor([&]() { return server.requestCount() >= 6; }));
    // One worker, one connection, requests strictly one after another.
    QCOMPARE(server.connectionCount(), 1);
    QCOMPARE(harness.actions.count(HVNC::Exchange), 1);
    QTest::qWait(200);
    QCOMPARE(boxes.count(), 0);
}

void TestHvncConnect::destructionEndsABlockedWorker()
{
    const QString address = QStringLiteral("127.3.1.11");
    RfbFakeServer server;
    QVERIFY(server.listen(QHostAddress(address)));
    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);
    harness.connectSession();
    QVERIFY(harness.waitForAction(HVNC::Exchange));
    // Stop serving the GUI thread so that the worker blocks in its next updateDisplay().
    const int before = server.requestCount();
    QTest::qSleep(400);
    QVERIFY(server.requestCount() >= before);
    harness.deleteSession();
    QVERIFY(harness.session == nullptr);
    QTest::qWait(200);
    QCOMPARE(boxes.count(), 0);
}

void TestHvncConnect::destructionEndsAPasswordWait()
{
    const QString address = QStringLiteral("127.3.1.12");
    RfbFakeServer server;
    server.securityTypes = QByteArray::fromHex("02");
    QVERIFY(server.listen(QHostAddress(address)));
    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);
    // Nobody answers the prompt.
    disconnect(harness.session, SIGNAL(neetToInputPassword()), &harness, nullptr);
    QSignalSpy prompt(harness.session, SIGNAL(neetToInputPassword()));
    harness.connectSession();
    QVERIFY(prompt.wait(10000));
    harness.deleteSession();
    QVERIFY(harness.session == nullptr);
    QTest::qWait(200);
    QCOMPARE(boxes.count(), 0);
}

void TestHvncConnect::destructionInterruptsAStalledReceive()
{
    const QString address = QStringLiteral("127.3.1.13");
    RfbFakeServer server;
    server.stallAfterUpdates = 4;
    QVERIFY(server.listen(QHostAddress(address)));
    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);
    harness.session->setTimeout(120000);
    harness.connectSession();
    QVERIFY(harness.waitForAction(HVNC::Exchange));
    QVERIFY(harness.waitFor([&]() { return server.requestCount() >= 5; }));
    QTest::qWait(100);
    // The receive would wait two minutes for its bytes; ending the session must not.
    QElapsedTimer clock;
    clock.start();
    harness.deleteSession();
    QVERIFY2(clock.elapsed() < 60000, "the stalled receive was waited out");
    QTest::qWait(200);
    QCOMPARE(boxes.count(), 0);
}

QTEST_MAIN(TestHvncConnect)
#include "tst_hvnc_connect.moc"
