// Benchmark of the remote screen end to end through the real view: update passes per second
// including the repaint, the client's own time per pass (receive, store, repaint), paint time
// per frame, and how long the operator's keys and drags take from the view to the device; and
// the simulator's own cost under a standard, incremental viewer.
#include "benchdevice.h"
#include "benchsupport.h"
#include "simtestclient.h"

#include "parameters/configurator.h"
#include "parameters/parametrcaptions.h"
#include "parameters/parametrip.h"
#include "parameters/settings.h"
#include "remote/displayframe.h"
#include "remote/hvnc.h"
#include "remote/rfbprotocol.h"
#include "shell/iconset.h"
#include "shell/messagehandler.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>

#include <cstdio>

using benchsupport::threadCpuNs;

namespace {

constexpr int passWindowMs = 5000;

// Times the view's handling of the session's updateDisplay(), which is the repaint the worker
// waits for: the GUI thread's CPU time inside that call.
class TimingApplication : public QApplication
{
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override
    {
        if (receiver != timed || event->type() != QEvent::MetaCall)
            return QApplication::notify(receiver, event);
        const qint64 start = threadCpuNs(pthread_self());
        const bool result = QApplication::notify(receiver, event);
        repaintNs += threadCpuNs(pthread_self()) - start;
        ++repaints;
        return result;
    }
    QObject* timed = nullptr;
    qint64 repaintNs = 0;
    int repaints = 0;
};

TimingApplication* timingApp()
{
    return static_cast<TimingApplication*>(QCoreApplication::instance());
}

template <typename Pred> bool waitFor(Pred pred, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!pred() && clock.elapsed() < ms)
        benchsupport::waitPrecise(10);
    return pred();
}

struct Figures
{
    bool connected = false;
    double passesPerSecond = 0;
    double workerMsPerPass = 0;
    double repaintMsPerPass = 0;
    double cpuPercent = 0;
    double paintUnscaledMs = 0;
    double paintScaledMs = 0;
    benchsupport::Spread typing;
    benchsupport::Spread drag;
};

void sendMouse(DisplayFrame* view, QEvent::Type type, QPoint pos, Qt::MouseButton button,
               Qt::MouseButtons held)
{
    QMouseEvent event(type, pos, view->mapToGlobal(pos), button, held, Qt::NoModifier);
    QApplication::sendEvent(view, &event);
}

// Shows a view, connects it to the device at address and measures; with input set also the
// input latency and the paint times. Disconnects again before it returns.
Figures measure(BenchDevice& device, const QString& address, QSize size, bool input)
{
    Figures figures;
    Settings::instance()->prIP->setAddress(QHostAddress(address));
    // These outlive the view and so the session that reports to them.
    benchsupport::PassRate rate;
    benchsupport::WorkerThread worker;
    QWidget window;
    auto* view = new DisplayFrame(&window);
    window.resize(size + QSize(20, 20));
    window.show();
    worker.watch(view->session(), view);
    view->session()->setAction(HVNC::Connect);
    if (waitFor([&] { return view->session()->isReady() && view->size() == size; }, 30000)) {
        figures.connected = true;
        // Connected after the view's repaint, so it runs when the worker's wait has ended.
        QObject::connect(
            view->session(), &HVNC::updateDisplay, view, [&rate] { rate.note(); },
            Qt::DirectConnection);
        benchsupport::waitPrecise(1000);
        TimingApplication* app = timingApp();
        app->timed = view;
        app->repaintNs = 0;
        app->repaints = 0;
        const benchsupport::PassWindow window =
            benchsupport::measurePasses(worker.id, rate, passWindowMs);
        figures.passesPerSecond = rate.perSecond();
        figures.workerMsPerPass = double(window.workerNs) / 1e6 / qMax(1, int(rate.passes));
        figures.repaintMsPerPass = double(app->repaintNs) / 1e6 / qMax(1, app->repaints);
        figures.cpuPercent = 100.0 * double(window.workerNs + window.guiNs) / window.wallNs;
        app->timed = nullptr;

        if (input) {
            figures.typing = benchsupport::spread(
                benchsupport::typingLatenciesMs(device, 150, [view](int i, bool down) {
                    const QString text(QChar('a' + i % 26));
                    QKeyEvent event(down ? QEvent::KeyPress : QEvent::KeyRelease,
                                    Qt::Key_A + i % 26, Qt::NoModifier, text);
                    QApplication::sendEvent(view, &event);
                    return rfb::keyEvent(down, quint32('a' + i % 26));
                }));
            sendMouse(view, QEvent::MouseButtonPress, {10, 100}, Qt::LeftButton, Qt::LeftButton);
            figures.drag =
                benchsupport::spread(benchsupport::dragLatenciesMs(device, 300, 11, [view](int x) {
                    sendMouse(view, QEvent::MouseMove, {x, 100}, Qt::NoButton, Qt::LeftButton);
                }));
            sendMouse(view, QEvent::MouseButtonRelease, {310, 100}, Qt::LeftButton, Qt::NoButton);

            const int frames = 40;
            QElapsedTimer paint;
            paint.start();
            for (int i = 0; i < frames; ++i)
                view->repaint();
            figures.paintUnscaledMs = double(paint.nsecsElapsed()) / 1e6 / frames;
            view->setFixedSize(size.width() * 2 / 3, size.height() * 2 / 3);
            QCoreApplication::processEvents();
            paint.restart();
            for (int i = 0; i < frames; ++i)
                view->repaint();
            figures.paintScaledMs = double(paint.nsecsElapsed()) / 1e6 / frames;
        }
    } else {
        std::printf("no connection to the device at %s\n", qPrintable(address));
    }
    view->session()->setErrorShown(true);
    view->session()->setAction(HVNC::Disconnect);
    waitFor([&] { return view->session()->action() == HVNC::Idle; }, 10000);
    return figures;
}

