// The connection bar: the address field and the button that connects to the address typed
// into it and disconnects without a message box.
#include "appfixture.h"
#include "messageboxwatcher.h"
#include "parameters/parametrip.h"
#include "parameters/settings.h"
#include "parameters/widgets/prfield.h"
#include "remote/controllwidget.h"
#include "remote/displayframe.h"
#include "remote/hvnc.h"
#include "remotescreenfixture.h"
#include "shell/hbutton.h"
#include "shell/iconset.h"
#include "simulator/rfbserver.h"
#include "simulator/simoptions.h"

#include <QLabel>
#include <QLineEdit>
#include <QtTest>

namespace {
constexpr int kConnectMs = 20000;
}

class TestControllWidget : public QObject
{
    Q_OBJECT
private slots:
    void connectsToTypedAddressAndDisconnectsQuietly();
};

void TestControllWidget::connectsToTypedAddressAndDisconnectsQuietly()
{
    solmirtest::createSingletons();
    const QString address = QStringLiteral("127.5.5.1");
    SimOptions options = RemoteScreenFixture::deviceOptions(address);
    options.screenSize = QSize(320, 240);
    // The device stops answering after its first screen in Exchange, so every disconnect below
    // meets a pass that waits on it: the moment a failure box could wrongly be raised.
    options.stallAfterUpdates = 4;
    auto device = RemoteScreenFixture::startDevice(options);
    QVERIFY(device);
    RemoteScreenFixture::setDeviceAddress(QStringLiteral("192.168.0.3"));
    solmirtest::MessageBoxWatcher boxes;

    QWidget window;
    QFont font = window.font();
    font.setPointSize(17);
    window.setFont(font);
    auto* bar = new ControllWidget(&window);
    auto* view = new DisplayFrame(&window);
    view->move(0, 60);
    bar->setDisplayFrame(view);
    view->session()->setTimeout(60000);
    const QByteArray request = QByteArray::fromHex("03 00 0000 0000 0140 00f0");
    window.resize(600, 400);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // The field holds any address at the bar's own font.
    const int width = static_cast<int>(
        1.5 * QFontMetrics(bar->font()).horizontalAdvance(QStringLiteral("  888.888.888.888  ")));
    QCOMPARE(bar->addressField()->minimumWidth(), width);
    QCOMPARE(bar->addressField()->maximumWidth(), width);
    QCOMPARE(bar->addressField()->label()->text(), QStringLiteral("IP адрес"));
    HButton* button = bar->connectButton();
    QCOMPARE(button->text(), QStringLiteral("Подключить"));
    QCOMPARE(button->icon().cacheKey(), IconSet::instance()->connect.cacheKey());

    // The operator types the device's address into the field.
    auto* line = bar->addressField()->findChild<QLineEdit*>();
    QVERIFY(line);
    line->selectAll();
    QTest::keyClick(line, Qt::Key_Backspace);
    QTest::keyClicks(line, address);
    QCOMPARE(Settings::instance()->prIP->addressText(), address);

    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(!button->isEnabled());
    // From the click on, the address stays that of the device being connected.
    QVERIFY(!bar->addressField()->isEnabled());
    line->selectAll();
    QTest::keyClicks(line, QStringLiteral("127.5.5.9"));
    QCOMPARE(Settings::instance()->prIP->addressText(), address);
    QTRY_COMPARE_WITH_TIMEOUT(button->text(), QStringLiteral("Отключить"), kConnectMs);
    QVERIFY(button->isEnabled());
    QCOMPARE(button->icon().cacheKey(), IconSet::instance()->disconnect.cacheKey());
    QVERIFY(!bar->addressField()->isEnabled());
    QCOMPARE(device->connectionCount(), 1);
    QCOMPARE(view->size(), QSize(320, 240));
    QTRY_COMPARE_WITH_TIMEOUT(device->clientMessages().count(request), 5, kConnectMs);

    // Disconnecting does not disable the button and raises no box.
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(button->text(), QStringLiteral("Подключить"), kConnectMs);
    QVERIFY(button->isEnabled());
    QVERIFY(bar->addressField()->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(view->session()->action(), int(HVNC::Idle), kConnectMs);
    QTest::qWait(300);
    QCOMPARE(boxes.count(), 0);

    // And again: each click is a new connection.
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(button->text(), QStringLiteral("Отключить"), kConnectMs);
    QCOMPARE(device->connectionCount(), 2);
    QTRY_COMPARE_WITH_TIMEOUT(device->clientMessages().count(request), 10, kConnectMs);
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(view->session()->action(), int(HVNC::Idle), kConnectMs);
    QCOMPARE(boxes.count(), 0);

    // A failed attempt gives the address back, as a disconnect does. Nothing listens here.
    RemoteScreenFixture::setDeviceAddress(QStringLiteral("127.5.5.2"));
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(!bar->addressField()->isEnabled());
    QVERIFY(boxes.waitForCount(1));
    QTRY_VERIFY_WITH_TIMEOUT(bar->addressField()->isEnabled(), kConnectMs);
    QVERIFY(button->isEnabled());
    QCOMPARE(button->text(), QStringLiteral("Подключить"));
}

QTEST_MAIN(TestControllWidget)
#include "tst_controllwidget.moc"
