// A whole shift in a few minutes: one session connects, works and disconnects again and again
// against simulated devices, some of which refuse the password, hang up or stop answering.
// The process must end each cycle within its time-outs and keep its memory and descriptors.
#include "appfixture.h"
#include "messageboxwatcher.h"

#include "parameters/parametrip.h"
#include "parameters/settings.h"
#include "remote/hvnc.h"
#include "simulator/rfbserver.h"
#include "simulator/simoptions.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

enum class Kind
{
    Normal,
    RightPassword,
    WrongPassword,
    ServerCloses,
    ServerStalls
};

// Kinds in the order one round of ten cycles runs them.
const Kind cycleOrder[] = {Kind::Normal,       Kind::RightPassword, Kind::Normal,
                           Kind::ServerCloses, Kind::Normal,        Kind::WrongPassword,
                           Kind::Normal,       Kind::ServerStalls,  Kind::RightPassword,
                           Kind::Normal};

const char* kindName(Kind kind)
{
    switch (kind) {
    case Kind::Normal:
        return "normal";
    case Kind::RightPassword:
        return "password";
    case Kind::WrongPassword:
        return "wrong password";
    case Kind::ServerCloses:
        return "server closes";
    case Kind::ServerStalls:
        return "server stalls";
    }
    return "?";
}

// The session's time-out, short so that a stalled device costs seconds, not minutes.
constexpr int sessionTimeoutMs = 1000;
// Updates the Configure step takes before Exchange starts.
constexpr int configureUpdates = 3;
constexpr int exchangeUpdates = 3;
// Everything one cycle may spend by the session's own rules: the connect wait, the pause
// after the handshake, Configure's four pauses, five failed update attempts each running
// into the time-out with their pauses, the disconnect; plus room for a loaded machine.
constexpr int cycleLimitMs =
    sessionTimeoutMs + 500 + 4 * 100 + 5 * (sessionTimeoutMs + 100 + 50) + sessionTimeoutMs + 8000;

qint64 statusKb(const char* key)
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd"))
                   .entryList(QDir::NoDotAndDotDot | QDir::System)
                   .size());
}

int cycleCount()
{
    bool ok = false;
    const int cycles = qEnvironmentVariableIntValue("SOLMIR_SOAK_CYCLES", &ok);
    return ok && cycles >= 20 ? cycles : 200;
}

} // namespace

class TestSoak : public QObject
{
    Q_OBJECT
public slots:
    void onPasswordRequested();
    void onUpdateDisplay();
    void onActionChanged(int action);

private slots:
    void initTestCase();
    void connectWorkDisconnectCycles();

private:
    std::unique_ptr<RfbServer> startServer(const QString& address, SimOptions options);
    bool waitFor(const std::function<bool()>& condition, int timeoutMs);
    bool runCycle(Kind kind, int cycle);

    HVNC* session = nullptr;
    solmirtest::MessageBoxWatcher* boxes = nullptr;
    QMap<Kind, QString> addresses;
    QString passwordAnswer;
    int passwordRequests = 0;
    int updates = 0;
    QList<int> actions;
};

void TestSoak::onPasswordRequested()
{
    ++passwordRequests;
    session->setPassword(passwordAnswer, true);
}

void TestSoak::onUpdateDisplay()
{
    ++updates;
}

void TestSoak::onActionChanged(int action)
{
    actions.append(action);
}

void TestSoak::initTestCase()
{
    solmirtest::createSingletons();
}

std::unique_ptr<RfbServer> TestSoak::startServer(const QString& address, SimOptions options)
{
    options.address = QHostAddress(address);
    options.rfbPort = 5900;
    options.httpPort = 0;
    options.screenSize = QSize(160, 96);
    options.rectsPerUpdate = 2;
    auto server = std::make_unique<RfbServer>(options);
    if (!server->start())
        qWarning() << "cannot listen on" << address << server->errorString();
    return server;
}

bool TestSoak::waitFor(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QTest::qWait(5);
    }
    return true;
}