// A standard viewer (vncviewer) asks incrementally, the next request as soon as an update has
// arrived: the simulator must then send only what changed, and hold a request until it does.
struct ViewerFigures
{
    bool ok = false;
    double cpuPercent = 0;
    double megabytesPerSecond = 0;
    double updatesPerSecond = 0;
};

ViewerFigures incrementalViewer(BenchDevice& device, const QString& address, QSize size)
{
    const int windowMs = 5000;
    ViewerFigures figures;
    SimTestClient client;
    if (!client.connectTo(QHostAddress(address), 5900) || client.handshakeNone().isEmpty())
        return figures;
    // One whole update; -1 when none arrives in time.
    auto readUpdate = [&client](int timeoutMs) -> qint64 {
        const QByteArray header = client.read(4, timeoutMs);
        if (header.size() < 4)
            return -1;
        qint64 bytes = header.size();
        for (int i = SimTestClient::be16(header, 2); i > 0; --i) {
            const QByteArray rect = client.read(12);
            const int n = rect.size() < 12
                              ? 0
                              : SimTestClient::be16(rect, 4) * SimTestClient::be16(rect, 6) * 2;
            if (rect.size() < 12 || client.read(n).size() < n)
                return -1;
            bytes += 12 + n;
        }
        return bytes;
    };
    client.write(SimTestClient::updateRequest(false, 0, 0, size.width(), size.height()));
    if (readUpdate(5000) < 0)
        return figures;
    const qint64 cpuBefore = benchsupport::threadCpuNs(device.threadId());
    const qint64 start = benchsupport::nowNs();
    const qint64 end = start + qint64(windowMs) * 1000000;
    qint64 bytes = 0;
    int updates = 0;
    while (benchsupport::nowNs() < end) {
        client.write(SimTestClient::updateRequest(true, 0, 0, size.width(), size.height()));
        const qint64 got = readUpdate(qMax(1, int((end - benchsupport::nowNs()) / 1000000)));
        if (got < 0)
            break;
        bytes += got;
        ++updates;
    }
    const double wallNs = double(benchsupport::nowNs() - start);
    figures.ok = updates > 0;
    figures.cpuPercent =
        100.0 * double(benchsupport::threadCpuNs(device.threadId()) - cpuBefore) / wallNs;
    figures.megabytesPerSecond = double(bytes) / 1e6 / (wallNs / 1e9);
    figures.updatesPerSecond = updates / (wallNs / 1e9);
    return figures;
}

} // namespace

