// Benchmark of the remote screen end to end: update passes per second including the view's
// repaint, paint time per frame (unscaled and scaled) and the workstation's CPU load while
// connected. The device is the solmir3-sim program in a process of its own, so its CPU time
// is not counted.
#include "parameters/configurator.h"
#include "parameters/parametrcaptions.h"
#include "parameters/parametrip.h"
#include "parameters/settings.h"
#include "remote/displayframe.h"
#include "remote/hvnc.h"
#include "shell/iconset.h"
#include "shell/messagehandler.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec) + double(usage.ru_utime.tv_usec) / 1e6 +
           double(usage.ru_stime.tv_sec) + double(usage.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop for ms, sleeping while there is nothing to do, as the program does.
void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

template <typename Pred> bool waitFor(Pred pred, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!pred() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return pred();
}

bool deviceListening(const QString& address)
{
    QTcpSocket probe;
    probe.connectToHost(address, 5900);
    const bool up = probe.waitForConnected(200);
    probe.abort();
    return up;
}

struct Figures
{
    double passesPerSecond = 0;
    double cpuPercent = 0;
    double paintUnscaledMs = 0;
    double paintScaledMs = 0;
};

bool measure(const QString& simulator, const QString& address, QSize size, Figures* figures)
{
    QProcess device;
    device.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    device.start(simulator, {"--listen", address, "--http-port", "0", "--size",
                             QStringLiteral("%1x%2").arg(size.width()).arg(size.height())});
    if (!device.waitForStarted(5000) || !waitFor([&] { return deviceListening(address); }, 10000)) {
        std::printf("device at %s did not start\n", qPrintable(address));
        return false;
    }
    Settings::instance()->prIP->setAddress(QHostAddress(address));
    bool ok = false;
    {
        QWidget window;
        auto* view = new DisplayFrame(&window);
        window.resize(size + QSize(20, 20));
        window.show();
        view->session()->setAction(HVNC::Connect);
        if (waitFor([&] { return view->session()->isReady() && view->size() == size; }, 30000)) {
            int passes = 0;
            QObject::connect(view->session(), &HVNC::updateDisplay, view, [&] { ++passes; });
            spin(1000);
            passes = 0;
            const double cpu0 = cpuSeconds();
            QElapsedTimer wall;
            wall.start();
            spin(10000);
            const double seconds = double(wall.elapsed()) / 1000.0;
            figures->cpuPercent = 100.0 * (cpuSeconds() - cpu0) / seconds;
            figures->passesPerSecond = double(passes) / seconds;

            const int frames = 40;
            QElapsedTimer paint;
            paint.start();
            for (int i = 0; i < frames; ++i)
                view->repaint();
            figures->paintUnscaledMs = double(paint.nsecsElapsed()) / 1e6 / frames;
            view->setFixedSize(size.width() * 2 / 3, size.height() * 2 / 3);
            QCoreApplication::processEvents();
            paint.restart();
            for (int i = 0; i < frames; ++i)
                view->repaint();
            figures->paintScaledMs = double(paint.nsecsElapsed()) / 1e6 / frames;
            ok = true;
        } else {
            std::printf("no connection to the device at %s\n", qPrintable(address));
        }
        view->session()->setErrorShown(true);
        view->session()->setAction(HVNC::Disconnect);
        waitFor([&] { return view->session()->action() == HVNC::Idle; }, 10000);
    }
    device.kill();
    device.waitForFinished(5000);
    return ok;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    new Configurator(nullptr);
    new ParametrCaptions();
    new Settings(nullptr);
    new MessageHandler(nullptr);
    new IconSet();
    const QString simulator =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(SOLMIR_SIM_PATH);

    struct Case
    {
        QSize size;
        const char* address;
        double goalPasses;
    };
    const Case cases[] = {{QSize(800, 480), "127.5.9.1", 9.5},
                          {QSize(1920, 1080), "127.5.9.2", 9.0}};
    bool allOk = true;
    for (const Case& c : cases) {
        Figures f;
        if (!measure(simulator, QString::fromLatin1(c.address), c.size, &f)) {
            allOk = false;
            continue;
        }
        std::printf("remote screen %dx%d: %.2f update passes/s incl. repaint (goal >= %.1f)\n",
                    c.size.width(), c.size.height(), f.passesPerSecond, c.goalPasses);
        std::printf("remote screen %dx%d: paint %.2f ms/frame unscaled, %.2f ms/frame scaled 2/3\n",
                    c.size.width(), c.size.height(), f.paintUnscaledMs, f.paintScaledMs);
        std::printf("remote screen %dx%d: workstation CPU %.1f %% of one core while connected%s\n",
                    c.size.width(), c.size.height(), f.cpuPercent,
                    c.size == QSize(800, 480) ? " (goal <= 15 %)" : "");
    }
    std::fflush(stdout);
    return allOk ? 0 : 1;
}
