// Benchmark of the RFB session without its view: update passes per second, the worker's own
// time per pass, and how long input takes from sendMessage() to the device.
#include "benchdevice.h"
#include "benchsupport.h"
#include "rfbsessionharness.h"

#include "remote/rfbprotocol.h"

#include <QApplication>

#include <cstdio>

namespace {

constexpr int passWindowMs = 5000;

struct Figures
{
    bool connected = false;
    double passesPerSecond = 0;
    double workerMsPerPass = 0;
    double guiCpuPercent = 0;
    benchsupport::Spread typing;
    benchsupport::Spread drag;
};

// Connects a session to the device at address, measures its passes and, with input set,
// its input latency; the session is disconnected again before it returns.
Figures measure(BenchDevice& device, const QString& address, QSize size, bool input)
{
    Figures figures;
    // These outlive the session that reports to them.
    benchsupport::PassRate rate;
    benchsupport::WorkerThread worker;
    RfbSessionHarness harness(address);
    worker.watch(harness.session, &harness);
    // Connected after the harness's own slot, so it runs when the worker's wait has ended.
    QObject::connect(
        harness.session, &HVNC::updateDisplay, &harness, [&rate]() { rate.note(); },
        Qt::DirectConnection);
    harness.connectSession();
    if (!harness.waitForAction(HVNC::Exchange, 30000) ||
        !RfbSessionHarness::waitFor([&]() { return harness.updates >= 3; }, 30000)) {
        std::printf("session did not reach Exchange at %dx%d\n", size.width(), size.height());
        return figures;
    }
    figures.connected = true;

    const benchsupport::PassWindow window =
        benchsupport::measurePasses(worker.id, rate, passWindowMs);
    figures.passesPerSecond = rate.perSecond();
    figures.workerMsPerPass = double(window.workerNs) / 1e6 / qMax(1, int(rate.passes));
    figures.guiCpuPercent = 100.0 * double(window.guiNs) / window.wallNs;

    if (input) {
        HVNC* session = harness.session;
        figures.typing = benchsupport::spread(
            benchsupport::typingLatenciesMs(device, 150, [session](int i, bool down) {
                const QByteArray message = rfb::keyEvent(down, quint32('a' + i % 26));
                session->sendMessage(message, HVNC::OrdinaryCommand);
                return message;
            }));
        session->sendMessage(rfb::pointerEvent(1, 10, 100), HVNC::OrdinaryCommand);
        figures.drag =
            benchsupport::spread(benchsupport::dragLatenciesMs(device, 300, 11, [session](int x) {
                session->sendMessage(rfb::pointerEvent(1, x, 100), HVNC::MotionCommand);
            }));
        session->sendMessage(rfb::pointerEvent(0, 310, 100), HVNC::OrdinaryCommand);
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
        QSize size;
        const char* prepared;
        const char* animated;
        double typingP99Goal;
    };
    const Case cases[] = {{QSize(800, 480), "127.3.250.1", "127.3.250.3", 10},
                          {QSize(1920, 1080), "127.3.250.2", "127.3.250.4", 20}};
    std::printf("RFB session without its view. Passes at most one per 100 ms after the previous "
                "one ends, so 10/s is the ceiling.\n"
                "worker = CPU time of the session's thread per pass (receive + store + the rest);"
                " store = the reader taking one arrived frame into the image, timed alone; receive "
                "= worker - store.\n"
                "Latency: from sendMessage() to the device having the bytes.\n");
    bool allConnected = true;
    for (const Case& c : cases) {
        const int w = c.size.width(), h = c.size.height();
        BenchDevice prepared(BenchDevice::PreparedFrame, QString::fromLatin1(c.prepared), c.size);
        if (!prepared.startDevice()) {
            std::printf("%dx%d: the prepared-frame device did not start\n", w, h);
            allConnected = false;
            continue;
        }
        const Figures f = measure(prepared, QString::fromLatin1(c.prepared), c.size, true);
        const double store = benchsupport::storeMsPerFrame(c.size);
        allConnected = allConnected && f.connected;
        std::printf("%4dx%-4d prepared-frame server: passes/s %5.2f  worker %5.2f ms/pass  "
                    "(store %5.2f, receive %5.2f)  GUI CPU %5.2f %%\n",
                    w, h, f.passesPerSecond, f.workerMsPerPass, store,
                    qMax(0.0, f.workerMsPerPass - store), f.guiCpuPercent);
        std::printf("%4dx%-4d fast typing (press, release 10 ms later): median %6.2f ms  p99 "
                    "%6.2f ms  (%d events; goal median <= 2, p99 <= %.0f)\n",
                    w, h, f.typing.median, f.typing.p99, f.typing.count, c.typingP99Goal);
        std::printf("%4dx%-4d drag (a move every 10 ms): median %6.2f ms  p99 %6.2f ms  "
                    "(%d moves)\n",
                    w, h, f.drag.median, f.drag.p99, f.drag.count);
        std::fflush(stdout);

        BenchDevice animated(BenchDevice::AnimatedSimulator, QString::fromLatin1(c.animated),
                             c.size);
        if (!animated.startDevice()) {
            std::printf("%dx%d: the simulator did not start\n", w, h);
            allConnected = false;
            continue;
        }
        const Figures a = measure(animated, QString::fromLatin1(c.animated), c.size, false);
        allConnected = allConnected && a.connected;
        std::printf("%4dx%-4d animated simulator (its drawing shares the CPU): passes/s %5.2f  "
                    "worker %5.2f ms/pass\n",
                    w, h, a.passesPerSecond, a.workerMsPerPass);
        std::fflush(stdout);
    }
    // The only check: the session got through to the device at all.
    return allConnected ? 0 : 1;
}
