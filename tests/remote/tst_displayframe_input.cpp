// The operator's mouse, wheel and keys on the remote screen view, checked byte for byte at a
// simulated device, on a double-density screen.
#include "appfixture.h"
#include "messageboxwatcher.h"
#include "remote/displayframe.h"
#include "remote/hvnc.h"
#include "remote/rfbprotocol.h"
#include "remotescreenfixture.h"
#include "shell/messagehandler.h"
#include "simulator/rfbserver.h"
#include "simulator/simoptions.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QtEndian>
#include <QtTest>

#include <functional>

namespace {

constexpr int kConnectMs = 20000;

QByteArray pointer(int mask, int x, int y)
{
    return rfb::pointerEvent(mask, x, y);
}

QByteArray key(bool down, quint32 keysym)
{
    return rfb::keyEvent(down, keysym);
}

struct Step
{
    std::function<void(QWidget*)> send;
    QList<QByteArray> expected;
};

std::function<void(QWidget*)> mouse(QEvent::Type type, QPointF pos, Qt::MouseButton button,
                                    Qt::MouseButtons held)
{
    return [=](QWidget* view) {
        QMouseEvent event(type, pos, pos + view->mapToGlobal(QPoint()), button, held,
                          Qt::NoModifier);
        QApplication::sendEvent(view, &event);
    };
}

std::function<void(QWidget*)> wheel(QPoint pos, QPoint angle)
{
    return [=](QWidget* view) {
        QWheelEvent event(pos, view->mapToGlobal(pos), QPoint(), angle, Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view, &event);
    };
}

std::function<void(QWidget*)> keyEvent(QEvent::Type type, int code, Qt::KeyboardModifiers modifiers,
                                       const QString& text = {})
{
    return [=](QWidget* view) {
        QKeyEvent event(type, code, modifiers, text);
        QApplication::sendEvent(view, &event);
    };
}

const QEvent::Type press = QEvent::MouseButtonPress;
const QEvent::Type release = QEvent::MouseButtonRelease;
const QEvent::Type move = QEvent::MouseMove;
const QEvent::Type keyDown = QEvent::KeyPress;
const QEvent::Type keyUp = QEvent::KeyRelease;

} // namespace

class TestDisplayFrameInput : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void mouseWheelAndKeys();
    void inputTakenFromTheView_data();
    void inputTakenFromTheView();
    void fastMotionEndsAtTheLastPosition();
    void scaledPositions();
    void positionsAtDoubleDensity();
    void inputBeforeConnectionIsDropped();
    void viewAlreadyOfTheDeviceSize();

private:
    // Sends each step and checks that exactly its input reached the device.
    void run(const QList<Step>& steps);

    solmirtest::MessageBoxWatcher boxes;
    std::unique_ptr<RfbServer> device;
    QWidget* window = nullptr;
    DisplayFrame* view = nullptr;
    // Somewhere else for the keyboard focus to go.
    QLineEdit* line = nullptr;
};

void TestDisplayFrameInput::initTestCase()
{
    solmirtest::createSingletons();
    const QString address = QStringLiteral("127.5.2.1");
    SimOptions options = RemoteScreenFixture::deviceOptions(address);
    options.screenSize = QSize(800, 480);
    device = RemoteScreenFixture::startDevice(options);
    QVERIFY(device);
    RemoteScreenFixture::setDeviceAddress(address);

    window = new QWidget;
    view = new DisplayFrame(window);
    line = new QLineEdit(window);
    line->move(820, 0);
    window->resize(900, 600);
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QTRY_VERIFY(view->hasFocus());
    view->session()->setAction(HVNC::Connect);
    QTRY_VERIFY_WITH_TIMEOUT(view->session()->isReady(), kConnectMs);
    QTRY_COMPARE(view->size(), QSize(800, 480));
    QTest::qWait(150);
    device->clearClientMessages();
}

void TestDisplayFrameInput::cleanupTestCase()
{
    QVERIFY2(boxes.count() == 0, qPrintable(boxes.texts().join(QStringLiteral(" | "))));
    delete window;
    device.reset();
}

void TestDisplayFrameInput::run(const QList<Step>& steps)
{
    for (int i = 0; i < steps.size(); ++i) {
        steps.at(i).send(view);
        const QList<QByteArray>& expected = steps.at(i).expected;
        QTRY_VERIFY_WITH_TIMEOUT(
            RemoteScreenFixture::inputMessages(*device).size() >= expected.size(), kConnectMs);
        // Nothing more may follow.
        QTest::qWait(expected.isEmpty() ? 250 : 60);
        const QList<QByteArray> got = RemoteScreenFixture::inputMessages(*device);
        device->clearClientMessages();
        QStringList gotHex, expectedHex;
        for (const QByteArray& m : got)
            gotHex << QString::fromLatin1(m.toHex(' '));
        for (const QByteArray& m : expected)
            expectedHex << QString::fromLatin1(m.toHex(' '));
        QVERIFY2(got == expected, qPrintable(QStringLiteral("step %1: got [%2] expected [%3]")
                                                 .arg(i)
                                                 .arg(gotHex.join('|'), expectedHex.join('|'))));
    }
}

