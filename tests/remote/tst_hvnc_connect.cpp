// The road into a session: connecting, the handshake, authentication, refusals, and leaving again.
#include "appfixture.h"
#include "logcapture.h"
#include "messageboxwatcher.h"
#include "rfbfakeserver.h"
#include "rfbsessionharness.h"

#include "remote/vnccipher.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <ctime>

namespace {

const QString failedText = QStringLiteral("Ошибка подключения!");
const QString noLinkText = QStringLiteral("Нет связи.");

// CPU time this process has used, all threads, in milliseconds.
qint64 processCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// TCP_NODELAY of each socket of this process whose peer is address:5900, read from its
// descriptor: the session's end of the connection (the peer's own end has that address as its
// local end, not as its peer).
QList<int> noDelayTowards(const QString& address)
{
    QList<int> values;
    const QStringList descriptors =
        QDir(QStringLiteral("/proc/self/fd"))
            .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : descriptors) {
        const int fd = name.toInt();
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0 ||
            peer.sin_family != AF_INET || ntohs(peer.sin_port) != 5900 ||
            QHostAddress(ntohl(peer.sin_addr.s_addr)) != QHostAddress(address))
            continue;
        int value = -1;
        socklen_t size = sizeof value;
        if (getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &value, &size) == 0)
            values << (value != 0 ? 1 : 0);
    }
    return values;
}

bool reachesExchange(RfbSessionHarness& harness)
{
    return harness.waitForAction(HVNC::Exchange) &&
           harness.waitFor([&]() { return harness.session->isReady(); });
}

} // namespace

class TestHvncConnect : public QObject
{
    Q_OBJECT
private slots:
    void noneIsPreferredAndTheScreenArrives();
    void password_data();
    void password();
    void refused_data();
    void refused();
    void failedSecurityResult_data();
    void failedSecurityResult();
    void refusedConnectionShowsExactlyOneBox();
    void secondStartAndReconnect();
    void socketErrorTexts();
    void idleAfterTheSessionEndsDoesNotSpin();
    void destructionEndsABlockedWorker();
    void endingCutsAWaitShort_data();
    void endingCutsAWaitShort();
};

void TestHvncConnect::noneIsPreferredAndTheScreenArrives()
{
    const QString address = QStringLiteral("127.3.1.1");
    RfbFakeServer server;
    server.securityTypes = QByteArray::fromHex("0201");
    server.frame = QImage(server.screenSize, QImage::Format_RGB16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x)
            reinterpret_cast<quint16*>(server.frame.scanLine(y))[x] = quint16(x * 2049 + y * 32);
    QVERIFY(server.listen(QHostAddress(address)));
    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);

    QVERIFY(!harness.session->isReady());
    harness.connectSession();
    QVERIFY(reachesExchange(harness));
    QVERIFY(harness.waitFor([&]() { return harness.updates > 0; }));
    QCOMPARE(harness.passwordRequests, 0);
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
    for (int y = 0; y < 16; y += 5)
        for (int x = 0; x < 32; x += 3)
            QCOMPARE(harness.pixel(x, y),
                     reinterpret_cast<const quint16*>(server.frame.constScanLine(y))[x]);
    QCOMPARE(harness.connectStates, QList<bool>{true});
    QVERIFY(harness.statuses.contains(QStringLiteral("Подключение к 127.3.1.1 ...")));
    QVERIFY(harness.statuses.contains(QStringLiteral("Установка соединения ...")));
    QCOMPARE(harness.statuses.last(), QStringLiteral("Связь установлена."));

    // The operator disconnects: no box, back to Idle, the device sees the socket close.
    harness.disconnectSession();
    QVERIFY(harness.waitForIdleAfter());
    QVERIFY(harness.waitFor([&]() { return server.disconnectionCount() == 1; }));
    QVERIFY(!harness.session->isReady());
    QCOMPARE(harness.connectStates.last(), false);
    QCOMPARE(harness.statuses.last(), noLinkText);
    QTest::qWait(200);
    QCOMPARE(boxes.count(), 0);
}