bool TestSoak::runCycle(Kind kind, int cycle)
{
    Settings::instance()->prIP->setAddress(QHostAddress(addresses.value(kind)));
    passwordAnswer = kind == Kind::WrongPassword ? QStringLiteral("guess") : QStringLiteral("soak");
    boxes->clear();
    updates = 0;
    passwordRequests = 0;
    actions.clear();

    session->setAction(HVNC::Connect);
    const bool works = kind == Kind::Normal || kind == Kind::RightPassword;
    if (works) {
        if (!waitFor([&] { return session->isReady() && updates >= exchangeUpdates; },
                     cycleLimitMs)) {
            qWarning() << "cycle" << cycle << kindName(kind) << "got no screen";
            return false;
        }
        // As the connection bar does: an operator's disconnect raises no box.
        session->setErrorShown(true);
        session->setAction(HVNC::Disconnect);
    }
    if (!waitFor(
            [&] {
                return session->action() == HVNC::Idle && !actions.isEmpty() &&
                       actions.last() == HVNC::Idle;
            },
            cycleLimitMs)) {
        qWarning() << "cycle" << cycle << kindName(kind) << "did not return to Idle";
        return false;
    }
    // A box raised by the worker may still be on its way to the GUI thread.
    if (!works && !boxes->waitForCount(1, 2000)) {
        qWarning() << "cycle" << cycle << kindName(kind) << "showed no message box";
        return false;
    }
    QTest::qWait(20);

    const QStringList texts = boxes->texts();
    QStringList expected;
    switch (kind) {
    case Kind::Normal:
    case Kind::RightPassword:
        break;
    case Kind::WrongPassword:
        expected << QStringLiteral("Введен неверный пароль!");
        break;
    case Kind::ServerCloses:
        // Whoever notices first reports: the socket's error or the failed exchange.
        if (texts.value(0) == QStringLiteral("Ошибка обмена!"))
            expected << QStringLiteral("Ошибка обмена!");
        else
            expected << QStringLiteral("Ошибка: «%1» !")
                            .arg(HVNC::socketErrorText(QAbstractSocket::RemoteHostClosedError));
        break;
    case Kind::ServerStalls:
        expected << QStringLiteral("Ошибка обмена!");
        break;
    }
    if (texts != expected) {
        qWarning() << "cycle" << cycle << kindName(kind) << "boxes" << texts << "expected"
                   << expected;
        return false;
    }
    const int expectedRequests =
        kind == Kind::Normal || kind == Kind::ServerCloses || kind == Kind::ServerStalls ? 0 : 1;
    if (passwordRequests != expectedRequests) {
        qWarning() << "cycle" << cycle << kindName(kind) << "password requests" << passwordRequests;
        return false;
    }
    return !session->isReady();
}