void TestDisplayFrameInput::mouseWheelAndKeys()
{
    run({
        {mouse(move, {100, 50}, Qt::NoButton, Qt::NoButton), {pointer(0, 100, 50)}},
        {mouse(press, {100, 50}, Qt::LeftButton, Qt::LeftButton),
         {QByteArray::fromHex("050100640032")}},
        {mouse(press, {101, 51}, Qt::RightButton, Qt::LeftButton | Qt::RightButton),
         {pointer(5, 101, 51)}},
        {mouse(release, {102, 52}, Qt::RightButton, Qt::LeftButton), {pointer(1, 102, 52)}},
        // Dragging beyond the view's edge: unclamped, sent as the low 16 bits.
        {mouse(move, {-5, 900}, Qt::NoButton, Qt::LeftButton),
         {QByteArray::fromHex("0501fffb0384")}},
        {mouse(release, {799, 479}, Qt::LeftButton, Qt::NoButton), {pointer(0, 799, 479)}},
        {mouse(press, {3, 4}, Qt::MiddleButton, Qt::MiddleButton), {pointer(2, 3, 4)}},
        // A back button: its press leaves the mask alone, its release lets go of everything.
        {mouse(press, {3, 4}, Qt::BackButton, Qt::MiddleButton | Qt::BackButton),
         {pointer(2, 3, 4)}},
        {mouse(release, {3, 4}, Qt::BackButton, Qt::MiddleButton), {pointer(0, 3, 4)}},
        // Each notch is a whole click: button 4 or 5 down and up again, as servers take the
        // mask for the buttons' state; two notches in one event are two clicks.
        {wheel({200, 100}, {0, 120}), {pointer(8, 200, 100), pointer(0, 200, 100)}},
        {wheel({200, 100}, {0, -240}),
         {pointer(16, 200, 100), pointer(0, 200, 100), pointer(16, 200, 100),
          pointer(0, 200, 100)}},
        // In mid-drag the held button stays down throughout.
        {mouse(press, {5, 6}, Qt::LeftButton, Qt::LeftButton), {pointer(1, 5, 6)}},
        {wheel({5, 6}, {0, 120}), {pointer(9, 5, 6), pointer(1, 5, 6)}},
        {mouse(release, {5, 6}, Qt::LeftButton, Qt::NoButton), {pointer(0, 5, 6)}},
        // A horizontal wheel follows its own axis; a zero delta counts as towards the user.
        {wheel({7, 8}, {120, 0}), {pointer(8, 7, 8), pointer(0, 7, 8)}},
        {wheel({7, 8}, {0, 0}), {pointer(16, 7, 8), pointer(0, 7, 8)}},
        {keyEvent(keyDown, Qt::Key_A, Qt::NoModifier, "a"),
         {QByteArray::fromHex("0401000000000061")}},
        {keyEvent(keyUp, Qt::Key_A, Qt::NoModifier, "a"),
         {QByteArray::fromHex("0400000000000061")}},
        // A release carries the keysym its press sent, whatever the modifiers are by then.
        {keyEvent(keyDown, Qt::Key_Shift, Qt::ShiftModifier), {key(true, 0xFFE2)}},
        {keyEvent(keyDown, Qt::Key_A, Qt::ShiftModifier, "A"), {key(true, 0x41)}},
        {keyEvent(keyUp, Qt::Key_Shift, Qt::NoModifier), {key(false, 0xFFE2)}},
        {keyEvent(keyUp, Qt::Key_A, Qt::NoModifier, "a"), {key(false, 0x41)}},
        {keyEvent(keyDown, Qt::Key_A, Qt::ControlModifier), {key(true, 0x41)}},
        {keyEvent(keyDown, Qt::Key_F1, Qt::NoModifier), {key(true, 0xFFBE)}},
        {keyEvent(keyUp, Qt::Key_F1, Qt::NoModifier), {key(false, 0xFFBE)}},
        {keyEvent(keyDown, Qt::Key_Return, Qt::NoModifier, "\r"), {key(true, 0xFF0D)}},
        {keyEvent(keyDown, Qt::Key_Enter, Qt::KeypadModifier, "\r"), {key(true, 0xFF0D)}},
        {keyEvent(keyDown, Qt::Key_5, Qt::KeypadModifier, "5"), {key(true, 0x35)}},
        // Keys without a keysym (a Cyrillic letter) never reach the device.
        {keyEvent(keyDown, 0x0424, Qt::NoModifier, QStringLiteral("ф")), {}},
        {keyEvent(keyUp, 0x0424, Qt::NoModifier, QStringLiteral("ф")), {}},
        {keyEvent(keyDown, Qt::Key_Comma, Qt::NoModifier, ","), {key(true, 0x2C)}},
        {keyEvent(keyUp, Qt::Key_Comma, Qt::NoModifier, ","), {key(false, 0x2C)}},
        {keyEvent(keyDown, Qt::Key_Less, Qt::ShiftModifier, "<"), {key(true, 0x3C)}},
        // The focus moves on: the keys still down are let go, the last one first and each
        // keysym once (Return and Enter share one); no button is down.
        {[this](QWidget*) { line->setFocus(Qt::TabFocusReason); },
         {key(false, 0x3C), key(false, 0x35), key(false, 0xFF0D), key(false, 0x41)}},
        {[](QWidget* view) { view->setFocus(); }, {}},
    });
}