void TestHvncConnect::password_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("right") << QStringLiteral("127.3.1.2") << QStringLiteral("secret") << true
                           << QStringList();
    QTest::newRow("wrong") << QStringLiteral("127.3.1.3") << QStringLiteral("guess") << true
                           << QStringList{QStringLiteral("Введен неверный пароль!")};
    QTest::newRow("cancelled") << QStringLiteral("127.3.1.4") << QStringLiteral("secret") << false
                               << QStringList();
}

void TestHvncConnect::password()
{
    QFETCH(QString, address);
    QFETCH(QString, answer);
    QFETCH(bool, accepted);
    QFETCH(QStringList, texts);
    RfbFakeServer server;
    server.securityTypes = QByteArray::fromHex("02");
    server.password = QStringLiteral("secret");
    QVERIFY(server.listen(QHostAddress(address)));
    solmirtest::MessageBoxWatcher boxes;
    // Nothing of the secret reaches the record, not even with every detail turned on.
    LogCapture log(true);
    RfbSessionHarness harness(address);
    harness.passwordAnswer = answer;
    harness.passwordAccepted = accepted;

    harness.connectSession();
    if (accepted && texts.isEmpty()) {
        QVERIFY(reachesExchange(harness));
        QCOMPARE(server.authResponse(), vncResponse(server.challenge, QStringLiteral("secret")));
    } else {
        QVERIFY(harness.waitForIdleAfter());
        QVERIFY(boxes.waitForCount(texts.size()));
        QVERIFY(harness.statuses.contains(failedText));
        QCOMPARE(harness.statuses.last(), noLinkText);
        QVERIFY(!harness.session->isReady());
    }
    QCOMPARE(server.chosenSecurity(), accepted ? QByteArray(1, char(2)) : QByteArray());
    QCOMPARE(harness.passwordRequests, 1);
    const QString record = log.all().join('\n');
    QVERIFY(!record.isEmpty());
    for (const QByteArray& secret : {answer.toUtf8(), server.challenge, server.challenge.toHex(),
                                     server.authResponse(), server.authResponse().toHex()}) {
        if (!secret.isEmpty())
            QVERIFY2(!record.contains(QString::fromLatin1(secret)), secret.constData());
    }
    QTest::qWait(300);
    QCOMPARE(boxes.texts(), texts);
    if (!texts.isEmpty()) {
        QCOMPARE(boxes.boxes().first().icon, QMessageBox::Critical);
        QCOMPARE(boxes.boxes().first().title, QStringLiteral("Сообщение АРМ СОЛМИР-3"));
    }
}

void TestHvncConnect::refused_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<QByteArray>("types");
    const QByteArray none = QByteArray::fromHex("01");
    QTest::newRow("3.7") << QStringLiteral("127.3.1.6") << QByteArray("RFB 003.007\n") << none;
    QTest::newRow("no security types")
        << QStringLiteral("127.3.1.7") << QByteArray("RFB 003.008\n") << QByteArray();
}

void TestHvncConnect::refused()
{
    QFETCH(QString, address);
    QFETCH(QByteArray, version);
    QFETCH(QByteArray, types);
    RfbFakeServer server;
    server.version = version;
    server.securityTypes = types;
    QVERIFY(server.listen(QHostAddress(address)));
    solmirtest::MessageBoxWatcher boxes;
    LogCapture log;
    RfbSessionHarness harness(address);

    harness.connectSession();
    QVERIFY(harness.waitForIdleAfter());
    QVERIFY(boxes.waitForCount(1));
    QTest::qWait(300);
    QCOMPARE(boxes.count(), 1);
    // The record says why, where the box only says that it failed.
    QVERIFY2(log.texts("solmir.remote", QtWarningMsg)
                     .filter(types.isEmpty() ? QStringLiteral("neither None nor VNC Authentication")
                                             : QStringLiteral("speaks RFB 003.007"))
                     .size() == 1,
             qPrintable(log.all().join('\n')));
    if (types.isEmpty())
        QVERIFY(boxes.texts().first().startsWith(QStringLiteral("Ошибка подключения к серверу")));
    else
        QCOMPARE(boxes.texts().first(),
                 QStringLiteral("Ошибка подключения к серверу: «%1» !")
                     .arg(HVNC::socketErrorText(QAbstractSocket::UnknownSocketError)));
    QCOMPARE(server.clientVersion().isEmpty(), !types.isEmpty());
    QVERIFY(server.chosenSecurity().isEmpty());
    QVERIFY(!harness.connectStates.contains(true));
}

