// Benchmark of the RFB session against the simulated device: pass rate, client CPU, key latency.
#include "rfbsessionharness.h"

#include "remote/rfbprotocol.h"
#include "simulator/rfbserver.h"
#include "simulator/simoptions.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QMutex>
#include <QTest>
#include <QThread>

#include <pthread.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <vector>

namespace {

qint64 nowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

qint64 threadCpuNs(pthread_t thread)
{
    clockid_t clock;
    if (pthread_getcpuclockid(thread, &clock) != 0)
        return -1;
    timespec ts{};
    clock_gettime(clock, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

struct Figures
{
    bool connected = false;
    double passesPerSecond = 0;
    double workerCpuPercent = 0;
    double guiCpuPercent = 0;
    double latencyMedianMs = 0;
    double latencyP99Ms = 0;
    int keys = 0;
};

// The simulator runs on a thread of its own, so that its work does not delay the client's.
class SimulatorThread
{
public:
    explicit SimulatorThread(const SimOptions& options)
    {
        thread.start();
        server = new RfbServer(options);
        server->moveToThread(&thread);
        QMetaObject::invokeMethod(
            server, [this]() { started = server->start(); }, Qt::BlockingQueuedConnection);
    }
    ~SimulatorThread()
    {
        QMetaObject::invokeMethod(
            server, [this]() { delete server; }, Qt::BlockingQueuedConnection);
        thread.quit();
        thread.wait();
    }
    RfbServer* server = nullptr;
    bool started = false;

private:
    QThread thread;
};

Figures measure(const QString& address, QSize size)
{
    Figures figures;
    SimOptions options;
    options.address = QHostAddress(address);
    options.rfbPort = 5900;
    options.httpPort = 0;
    options.screenSize = size;
    options.animate = qEnvironmentVariableIsEmpty("BENCH_STATIC");
    SimulatorThread simulator(options);
    if (!simulator.started) {
        std::fprintf(stderr, "simulator did not start on %s\n", qPrintable(address));
        return figures;
    }

    // Arrival times of key symbols at the device, written on the simulator's thread.
    QMutex arrivalsMutex;
    QHash<quint32, qint64> arrivals;
    QObject::connect(
        simulator.server, &RfbServer::clientMessage, simulator.server,
        [&](QByteArray message) {
            if (message.size() == 8 && message.at(0) == 4 && message.at(1) == 1) {
                const qint64 at = nowNs();
                QMutexLocker lock(&arrivalsMutex);
                arrivals.insert(rfb::readU32(message, 4), at);
            }
        },
        Qt::DirectConnection);

    RfbSessionHarness harness(address);
    std::atomic<pthread_t> worker{pthread_t()};
    std::atomic<bool> haveWorker{false};
    QObject::connect(
        harness.session, &HVNC::actionChanged, &harness,
        [&](int) {
            if (!haveWorker.exchange(true))
                worker = pthread_self();
        },
        Qt::DirectConnection);

    harness.connectSession();
    if (!harness.waitForAction(HVNC::Exchange, 30000) ||
        !RfbSessionHarness::waitFor([&]() { return harness.updates >= 3; }, 30000)) {
        std::fprintf(stderr, "session did not reach Exchange at %dx%d\n", size.width(),
                     size.height());
        return figures;
    }
    figures.connected = true;

    // Pass rate and CPU over a quiet window.
    const pthread_t gui = pthread_self();
    const int updatesBefore = harness.updates;
    const qint64 workerBefore = threadCpuNs(worker);
    const qint64 guiBefore = threadCpuNs(gui);
    const qint64 wallBefore = nowNs();
    QTest::qWait(5000);
    const double wall = double(nowNs() - wallBefore);
    figures.passesPerSecond = (harness.updates - updatesBefore) / (wall / 1e9);
    figures.workerCpuPercent = 100.0 * double(threadCpuNs(worker) - workerBefore) / wall;
    figures.guiCpuPercent = 100.0 * double(threadCpuNs(gui) - guiBefore) / wall;

    // Key latency: from sendMessage() on the GUI thread to the device's reading of it.
    std::vector<double> latencies;
    QHash<quint32, qint64> sentAt;
    for (quint32 i = 0; i < 200; ++i) {
        const quint32 keysym = 0x10000 + i;
        sentAt.insert(keysym, nowNs());
        harness.session->sendMessage(rfb::keyEvent(true, keysym), 0);
        // Spread over the pass cycle; 10 ms per message are the session's own pause.
        QTest::qWait(23 + int(i % 7));
    }
    RfbSessionHarness::waitFor(
        [&]() {
            QMutexLocker lock(&arrivalsMutex);
            return arrivals.size() >= 200;
        },
        10000);
    {
        QMutexLocker lock(&arrivalsMutex);
        for (auto it = sentAt.cbegin(); it != sentAt.cend(); ++it) {
            if (arrivals.contains(it.key()))
                latencies.push_back(double(arrivals.value(it.key()) - it.value()) / 1e6);
        }
    }
    figures.keys = int(latencies.size());
    if (!latencies.empty()) {
        std::sort(latencies.begin(), latencies.end());
        figures.latencyMedianMs = latencies[latencies.size() / 2];
        figures.latencyP99Ms =
            latencies[std::min(latencies.size() - 1, size_t(double(latencies.size()) * 0.99))];
    }
    harness.disconnectSession();
    harness.waitForIdleAfter(30000);
    return figures;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    struct Case
    {
        const char* address;
        QSize size;
        double passGoal;
    };
    const Case cases[] = {{"127.3.250.1", QSize(800, 480), 9.5},
                          {"127.3.250.2", QSize(1920, 1080), 9.0}};
    bool allConnected = true;
    std::printf("RFB session against the simulator (goals: passes >= goal, worker CPU <= 10 %% "
                "at 800x480, key latency median <= 5 ms, p99 <= 20 ms)\n");
    for (const Case& c : cases) {
        const Figures f = measure(QString::fromLatin1(c.address), c.size);
        allConnected = allConnected && f.connected;
        std::printf("%4dx%-4d passes/s %5.2f (goal %.1f)  worker CPU %5.2f %%  GUI CPU %5.2f %%  "
                    "key latency median %6.2f ms  p99 %6.2f ms  (%d keys)\n",
                    c.size.width(), c.size.height(), f.passesPerSecond, c.passGoal,
                    f.workerCpuPercent, f.guiCpuPercent, f.latencyMedianMs, f.latencyP99Ms, f.keys);
        std::fflush(stdout);
    }
    // The only check: the session got through to the device at all.
    return allConnected ? 0 : 1;
}