void TestDisplayFrameInput::inputTakenFromTheView_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("modal box") << 0;
    QTest::newRow("Tab") << 1;
    QTest::newRow("hidden") << 2;
    QTest::newRow("another window") << 3;
    // The keys and the button were given to the view while the focus was elsewhere.
    QTest::newRow("hidden, the focus elsewhere") << 4;
}

void TestDisplayFrameInput::inputTakenFromTheView()
{
    QFETCH(int, how);
    QWidget other;
    const auto takeAndGiveBack = [&](QWidget*) {
        if (how == 0) {
            // Returns once the watcher has closed the box.
            MessageHandler::showInformation(QStringLiteral("Файлы загружены."));
            boxes.clear();
        } else if (how == 1) {
            keyEvent(keyDown, Qt::Key_Tab, Qt::NoModifier, "\t")(view);
            QVERIFY(line->hasFocus());
        } else if (how == 2 || how == 4) {
            view->hide();
            view->show();
        } else {
            other.show();
            other.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&other));
        }
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        view->setFocus();
        QVERIFY(view->hasFocus());
    };
    if (how == 4)
        line->setFocus();
    // The operator lets go of everything while the input is elsewhere; the device must too.
    run({
        {keyEvent(keyDown, Qt::Key_Shift, Qt::ShiftModifier), {key(true, 0xFFE2)}},
        {keyEvent(keyDown, Qt::Key_A, Qt::ShiftModifier, "A"), {key(true, 0x41)}},
        {mouse(press, {10, 20}, Qt::LeftButton, Qt::LeftButton), {pointer(1, 10, 20)}},
        {takeAndGiveBack, {key(false, 0x41), key(false, 0xFFE2), pointer(0, 10, 20)}},
        {keyEvent(keyUp, Qt::Key_A, Qt::NoModifier, "a"), {}},
        {keyEvent(keyUp, Qt::Key_Shift, Qt::NoModifier), {}},
        {mouse(move, {30, 40}, Qt::NoButton, Qt::NoButton), {pointer(0, 30, 40)}},
    });
}

void TestDisplayFrameInput::fastMotionEndsAtTheLastPosition()
{
    // Newer motion replaces older motion still waiting, so the last position arrives last.
    mouse(press, {10, 10}, Qt::LeftButton, Qt::LeftButton)(view);
    for (int i = 0; i < 50; ++i)
        mouse(move, QPoint(10 + i, 20), Qt::NoButton, Qt::LeftButton)(view);
    mouse(release, {60, 20}, Qt::LeftButton, Qt::NoButton)(view);
    QTRY_VERIFY_WITH_TIMEOUT(RemoteScreenFixture::inputMessages(*device).size() >= 3, kConnectMs);
    QTest::qWait(250);
    const QList<QByteArray> got = RemoteScreenFixture::inputMessages(*device);
    device->clearClientMessages();
    QVERIFY2(got.size() < 50, qPrintable(QString::number(got.size())));
    QCOMPARE(got.first(), pointer(1, 10, 10));
    QCOMPARE(got.at(got.size() - 2), pointer(1, 59, 20));
    QCOMPARE(got.last(), pointer(0, 60, 20));
}

void TestDisplayFrameInput::scaledPositions()
{
    // 800 x 480 shown in 300 x 200: 8/3 and 2.4 device pixels per view pixel, truncated.
    view->setFixedSize(300, 200);
    QTRY_COMPARE(view->size(), QSize(300, 200));
    run({
        {mouse(move, {7, 11}, Qt::NoButton, Qt::NoButton), {pointer(0, 18, 26)}},
        {mouse(press, {299, 199}, Qt::LeftButton, Qt::LeftButton), {pointer(1, 797, 477)}},
        {mouse(release, {150, 100}, Qt::LeftButton, Qt::NoButton), {pointer(0, 400, 240)}},
        {wheel({3, 5}, {0, -120}), {pointer(16, 8, 12), pointer(0, 8, 12)}},
    });
    view->setFixedSize(800, 480);
    QTRY_COMPARE(view->size(), QSize(800, 480));
    run({{mouse(move, {7, 11}, Qt::NoButton, Qt::NoButton), {pointer(0, 7, 11)}}});
}

