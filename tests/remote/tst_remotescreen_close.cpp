// Closing the main window in every state of the remote screen ends the session without a
// hang or a crash, raises no box and still writes conf.ini.
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

#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {
constexpr int kConnectMs = 20000;
}

class TestRemoteScreenClose : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void whileIdle();
    void whileConnecting();
    void atThePasswordPrompt();
    void whileTheWorkerWaitsForARepaint();
    void duringExchange();

private:
    // Opens the window for a device at address, keeping conf.ini in the temporary folder, and
    // asks it to connect.
    DisplayFrame* openWindow(const QString& address, bool connect = true);
    // Destroys the window under a watchdog and checks what it wrote.
    void closeWindow();

    std::unique_ptr<QTemporaryDir> folder;
    MainWindow* window = nullptr;
    QString address;
    solmirtest::MessageBoxWatcher boxes;
};

void TestRemoteScreenClose::initTestCase()
{
    solmirtest::createSingletons();
}

void TestRemoteScreenClose::init()
{
    folder = std::make_unique<QTemporaryDir>();
    QVERIFY(folder->isValid());
    boxes.clear();
}

void TestRemoteScreenClose::cleanup()
{
    // A cut-short attempt is not reported once the window is gone.
    QTest::qWait(300);
    QVERIFY2(boxes.count() == 0, qPrintable(boxes.texts().join(QStringLiteral(" | "))));
    delete window;
    window = nullptr;
}

DisplayFrame* TestRemoteScreenClose::openWindow(const QString& deviceAddress, bool connect)
{
    address = deviceAddress;
    Configurator::instance()->confPath()->setValue(folder->filePath(QStringLiteral("conf.ini")));
    RemoteScreenFixture::setDeviceAddress(address);
    window = new MainWindow;
    window->show();
    if (connect)
        window->findChild<ControllWidget*>()->handleButton(0);
    return TabVNC::instance()->displayFrame();
}

void TestRemoteScreenClose::closeWindow()
{
    {
        RemoteScreenWatchdog watchdog(10000, "closing the main window");
        delete window;
        window = nullptr;
    }
    const QString path = folder->filePath(QStringLiteral("conf.ini"));
    QVERIFY2(QFile::exists(path), qPrintable(path));
    QCOMPARE(QSettings(path, QSettings::IniFormat).value(QStringLiteral("prIP")).toString(),
             address);
}

void TestRemoteScreenClose::whileIdle()
{
    openWindow(QStringLiteral("127.5.4.1"), false);
    QVERIFY(QTest::qWaitForWindowExposed(window));
    closeWindow();
}

void TestRemoteScreenClose::whileConnecting()
{
    // A device that takes the connection and never says a word.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress(QStringLiteral("127.5.4.2")), 5900));
    DisplayFrame* view = openWindow(QStringLiteral("127.5.4.2"));
    QTRY_VERIFY_WITH_TIMEOUT(silent.hasPendingConnections(), kConnectMs);
    QTRY_VERIFY(view->busyIndicator()->isVisible());
    QCOMPARE(StatusFrame::instance()->text(), QStringLiteral("Подключение к 127.5.4.2 ..."));
    closeWindow();
}

void TestRemoteScreenClose::atThePasswordPrompt()
{
    SimOptions options = RemoteScreenFixture::deviceOptions(QStringLiteral("127.5.4.3"));
    options.password = QStringLiteral("solmir");
    auto device = RemoteScreenFixture::startDevice(options);
    QVERIFY(device);
    openWindow(options.address.toString());
    // The dialog runs its own event loop; the window is destroyed from inside it.
    bool closed = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (closed || !RemoteScreenFixture::visibleInputDialog())
            return;
        closed = true;
        closeWindow();
    });
    poll.start(20);
    QTRY_VERIFY_WITH_TIMEOUT(closed, kConnectMs);
    QTest::qWait(100);
    QVERIFY(!RemoteScreenFixture::visibleInputDialog());
}

void TestRemoteScreenClose::whileTheWorkerWaitsForARepaint()
{
    // The device answers from its own thread, so it keeps serving while the GUI thread
    // below stops processing events and the worker blocks in its repaint call.
    RemoteScreenSimThread device(RemoteScreenFixture::deviceOptions(QStringLiteral("127.5.4.4")));
    QVERIFY(device.startDevice());
    DisplayFrame* view = openWindow(QStringLiteral("127.5.4.4"));
    QTRY_VERIFY_WITH_TIMEOUT(view->session()->isReady(), kConnectMs);
    int repaints = 0;
    QObject::connect(view->session(), &HVNC::updateDisplay, view, [&] { ++repaints; });
    QTRY_VERIFY_WITH_TIMEOUT(repaints >= 2, kConnectMs);
    // Passes come every 100 ms: within this sleep the worker reaches its blocking emit.
    QThread::msleep(500);
    closeWindow();
}

void TestRemoteScreenClose::duringExchange()
{
    auto device = RemoteScreenFixture::startDevice(
        RemoteScreenFixture::deviceOptions(QStringLiteral("127.5.4.5")));
    QVERIFY(device);
    DisplayFrame* view = openWindow(QStringLiteral("127.5.4.5"));
    QTRY_VERIFY_WITH_TIMEOUT(view->session()->isReady(), kConnectMs);
    const int updates = device->updatesSent();
    QTRY_VERIFY(device->updatesSent() > updates + 2);
    closeWindow();
}

QTEST_MAIN(TestRemoteScreenClose)
#include "tst_remotescreen_close.moc"