void TestSoak::connectWorkDisconnectCycles()
{
    SimOptions plain;
    SimOptions locked;
    locked.password = QStringLiteral("soak");
    SimOptions closing;
    closing.closeAfterUpdates = configureUpdates + exchangeUpdates;
    SimOptions stalling;
    stalling.stallAfterUpdates = configureUpdates + exchangeUpdates;
    addresses = {{Kind::Normal, QStringLiteral("127.7.3.1")},
                 {Kind::RightPassword, QStringLiteral("127.7.3.2")},
                 {Kind::WrongPassword, QStringLiteral("127.7.3.2")},
                 {Kind::ServerCloses, QStringLiteral("127.7.3.3")},
                 {Kind::ServerStalls, QStringLiteral("127.7.3.4")}};
    std::vector<std::unique_ptr<RfbServer>> servers;
    servers.push_back(startServer(addresses.value(Kind::Normal), plain));
    servers.push_back(startServer(addresses.value(Kind::RightPassword), locked));
    servers.push_back(startServer(addresses.value(Kind::ServerCloses), closing));
    servers.push_back(startServer(addresses.value(Kind::ServerStalls), stalling));
    for (const auto& server : servers)
        QVERIFY(server->port() == 5900);

    solmirtest::MessageBoxWatcher watcher;
    boxes = &watcher;
    session = new HVNC(this);
    session->setTimeout(sessionTimeoutMs);
    connect(session, SIGNAL(neetToInputPassword()), this, SLOT(onPasswordRequested()));
    connect(session, SIGNAL(actionChanged(int)), this, SLOT(onActionChanged(int)));
    // Blocking, as the screen view connects it: the worker waits for every repaint.
    connect(session, SIGNAL(updateDisplay()), this, SLOT(onUpdateDisplay()),
            Qt::BlockingQueuedConnection);
    session->start();

    const int cycles = cycleCount();
    qint64 rssAfterWarmUp = 0;
    int descriptorsAfterWarmUp = 0;
    qint64 threadsAfterWarmUp = 0;
    QMap<Kind, qint64> slowest;
    QMap<Kind, int> counts;
    QElapsedTimer total;
    total.start();
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        const Kind kind = cycleOrder[(cycle - 1) % 10];
        QElapsedTimer clock;
        clock.start();
        QVERIFY2(runCycle(kind, cycle),
                 qPrintable(QStringLiteral("cycle %1 (%2) failed").arg(cycle).arg(kindName(kind))));
        const qint64 took = clock.elapsed();
        slowest[kind] = std::max(slowest.value(kind), took);
        ++counts[kind];
        QVERIFY2(took <= cycleLimitMs, qPrintable(QStringLiteral("cycle %1 (%2) took %3 ms")
                                                      .arg(cycle)
                                                      .arg(kindName(kind))
                                                      .arg(took)));
        if (cycle == 10) {
            rssAfterWarmUp = statusKb("VmRSS:");
            descriptorsAfterWarmUp = openDescriptors();
            threadsAfterWarmUp = statusKb("Threads:");
        }
    }
    // One connection per cycle: none left over, none opened twice.
    int connections = 0;
    for (const auto& server : servers)
        connections += server->connectionCount();
    QCOMPARE(connections, cycles);
    const qint64 rssAtEnd = statusKb("VmRSS:");
    const int descriptorsAtEnd = openDescriptors();
    const qint64 threadsAtEnd = statusKb("Threads:");

    disconnect(session, SIGNAL(updateDisplay()), this, SLOT(onUpdateDisplay()));
    delete session;
    session = nullptr;
    boxes = nullptr;

    qInfo("soak: %d cycles in %.1f s; cycle limit %d ms", cycles, total.elapsed() / 1000.0,
          cycleLimitMs);
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        qInfo("soak: %-15s %4d cycles, slowest %6lld ms", kindName(it.key()), it.value(),
              slowest.value(it.key()));
    qInfo("soak: VmRSS after cycle 10 %lld kB, at the end %lld kB (growth %lld kB)", rssAfterWarmUp,
          rssAtEnd, rssAtEnd - rssAfterWarmUp);
    qInfo("soak: descriptors %d -> %d, threads %lld -> %lld", descriptorsAfterWarmUp,
          descriptorsAtEnd, threadsAfterWarmUp, threadsAtEnd);
    qInfo("soak: device saw %d connections, sent %d updates", servers[0]->connectionCount(),
          servers[0]->updatesSent());

    QVERIFY(rssAfterWarmUp > 0 && rssAtEnd > 0);
    QVERIFY2(rssAtEnd - rssAfterWarmUp <= 5 * 1024,
             qPrintable(QStringLiteral("memory grew by %1 kB").arg(rssAtEnd - rssAfterWarmUp)));
    QVERIFY2(descriptorsAtEnd <= descriptorsAfterWarmUp + 2,
             qPrintable(QStringLiteral("descriptors %1 -> %2")
                            .arg(descriptorsAfterWarmUp)
                            .arg(descriptorsAtEnd)));
    QVERIFY2(
        threadsAtEnd <= threadsAfterWarmUp,
        qPrintable(QStringLiteral("threads %1 -> %2").arg(threadsAfterWarmUp).arg(threadsAtEnd)));
}

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"
