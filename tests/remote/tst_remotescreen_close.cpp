// Closing the main window in every state of the remote screen ends the session without a
// hang or a crash and still writes conf.ini.
#include "app/mainwindow.h"
#include "appfixture.h"
#include "messageboxwatcher.h"
#include "parameters/configurator.h"
#include "parameters/parametrpath.h"
#include "protocols/downloadprogress.h"
#include "remote/controllwidget.h"
#include "remote/displayframe.h"
#include "remote/hvnc.h"
#include "remotescreenfixture.h"
#include "remotescreensimthread.h"
#include "remotescreenwatchdog.h"
#include "shell/statusframe.h"
#include "shell/tabvnc.h"
#include "simulator/rfbserver.h"
#include "simulator/simoptions.h"

#include <QInputDialog>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

constexpr int kConnectMs = 20000;
constexpr int kNoHangMs = 10000;

} // namespace

class TestRemoteScreenClose : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void whileIdle();
    void whileConnecting();
    void atThePasswordPrompt();
    void whileTheWorkerWaitsForARepaint();
    void duringExchange();

private:
    // Opens the window for a device at address and keeps conf.ini in the temporary folder.
    MainWindow* openWindow(const QString& address);
    // Destroys the window under the watchdog and checks what it wrote.
    void closeWindow(MainWindow* window, const QString& address);
    void checkConfIni(const QString& address);

    std::unique_ptr<QTemporaryDir> folder;
    // Closes any box left over, so that none blocks the next case.
    solmirtest::MessageBoxWatcher anyBox;
};

void TestRemoteScreenClose::initTestCase()
{
    solmirtest::createSingletons();
}

void TestRemoteScreenClose::init()
{
    folder = std::make_unique<QTemporaryDir>();
    QVERIFY(folder->isValid());
}

MainWindow* TestRemoteScreenClose::openWindow(const QString& address)
{
    Configurator::instance()->confPath()->setValue(folder->filePath(QStringLiteral("conf.ini")));
    RemoteScreenFixture::setDeviceAddress(address);
    auto* window = new MainWindow;
    window->show();
    return window;
}

void TestRemoteScreenClose::checkConfIni(const QString& address)
{
    const QString path = folder->filePath(QStringLiteral("conf.ini"));
    QVERIFY2(QFile::exists(path), qPrintable(path));
    QSettings stored(path, QSettings::IniFormat);
    QCOMPARE(stored.value(QStringLiteral("prIP")).toString(), address);
}

void TestRemoteScreenClose::closeWindow(MainWindow* window, const QString& address)
{
    QElapsedTimer clock;
    clock.start();
    {
        RemoteScreenWatchdog watchdog(kNoHangMs, "closing the main window");
        delete window;
    }
    qInfo("window closed in %lld ms", static_cast<long long>(clock.elapsed()));
    checkConfIni(address);
}

void TestRemoteScreenClose::whileIdle()
{
    const QString address = QStringLiteral("127.5.4.1");
    MainWindow* window = openWindow(address);
    QVERIFY(QTest::qWaitForWindowExposed(window));
    closeWindow(window, address);
}

void TestRemoteScreenClose::whileConnecting()
{
    // A device that takes the connection and never says a word.
    const QString address = QStringLiteral("127.5.4.2");
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress(address), 5900));
    solmirtest::MessageBoxWatcher boxes;
    MainWindow* window = openWindow(address);
    DisplayFrame* view = TabVNC::instance()->displayFrame();
    window->findChild<ControllWidget*>()->handleButton(0);
    QTRY_VERIFY_WITH_TIMEOUT(silent.hasPendingConnections(), kConnectMs);
    QTRY_VERIFY(view->busyIndicator()->isVisible());
    QCOMPARE(StatusFrame::instance()->text(), QStringLiteral("Подключение к 127.5.4.2 ..."));
    closeWindow(window, address);
    // The cut-short attempt is not reported once the window is gone.
    QTest::qWait(300);
    QVERIFY2(boxes.count() == 0, qPrintable(boxes.texts().join(QStringLiteral(" | "))));
}

void TestRemoteScreenClose::atThePasswordPrompt()
{
    const QString address = QStringLiteral("127.5.4.3");
    SimOptions options = RemoteScreenFixture::deviceOptions(address);
    options.password = QStringLiteral("solmir");
    auto device = RemoteScreenFixture::startDevice(options);
    QVERIFY(device);
    solmirtest::MessageBoxWatcher boxes;
    MainWindow* window = openWindow(address);
    window->findChild<ControllWidget*>()->handleButton(0);

    // The dialog runs its own event loop; the window is destroyed from inside it.
    bool closed = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (closed || !RemoteScreenFixture::visibleInputDialog())
            return;
        closed = true;
        poll.stop();
        closeWindow(window, address);
    });
    poll.start(20);
    QTRY_VERIFY_WITH_TIMEOUT(closed, kConnectMs);
    QTest::qWait(300);
    QVERIFY(!RemoteScreenFixture::visibleInputDialog());
    QVERIFY2(boxes.count() == 0, qPrintable(boxes.texts().join(QStringLiteral(" | "))));
}

void TestRemoteScreenClose::whileTheWorkerWaitsForARepaint()
{
    // The device answers from its own thread, so it keeps serving while the GUI thread
    // below stops processing events and the worker blocks in its repaint call.
    const QString address = QStringLiteral("127.5.4.4");
    RemoteScreenSimThread device(RemoteScreenFixture::deviceOptions(address));
    QVERIFY(device.startDevice());
    MainWindow* window = openWindow(address);
    DisplayFrame* view = TabVNC::instance()->displayFrame();
    window->findChild<ControllWidget*>()->handleButton(0);
    QTRY_VERIFY_WITH_TIMEOUT(view->session()->isReady(), kConnectMs);
    int repaints = 0;
    QObject::connect(view->session(), &HVNC::updateDisplay, view, [&] { ++repaints; });
    QTRY_VERIFY_WITH_TIMEOUT(repaints >= 2, kConnectMs);
    // Passes come every 100 ms: within this sleep the worker reaches its blocking emit.
    QThread::msleep(500);
    closeWindow(window, address);
}

void TestRemoteScreenClose::duringExchange()
{
    const QString address = QStringLiteral("127.5.4.5");
    auto device = RemoteScreenFixture::startDevice(RemoteScreenFixture::deviceOptions(address));
    QVERIFY(device);
    solmirtest::MessageBoxWatcher boxes;
    MainWindow* window = openWindow(address);
    DisplayFrame* view = TabVNC::instance()->displayFrame();
    window->findChild<ControllWidget*>()->handleButton(0);
    QTRY_VERIFY_WITH_TIMEOUT(view->session()->isReady(), kConnectMs);
    const int updates = device->updatesSent();
    QTRY_VERIFY(device->updatesSent() > updates + 2);
    closeWindow(window, address);
    QTest::qWait(300);
    QVERIFY2(boxes.count() == 0, qPrintable(boxes.texts().join(QStringLiteral(" | "))));
}

QTEST_MAIN(TestRemoteScreenClose)
#include "tst_remotescreen_close.moc"