void TestHvncConnect::failedSecurityResult_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QByteArray>("result");
    // Any word but 0 is a failure, also one whose low byte is zero.
    QTest::newRow("low byte zero")
        << QStringLiteral("127.3.1.16") << QByteArray::fromHex("00000100");
}

void TestHvncConnect::failedSecurityResult()
{
    QFETCH(QString, address);
    QFETCH(QByteArray, result);
    RfbFakeServer server;
    server.noneResult = result;
    QVERIFY(server.listen(QHostAddress(address)));
    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);

    harness.connectSession();
    QVERIFY(harness.waitForIdleAfter());
    QCOMPARE(server.chosenSecurity(), QByteArray(1, char(1)));
    QVERIFY(server.clientInit().isEmpty());
    QVERIFY(!harness.connectStates.contains(true));
    QVERIFY(harness.statuses.contains(failedText));
    // No password was asked, so the refusal is not blamed on one.
    QVERIFY(boxes.waitForCount(1));
    QTest::qWait(300);
    QCOMPARE(boxes.count(), 1);
    QVERIFY(boxes.texts().first().startsWith(QStringLiteral("Ошибка подключения к серверу")));
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
    QVERIFY2(boxes.texts().first().contains(
                 HVNC::socketErrorText(QAbstractSocket::ConnectionRefusedError)),
             qPrintable(boxes.texts().first()));
    QVERIFY(harness.statuses.contains(QStringLiteral("Подключение к 127.3.1.8 ...")));
    QVERIFY(harness.statuses.contains(failedText));

    // A later attempt is a new attempt: once the device is up, the session gets through.
    RfbFakeServer server;
    QVERIFY(server.listen(QHostAddress(address)));
    harness.actions.clear();
    harness.connectSession();
    QVERIFY(reachesExchange(harness));
    QCOMPARE(boxes.count(), 1);
}

void TestHvncConnect::secondStartAndReconnect()
{
    const QString address = QStringLiteral("127.3.1.10");
    RfbFakeServer server;
    QVERIFY(server.listen(QHostAddress(address)));
    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);
    harness.session->start();
    harness.session->start();
    harness.connectSession();
    QVERIFY(reachesExchange(harness));
    QVERIFY(harness.waitFor([&]() { return server.requestCount() >= 6; }));
    // One worker, one connection.
    QCOMPARE(server.connectionCount(), 1);
    QCOMPARE(harness.actions.count(HVNC::Exchange), 1);
    // Small input messages leave at once, without waiting for the device's acknowledgement.
    QCOMPARE(noDelayTowards(address), QList<int>{1});

    // Connecting while connected starts afresh on a new socket, again without send coalescing.
    harness.actions.clear();
    harness.connectSession();
    QVERIFY(reachesExchange(harness));
    QVERIFY(harness.waitFor([&]() { return server.connectionCount() == 2; }));
    QTRY_COMPARE(noDelayTowards(address), QList<int>{1});
    QTest::qWait(200);
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

