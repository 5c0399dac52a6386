// The whole road of a connection through the real main window against a simulated device:
// connect from the bar, see the device's screen pixel for pixel, disconnect, and a device
// that is not there.
#include "app/mainwindow.h"
#include "appfixture.h"
#include "messageboxwatcher.h"
#include "parameters/widgets/prfield.h"
#include "protocols/downloadprogress.h"
#include "remote/controllwidget.h"
#include "remote/displayframe.h"
#include "remote/hvnc.h"
#include "remotescreenfixture.h"
#include "shell/hbutton.h"
#include "shell/htabwidget.h"
#include "shell/iconset.h"
#include "shell/statusframe.h"
#include "shell/tabvnc.h"
#include "simulator/rfbserver.h"
#include "simulator/simoptions.h"

#include <QtTest>

namespace {
constexpr int kConnectMs = 20000;

QImage shownRgb16(QWidget* view)
{
    return view->grab().toImage().convertToFormat(QImage::Format_RGB16);
}
} // namespace

class TestRemoteScreenRoad : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void connectShowScaleDisconnect();
    void nothingListening();
    void busyOverlayFollowsAction();
};

void TestRemoteScreenRoad::initTestCase()
{
    solmirtest::createSingletons();
}

void TestRemoteScreenRoad::connectShowScaleDisconnect()
{
    const QString address = QStringLiteral("127.5.1.1");
    SimOptions options = RemoteScreenFixture::deviceOptions(address);
    options.screenSize = QSize(640, 400);
    auto device = RemoteScreenFixture::startDevice(options);
    QVERIFY(device);
    RemoteScreenFixture::setDeviceAddress(address);
    solmirtest::MessageBoxWatcher boxes;

    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.windowTitle(), QStringLiteral("АРМ СОЛМИР-3   v1.1"));
    auto* tabs = window.findChild<HTabWidget*>();
    QCOMPARE(tabs->tabText(0), QStringLiteral("Управление"));
    QCOMPARE(tabs->currentWidget(), static_cast<QWidget*>(TabVNC::instance()));
    auto* bar = window.findChild<ControllWidget*>();
    DisplayFrame* view = TabVNC::instance()->displayFrame();
    HButton* button = bar->connectButton();
    QCOMPARE(button->text(), QStringLiteral("Подключить"));
    QVERIFY(bar->addressField()->isEnabled());
    // Before any connection the view is plain gray.
    const QImage idle = view->grab().toImage();
    QCOMPARE(QColor(idle.pixel(idle.width() / 2, idle.height() / 2)), QColor(Qt::gray));

    QSignalSpy sized(view, SIGNAL(onSizeChanged(QSize)));
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(!button->isEnabled());

    QTRY_COMPARE_WITH_TIMEOUT(button->text(), QStringLiteral("Отключить"), kConnectMs);
    QCOMPARE(sized.count(), 1);
    QCOMPARE(sized.at(0).at(0).toSize(), QSize(640, 400));
    QVERIFY(button->isEnabled());
    QCOMPARE(button->icon().cacheKey(), IconSet::instance()->disconnect.cacheKey());
    QVERIFY(!bar->addressField()->isEnabled());
    QCOMPARE(StatusFrame::instance()->text(), QStringLiteral("Связь установлена."));
    QCOMPARE(view->size(), QSize(640, 400));
    QCOMPARE(view->minimumSize(), view->maximumSize());

    // Once updates flow the busy overlay is gone and the view shows the device's frame; the
    // session's copy may lag the device by one pass, it converges on the still screen.
    QTRY_VERIFY_WITH_TIMEOUT(view->session()->isReady(), kConnectMs);
    QTRY_VERIFY(!view->busyIndicator()->isVisible());
    QCOMPARE(device->frame().size(), QSize(640, 400));
    QTRY_VERIFY_WITH_TIMEOUT(shownRgb16(view) == device->frame(), kConnectMs);

    // Half the size: the whole screen, scaled down; nearest-pixel scaling mostly agrees.
    view->setFixedSize(320, 200);
    const QImage expected = device->frame().scaled(320, 200);
    QTRY_COMPARE(shownRgb16(view).size(), QSize(320, 200));
    const QImage shown = shownRgb16(view);
    int same = 0;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 320; ++x)
            same += shown.pixel(x, y) == expected.pixel(x, y) ? 1 : 0;
    QVERIFY2(same > 320 * 200 * 9 / 10, qPrintable(QString::number(same)));
    view->setFixedSize(640, 400);

    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(button->text(), QStringLiteral("Подключить"), kConnectMs);
    QVERIFY(button->isEnabled());
    QCOMPARE(button->icon().cacheKey(), IconSet::instance()->connect.cacheKey());
    QVERIFY(bar->addressField()->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(view->session()->action(), int(HVNC::Idle), kConnectMs);
    QTRY_COMPARE(StatusFrame::instance()->text(), QStringLiteral("Нет связи."));
    // The view keeps the device's size and turns gray.
    QCOMPARE(view->size(), QSize(640, 400));
    QTRY_COMPARE(QColor(view->grab().toImage().pixel(320, 200)), QColor(Qt::gray));
    QTest::qWait(300);
    QCOMPARE(boxes.count(), 0);
}

void TestRemoteScreenRoad::nothingListening()
{
    RemoteScreenFixture::setDeviceAddress(QStringLiteral("127.5.1.3"));
    solmirtest::MessageBoxWatcher boxes;
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* bar = window.findChild<ControllWidget*>();
    HButton* button = bar->connectButton();
    DisplayFrame* view = TabVNC::instance()->displayFrame();

    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(!button->isEnabled());
    QVERIFY(boxes.waitForCount(1, kConnectMs));
    QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), kConnectMs);
    QTRY_COMPARE_WITH_TIMEOUT(view->session()->action(), int(HVNC::Idle), kConnectMs);
    QCOMPARE(button->text(), QStringLiteral("Подключить"));
    QVERIFY(bar->addressField()->isEnabled());
    QTest::qWait(500);
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.boxes().at(0).icon, QMessageBox::Critical);
    QCOMPARE(boxes.texts().at(0),
             QStringLiteral("Ошибка подключения к серверу: «%1» !")
                 .arg(HVNC::socketErrorText(QAbstractSocket::ConnectionRefusedError)));
}

void TestRemoteScreenRoad::busyOverlayFollowsAction()
{
    QWidget window;
    auto* view = new DisplayFrame(&window);
    window.resize(300, 200);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    DownloadProgress* busy = view->busyIndicator();
    QVERIFY(!busy->isVisible());
    const bool visibleFor[] = {false, true, true, false, true};
    for (int action : {1, 2, 3, 4, 0, 4, 3}) {
        QVERIFY(QMetaObject::invokeMethod(view, "onNextActionChanged", Q_ARG(int, action)));
        QCOMPARE(busy->isVisible(), visibleFor[action]);
    }
    // The overlay covers the view whatever its size.
    view->setFixedSize(123, 77);
    QTRY_COMPARE(busy->size(), QSize(123, 77));
}

QTEST_MAIN(TestRemoteScreenRoad)
#include "tst_remotescreen_road.moc"