int main(int argc, char* argv[])
{
    TimingApplication app(argc, argv);
    new Configurator(nullptr);
    new ParametrCaptions();
    new Settings(nullptr);
    new MessageHandler(nullptr);
    new IconSet();

    struct Case
    {
        QSize size;
        const char* prepared;
        const char* animated;
        double clientGoalMs;
        double typingP99Goal;
    };
    const Case cases[] = {{QSize(800, 480), "127.5.9.1", "127.5.9.3", 3, 10},
                          {QSize(1920, 1080), "127.5.9.2", "127.5.9.4", 8, 20}};
    std::printf(
        "Remote screen through the real view. Passes at most one per 100 ms after the previous "
        "one ends, so 10/s is the ceiling.\n"
        "Client time per pass, CPU time: worker = the session's thread (receive + store + the "
        "rest); store = the reader taking one arrived frame into the image, timed alone; receive = "
        "worker - store; "
        "repaint = the view's handling of updateDisplay(), which the worker waits for.\n"
        "Latency: from the event reaching the view to the device having the bytes.\n");
    bool allOk = true;
    for (const Case& c : cases) {
        const int w = c.size.width(), h = c.size.height();
        BenchDevice prepared(BenchDevice::PreparedFrame, QString::fromLatin1(c.prepared), c.size);
        if (!prepared.startDevice()) {
            std::printf("%dx%d: the prepared-frame device did not start\n", w, h);
            allOk = false;
            continue;
        }
        const Figures f = measure(prepared, QString::fromLatin1(c.prepared), c.size, true);
        allOk = allOk && f.connected;
        const double store = benchsupport::storeMsPerFrame(c.size);
        const double receive = qMax(0.0, f.workerMsPerPass - store);
        std::printf("remote screen %dx%d, prepared-frame server: %.2f passes/s incl. repaint\n", w,
                    h, f.passesPerSecond);
        std::printf("remote screen %dx%d: client time %.2f ms/pass = receive %.2f + store %.2f + "
                    "repaint %.2f (goal <= %.0f ms)\n",
                    w, h, f.workerMsPerPass + f.repaintMsPerPass, receive, store,
                    f.repaintMsPerPass, c.clientGoalMs);
        std::printf("remote screen %dx%d: fast typing (press, release 10 ms later) median %.2f ms, "
                    "p99 %.2f ms over %d events (goal median <= 2, p99 <= %.0f)\n",
                    w, h, f.typing.median, f.typing.p99, f.typing.count, c.typingP99Goal);
        std::printf("remote screen %dx%d: drag (a move every 10 ms) median %.2f ms, p99 %.2f ms "
                    "over %d moves\n",
                    w, h, f.drag.median, f.drag.p99, f.drag.count);
        std::printf("remote screen %dx%d: paint %.2f ms/frame unscaled, %.2f ms/frame scaled 2/3\n",
                    w, h, f.paintUnscaledMs, f.paintScaledMs);
        std::printf("remote screen %dx%d: workstation CPU (GUI and session threads) %.1f %% of one "
                    "core while connected%s\n",
                    w, h, f.cpuPercent, c.size == QSize(800, 480) ? " (goal <= 15 %)" : "");
        std::fflush(stdout);

        BenchDevice animated(BenchDevice::AnimatedSimulator, QString::fromLatin1(c.animated),
                             c.size);
        if (!animated.startDevice()) {
            std::printf("%dx%d: the simulator did not start\n", w, h);
            allOk = false;
            continue;
        }
        const Figures a = measure(animated, QString::fromLatin1(c.animated), c.size, false);
        allOk = allOk && a.connected;
        std::printf("remote screen %dx%d, animated simulator (its drawing shares the CPU): %.2f "
                    "passes/s incl. repaint, client time %.2f ms/pass\n",
                    w, h, a.passesPerSecond, a.workerMsPerPass + a.repaintMsPerPass);
        const ViewerFigures v =
            incrementalViewer(animated, QString::fromLatin1(c.animated), c.size);
        allOk = allOk && v.ok;
        std::printf("remote screen %dx%d, animated simulator under an incremental viewer (as "
                    "vncviewer asks): simulator CPU %.1f %% of one core, %.2f MB/s on the wire, "
                    "%.1f updates/s%s\n",
                    w, h, v.cpuPercent, v.megabytesPerSecond, v.updatesPerSecond,
                    c.size == QSize(800, 480) ? " (goal <= 10 %, <= 2 MB/s)" : "");
        std::fflush(stdout);
    }
    return allOk ? 0 : 1;
}