void TestHvncConnect::idleAfterTheSessionEndsDoesNotSpin()
{
    const QString address = QStringLiteral("127.3.1.18");
    RfbFakeServer server;
    QVERIFY(server.listen(QHostAddress(address)));
    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);
    // Ended by the operator, then by the server; each time the next request is answered at once.
    for (const bool serverCloses : {false, true}) {
        harness.connectSession();
        QVERIFY(reachesExchange(harness));
        if (serverCloses)
            server.closeClient();
        else
            harness.disconnectSession();
        QVERIFY(harness.waitForIdleAfter());

        // An idle worker sleeps between its 100 ms checks. A busy one burns a core; load on the
        // machine can only lower the figure, so the bound cannot be hit by a slow run.
        QElapsedTimer wall;
        wall.start();
        const qint64 cpuBefore = processCpuMs();
        QTest::qWait(1000);
        const qint64 cpuUsed = processCpuMs() - cpuBefore;
        QVERIFY2(cpuUsed * 4 < wall.elapsed(),
                 qPrintable(QStringLiteral("%1 ms CPU in %2 ms").arg(cpuUsed).arg(wall.elapsed())));
        QCOMPARE(harness.actions.last(), int(HVNC::Idle));
        harness.actions.clear();
    }
    harness.connectSession();
    QVERIFY(reachesExchange(harness));
}

void TestHvncConnect::destructionEndsABlockedWorker()
{
    // A session that never started stops without harm.
    solmirtest::createSingletons();
    {
        HVNC idle;
        idle.stop();
        idle.stop();
        QCOMPARE(idle.action(), int(HVNC::Idle));
    }
    const QString address = QStringLiteral("127.3.1.11");
    RfbFakeServer server;
    QVERIFY(server.listen(QHostAddress(address)));
    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);
    harness.connectSession();
    QVERIFY(harness.waitForAction(HVNC::Exchange));
    // Stop serving the GUI thread so that the worker blocks in its next updateDisplay().
    QTest::qSleep(400);
    harness.deleteSession();
    QTest::qWait(200);
    QCOMPARE(boxes.count(), 0);
}

void TestHvncConnect::endingCutsAWaitShort_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("atPrompt"); // else a receive from a device that stopped answering
    QTest::addColumn<bool>("destroy");
    QTest::newRow("prompt, disconnect") << QStringLiteral("127.3.1.14") << true << false;
    QTest::newRow("prompt, destroy") << QStringLiteral("127.3.1.12") << true << true;
    QTest::newRow("receive, disconnect") << QStringLiteral("127.3.1.20") << false << false;
    QTest::newRow("receive, destroy") << QStringLiteral("127.3.1.13") << false << true;
}

void TestHvncConnect::endingCutsAWaitShort()
{
    QFETCH(QString, address);
    QFETCH(bool, atPrompt);
    QFETCH(bool, destroy);
    RfbFakeServer server;
    server.securityTypes = QByteArray::fromHex(atPrompt ? "02" : "01");
    server.stallAfterUpdates = 4;
    QVERIFY(server.listen(QHostAddress(address)));
    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);
    harness.session->setTimeout(120000);
    disconnect(harness.session, SIGNAL(neetToInputPassword()), &harness, nullptr);
    // Counted on this thread: a QSignalSpy would record the worker's emission on the worker.
    int prompts = 0;
    connect(
        harness.session, &HVNC::neetToInputPassword, &harness, [&prompts] { ++prompts; },
        Qt::QueuedConnection);
    harness.connectSession();
    if (atPrompt) {
        QTRY_VERIFY_WITH_TIMEOUT(prompts > 0, 10000);
    } else {
        QVERIFY(harness.waitForAction(HVNC::Exchange));
        QVERIFY(harness.waitFor([&]() { return server.requestCount() >= 5; }));
        QTest::qWait(100);
    }
    // The prompt waits for good, the receive two minutes; ending the session must do neither.
    QElapsedTimer clock;
    clock.start();
    if (destroy) {
        harness.deleteSession();
    } else {
        harness.disconnectSession();
        QVERIFY(harness.waitForIdleAfter());
        QCOMPARE(harness.statuses.last(), noLinkText);
    }
    QVERIFY2(clock.elapsed() < 60000, "the wait was waited out");
    QCOMPARE(server.chosenSecurity().isEmpty(), atPrompt);
    QTest::qWait(200);
    QCOMPARE(boxes.count(), 0);
}

QTEST_MAIN(TestHvncConnect)
#include "tst_hvnc_connect.moc"