void TestDisplayFrameInput::positionsAtDoubleDensity()
{
    // The program runs at double density (see main): a view pixel covers 2 x 2 screen pixels,
    // and a pointer on its far half still belongs to it, never to the next device pixel.
    QCOMPARE(view->devicePixelRatioF(), 2.0);
    QCOMPARE(view->size(), QSize(800, 480));
    run({
        {mouse(move, {10.5, 20.5}, Qt::NoButton, Qt::NoButton), {pointer(0, 10, 20)}},
        {mouse(press, {799.5, 479.5}, Qt::LeftButton, Qt::LeftButton), {pointer(1, 799, 479)}},
        {mouse(release, {799.5, 479.5}, Qt::LeftButton, Qt::NoButton), {pointer(0, 799, 479)}},
    });
    view->setFixedSize(300, 200);
    QTRY_COMPARE(view->size(), QSize(300, 200));
    run({{mouse(move, {7.5, 11.5}, Qt::NoButton, Qt::NoButton), {pointer(0, 20, 27)}}});
    view->setFixedSize(800, 480);
    QTRY_COMPARE(view->size(), QSize(800, 480));
}

void TestDisplayFrameInput::inputBeforeConnectionIsDropped()
{
    // A button held when the connection ends is not held on the next one.
    run({{mouse(press, {1, 1}, Qt::LeftButton, Qt::LeftButton), {pointer(1, 1, 1)}}});
    // As the bar does: the operator's own disconnect is not reported.
    view->session()->setErrorShown(true);
    view->session()->setAction(HVNC::Disconnect);
    QTRY_COMPARE_WITH_TIMEOUT(view->session()->action(), int(HVNC::Idle), kConnectMs);
    device->clearClientMessages();
    mouse(press, {1, 1}, Qt::LeftButton, Qt::LeftButton)(view);
    keyEvent(keyDown, Qt::Key_B, Qt::NoModifier, QStringLiteral("b"))(view);
    wheel({1, 1}, {0, 120})(view);

    view->session()->setAction(HVNC::Connect);
    QTRY_VERIFY_WITH_TIMEOUT(view->session()->isReady(), kConnectMs);
    QTest::qWait(300);
    QCOMPARE(RemoteScreenFixture::inputMessages(*device).size(), 0);
    // The press above was dropped, so the mask is empty.
    run({{mouse(move, {2, 2}, Qt::NoButton, Qt::NoButton), {pointer(0, 2, 2)}}});
}

void TestDisplayFrameInput::viewAlreadyOfTheDeviceSize()
{
    // No resize follows the connection when the view already has the device's size; the
    // screen must still be shown at scale 1 and positions reach the device unchanged.
    const QString address = QStringLiteral("127.5.2.2");
    SimOptions options = RemoteScreenFixture::deviceOptions(address);
    options.screenSize = QSize(300, 200);
    auto fittedDevice = RemoteScreenFixture::startDevice(options);
    QVERIFY(fittedDevice);
    RemoteScreenFixture::setDeviceAddress(address);
    QWidget other;
    auto* fitted = new DisplayFrame(&other);
    fitted->setFixedSize(300, 200);
    other.show();
    QVERIFY(QTest::qWaitForWindowExposed(&other));
    fitted->session()->setAction(HVNC::Connect);
    QTRY_VERIFY_WITH_TIMEOUT(fitted->session()->isReady(), kConnectMs);
    // Drawn at the view's logical size: every device pixel as 2 x 2 screen pixels.
    QTRY_VERIFY_WITH_TIMEOUT(fitted->grab().toImage().convertToFormat(QImage::Format_RGB16) ==
                                 fittedDevice->frame().scaled(600, 400),
                             kConnectMs);
    fittedDevice->clearClientMessages();
    mouse(move, {225, 150}, Qt::NoButton, Qt::NoButton)(fitted);
    QTRY_COMPARE_WITH_TIMEOUT(RemoteScreenFixture::inputMessages(*fittedDevice),
                              QList<QByteArray>{pointer(0, 225, 150)}, kConnectMs);
    fitted->session()->setErrorShown(true);
    fitted->session()->setAction(HVNC::Disconnect);
    QTRY_COMPARE_WITH_TIMEOUT(fitted->session()->action(), int(HVNC::Idle), kConnectMs);
}

int main(int argc, char* argv[])
{
    // Double density, as a desktop sets it for a 4K screen; it must be in place before the
    // application object.
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestDisplayFrameInput test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_displayframe_input.moc"
