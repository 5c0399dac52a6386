// The connection bar: its look in both states, the address field, and the button that
// connects to the address typed into it and disconnects without a message box.
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

#include <QGridLayout>
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
    void initTestCase();
    void initialLook();
    void fieldWidthFollowsFont();
    void connectsToTypedAddressAndDisconnectsQuietly();
    void otherIdsDoNothing();
};

void TestControllWidget::initTestCase()
{
    solmirtest::createSingletons();
}

void TestControllWidget::initialLook()
{
    QWidget window;
    auto* bar = new ControllWidget(&window);
    auto* view = new DisplayFrame(&window);
    bar->setDisplayFrame(view);
    QCOMPARE(bar->minimumHeight(), 50);
    QCOMPARE(bar->maximumHeight(), 50);
    auto* grid = qobject_cast<QGridLayout*>(bar->layout());
    QVERIFY(grid);
    QCOMPARE(grid->contentsMargins(), QMargins(10, 1, 1, 1));
    QCOMPARE(grid->columnCount(), 3);
    QCOMPARE(grid->itemAtPosition(0, 0)->widget(), static_cast<QWidget*>(bar->addressField()));
    QCOMPARE(grid->itemAtPosition(0, 1)->widget(), static_cast<QWidget*>(bar->connectButton()));
    QWidget* filler = grid->itemAtPosition(0, 2)->widget();
    QCOMPARE(filler->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(filler->sizePolicy().verticalPolicy(), QSizePolicy::Maximum);

    HButton* button = bar->connectButton();
    QCOMPARE(button->id(), quint8(0));
    QCOMPARE(button->text(), QStringLiteral("Подключить"));
    QCOMPARE(button->iconSize(), QSize(20, 20));
    QCOMPARE(button->icon().cacheKey(), IconSet::instance()->connect.cacheKey());
    QVERIFY(button->isEnabled());
    QVERIFY(bar->addressField()->isEnabled());
    QVERIFY(bar->addressField()->label());
    QCOMPARE(bar->addressField()->label()->text(), QStringLiteral("IP адрес"));
}

void TestControllWidget::fieldWidthFollowsFont()
{
    for (int pointSize : {8, 11, 17}) {
        QWidget window;
        QFont font = window.font();
        font.setPointSize(pointSize);
        window.setFont(font);
        auto* bar = new ControllWidget(&window);
        const int sample =
            QFontMetrics(bar->font()).horizontalAdvance(QStringLiteral("  888.888.888.888  "));
        const int expected = static_cast<int>(1.5 * sample);
        QCOMPARE(bar->addressField()->minimumWidth(), expected);
        QCOMPARE(bar->addressField()->maximumWidth(), expected);
    }
}

void TestControllWidget::connectsToTypedAddressAndDisconnectsQuietly()
{
    const QString address = QStringLiteral("127.5.5.1");
    SimOptions options = RemoteScreenFixture::deviceOptions(address);
    options.screenSize = QSize(320, 240);
    auto device = RemoteScreenFixture::startDevice(options);
    QVERIFY(device);
    RemoteScreenFixture::setDeviceAddress(QStringLiteral("192.168.0.3"));
    solmirtest::MessageBoxWatcher boxes;

    QWidget window;
    auto* bar = new ControllWidget(&window);
    auto* view = new DisplayFrame(&window);
    view->move(0, 60);
    bar->setDisplayFrame(view);
    window.resize(600, 400);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    // The operator types the device's address into the field.
    auto* line = bar->addressField()->findChild<QLineEdit*>();
    QVERIFY(line);
    line->selectAll();
    QTest::keyClick(line, Qt::Key_Backspace);
    QTest::keyClicks(line, address);
    QCOMPARE(Settings::instance()->prIP->addressText(), address);

    HButton* button = bar->connectButton();
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(!button->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(button->text(), QStringLiteral("Отключить"), kConnectMs);
    QVERIFY(button->isEnabled());
    QCOMPARE(button->icon().cacheKey(), IconSet::instance()->disconnect.cacheKey());
    QVERIFY(!bar->addressField()->isEnabled());
    QCOMPARE(device->connectionCount(), 1);
    QCOMPARE(view->size(), QSize(320, 240));

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
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(view->session()->action(), int(HVNC::Idle), kConnectMs);
    QCOMPARE(boxes.count(), 0);
}

void TestControllWidget::otherIdsDoNothing()
{
    QWidget window;
    auto* bar = new ControllWidget(&window);
    auto* view = new DisplayFrame(&window);
    bar->setDisplayFrame(view);
    bar->handleButton(1);
    bar->handleButton(255);
    QCOMPARE(view->session()->action(), int(HVNC::Idle));
    QVERIFY(bar->connectButton()->isEnabled());
}

QTEST_MAIN(TestControllWidget)
#include "tst_controllwidget.moc"
