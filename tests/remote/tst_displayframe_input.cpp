// The operator's mouse, wheel and keys on the remote screen view, checked byte for byte at a
// simulated device.
#include "appfixture.h"
#include "messageboxwatcher.h"
#include "remote/displayframe.h"
#include "remote/hvnc.h"
#include "remotescreenfixture.h"
#include "simulator/rfbserver.h"
#include "simulator/simoptions.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QtTest>

#include <functional>

namespace {

constexpr int kConnectMs = 20000;

QByteArray pointer(int mask, int x, int y)
{
    QByteArray m(6, '\0');
    m[0] = 5;
    m[1] = char(mask);
    m[2] = char((x >> 8) & 0xFF);
    m[3] = char(x & 0xFF);
    m[4] = char((y >> 8) & 0xFF);
    m[5] = char(y & 0xFF);
    return m;
}

QByteArray key(bool down, quint32 keysym)
{
    QByteArray m(8, '\0');
    m[0] = 4;
    m[1] = down ? 1 : 0;
    m[4] = char((keysym >> 24) & 0xFF);
    m[5] = char((keysym >> 16) & 0xFF);
    m[6] = char((keysym >> 8) & 0xFF);
    m[7] = char(keysym & 0xFF);
    return m;
}

void sendMouse(QWidget* view, QEvent::Type type, QPoint pos, Qt::MouseButton button,
               Qt::MouseButtons held)
{
    QMouseEvent event(type, pos, view->mapToGlobal(pos), button, held, Qt::NoModifier);
    QApplication::sendEvent(view, &event);
}

void sendWheel(QWidget* view, QPoint pos, QPoint angle)
{
    QWheelEvent event(pos, view->mapToGlobal(pos), QPoint(), angle, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(view, &event);
}

void sendKey(QWidget* view, QEvent::Type type, int code, Qt::KeyboardModifiers modifiers,
             const QString& text = QString())
{
    QKeyEvent event(type, code, modifiers, text);
    QApplication::sendEvent(view, &event);
}

} // namespace

class TestDisplayFrameInput : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void buttonsAndMotion();
    void wheel();
    void keys();
    void scaledPositions();
    void inputBeforeConnectionIsDropped();

private:
    // Runs the action, then waits until exactly the expected input reached the device.
    bool expectInput(const std::function<void()>& action, const QList<QByteArray>& expected);

    // Records and closes any box, so that an unexpected one fails the test instead of
    // blocking it.
    solmirtest::MessageBoxWatcher boxes;
    std::unique_ptr<RfbServer> device;
    QWidget* window = nullptr;
    DisplayFrame* view = nullptr;
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
    window->resize(900, 600);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QCOMPARE(view->session()->action(), int(HVNC::Idle));
    view->session()->setAction(HVNC::Connect);
    QTRY_VERIFY_WITH_TIMEOUT(view->session()->isReady(), kConnectMs);
    QTRY_COMPARE(view->size(), QSize(800, 480));
}

void TestDisplayFrameInput::cleanupTestCase()
{
    QVERIFY2(boxes.count() == 0, qPrintable(boxes.texts().join(QStringLiteral(" | "))));
    delete window;
    device.reset();
}

void TestDisplayFrameInput::init()
{
    QVERIFY(view->session()->isReady());
    // Let anything still on its way arrive before the record is cleared.
    QTest::qWait(150);
    device->clearClientMessages();
}

bool TestDisplayFrameInput::expectInput(const std::function<void()>& action,
                                        const QList<QByteArray>& expected)
{
    action();
    QElapsedTimer clock;
    clock.start();
    while (RemoteScreenFixture::inputMessages(*device).size() < expected.size() &&
           clock.elapsed() < kConnectMs)
        QTest::qWait(10);
    // Nothing more may follow.
    QTest::qWait(250);
    const QList<QByteArray> got = RemoteScreenFixture::inputMessages(*device);
    device->clearClientMessages();
    if (got != expected) {
        QStringList gotHex, expectedHex;
        for (const QByteArray& m : got)
            gotHex << QString::fromLatin1(m.toHex(' '));
        for (const QByteArray& m : expected)
            expectedHex << QString::fromLatin1(m.toHex(' '));
        qWarning().noquote() << "got     " << gotHex.join(QStringLiteral(" | "));
        qWarning().noquote() << "expected" << expectedHex.join(QStringLiteral(" | "));
        return false;
    }
    return true;
}

void TestDisplayFrameInput::buttonsAndMotion()
{
    QVERIFY(expectInput(
        [&] { sendMouse(view, QEvent::MouseMove, QPoint(100, 50), Qt::NoButton, Qt::NoButton); },
        {pointer(0, 100, 50)}));
    QVERIFY(expectInput(
        [&] {
            sendMouse(view, QEvent::MouseButtonPress, QPoint(100, 50), Qt::LeftButton,
                      Qt::LeftButton);
        },
        {QByteArray::fromHex("050100640032")}));
    QVERIFY(expectInput(
        [&] {
            sendMouse(view, QEvent::MouseButtonPress, QPoint(101, 51), Qt::RightButton,
                      Qt::LeftButton | Qt::RightButton);
        },
        {pointer(5, 101, 51)}));
    QVERIFY(expectInput(
        [&] {
            sendMouse(view, QEvent::MouseButtonRelease, QPoint(102, 52), Qt::RightButton,
                      Qt::LeftButton);
        },
        {pointer(1, 102, 52)}));
    // Dragging beyond the view's edge: unclamped, sent as the low 16 bits.
    QVERIFY(expectInput(
        [&] { sendMouse(view, QEvent::MouseMove, QPoint(-5, 900), Qt::NoButton, Qt::LeftButton); },
        {QByteArray::fromHex("0501fffb0384")}));
    QVERIFY(expectInput(
        [&] {
            sendMouse(view, QEvent::MouseButtonRelease, QPoint(799, 479), Qt::LeftButton,
                      Qt::NoButton);
        },
        {pointer(0, 799, 479)}));
    QVERIFY(expectInput(
        [&] {
            sendMouse(view, QEvent::MouseButtonPress, QPoint(3, 4), Qt::MiddleButton,
                      Qt::MiddleButton);
        },
        {pointer(2, 3, 4)}));
    // A back button: its press leaves the mask alone, its release lets go of everything.
    QVERIFY(expectInput(
        [&] {
            sendMouse(view, QEvent::MouseButtonPress, QPoint(3, 4), Qt::BackButton,
                      Qt::MiddleButton | Qt::BackButton);
        },
        {pointer(2, 3, 4)}));
    QVERIFY(expectInput(
        [&] {
            sendMouse(view, QEvent::MouseButtonRelease, QPoint(3, 4), Qt::BackButton,
                      Qt::MiddleButton);
        },
        {pointer(0, 3, 4)}));
    // Fast motion: newer motion replaces older motion still waiting, so the last
    // position always arrives last.
    sendMouse(view, QEvent::MouseButtonPress, QPoint(10, 10), Qt::LeftButton, Qt::LeftButton);
    for (int i = 0; i < 50; ++i)
        sendMouse(view, QEvent::MouseMove, QPoint(10 + i, 20), Qt::NoButton, Qt::LeftButton);
    sendMouse(view, QEvent::MouseButtonRelease, QPoint(60, 20), Qt::LeftButton, Qt::NoButton);
    QTRY_VERIFY_WITH_TIMEOUT(RemoteScreenFixture::inputMessages(*device).size() >= 3, kConnectMs);
    QTest::qWait(250);
    const QList<QByteArray> got = RemoteScreenFixture::inputMessages(*device);
    QVERIFY2(got.size() < 50, qPrintable(QString::number(got.size())));
    QCOMPARE(got.first(), pointer(1, 10, 10));
    QCOMPARE(got.at(got.size() - 2), pointer(1, 59, 20));
    QCOMPARE(got.last(), pointer(0, 60, 20));
}

void TestDisplayFrameInput::wheel()
{
    QVERIFY(expectInput([&] { sendWheel(view, QPoint(200, 100), QPoint(0, 120)); },
                        {pointer(8, 200, 100)}));
    QVERIFY(expectInput([&] { sendWheel(view, QPoint(200, 100), QPoint(0, -120)); },
                        {pointer(16, 200, 100)}));
    // Each notch is one message; held buttons are not merged in and nothing follows.
    QVERIFY(expectInput(
        [&] {
            sendMouse(view, QEvent::MouseButtonPress, QPoint(5, 6), Qt::LeftButton, Qt::LeftButton);
        },
        {pointer(1, 5, 6)}));
    QVERIFY(
        expectInput([&] { sendWheel(view, QPoint(5, 6), QPoint(0, 120)); }, {pointer(8, 5, 6)}));
    QVERIFY(
        expectInput([&] { sendWheel(view, QPoint(5, 6), QPoint(0, 120)); }, {pointer(8, 5, 6)}));
    QVERIFY(expectInput(
        [&] {
            sendMouse(view, QEvent::MouseButtonRelease, QPoint(5, 6), Qt::LeftButton, Qt::NoButton);
        },
        {pointer(0, 5, 6)}));
    // A horizontal wheel follows its own axis; a zero delta counts as towards the user.
    QVERIFY(
        expectInput([&] { sendWheel(view, QPoint(7, 8), QPoint(120, 0)); }, {pointer(8, 7, 8)}));
    QVERIFY(expectInput([&] { sendWheel(view, QPoint(7, 8), QPoint(0, 0)); }, {pointer(16, 7, 8)}));
}

void TestDisplayFrameInput::keys()
{
    struct Step
    {
        QEvent::Type type;
        int code;
        Qt::KeyboardModifiers modifiers;
        QString text;
        QList<QByteArray> expected;
    };
    const QEvent::Type press = QEvent::KeyPress;
    const QEvent::Type release = QEvent::KeyRelease;
    const QList<Step> steps = {
        {press, Qt::Key_A, Qt::NoModifier, "a", {QByteArray::fromHex("0401000000000061")}},
        {release, Qt::Key_A, Qt::NoModifier, "a", {QByteArray::fromHex("0400000000000061")}},
        {press, Qt::Key_Shift, Qt::ShiftModifier, "", {key(true, 0xFFE2)}},
        {press, Qt::Key_A, Qt::ShiftModifier, "A", {key(true, 0x41)}},
        {release, Qt::Key_A, Qt::ShiftModifier, "A", {key(false, 0x41)}},
        {release, Qt::Key_Shift, Qt::NoModifier, "", {key(false, 0xFFE2)}},
        {press, Qt::Key_A, Qt::ControlModifier, "", {key(true, 0x41)}},
        {press, Qt::Key_F1, Qt::NoModifier, "", {key(true, 0xFFBE)}},
        {release, Qt::Key_F1, Qt::NoModifier, "", {key(false, 0xFFBE)}},
        {press, Qt::Key_Return, Qt::NoModifier, "\r", {key(true, 0xFF0D)}},
        {press, Qt::Key_Enter, Qt::KeypadModifier, "\r", {key(true, 0xFF0D)}},
        {press, Qt::Key_5, Qt::KeypadModifier, "5", {key(true, 0x35)}},
        {press, Qt::Key_Escape, Qt::NoModifier, "", {key(true, 0xFF1B)}},
        // Keys without a keysym (a Cyrillic letter, the comma) never reach the device.
        {press, 0x0424, Qt::NoModifier, QStringLiteral("ф"), {}},
        {release, 0x0424, Qt::NoModifier, QStringLiteral("ф"), {}},
        {press, Qt::Key_Comma, Qt::NoModifier, ",", {}},
    };
    for (const Step& step : steps) {
        QVERIFY2(
            expectInput([&] { sendKey(view, step.type, step.code, step.modifiers, step.text); },
                        step.expected),
            qPrintable(QString::number(step.code, 16)));
    }
}

void TestDisplayFrameInput::scaledPositions()
{
    // 800 x 480 shown in 300 x 200: 8/3 and 2.4 device pixels per view pixel, truncated.
    view->setFixedSize(300, 200);
    QTRY_COMPARE(view->size(), QSize(300, 200));
    QVERIFY(expectInput(
        [&] { sendMouse(view, QEvent::MouseMove, QPoint(7, 11), Qt::NoButton, Qt::NoButton); },
        {pointer(0, 18, 26)}));
    QVERIFY(expectInput(
        [&] {
            sendMouse(view, QEvent::MouseButtonPress, QPoint(299, 199), Qt::LeftButton,
                      Qt::LeftButton);
        },
        {pointer(1, 797, 477)}));
    QVERIFY(expectInput(
        [&] {
            sendMouse(view, QEvent::MouseButtonRelease, QPoint(150, 100), Qt::LeftButton,
                      Qt::NoButton);
        },
        {pointer(0, 400, 240)}));
    QVERIFY(
        expectInput([&] { sendWheel(view, QPoint(3, 5), QPoint(0, -120)); }, {pointer(16, 8, 12)}));
    // The device's size again: view pixel (x, y) is device pixel (x, y).
    view->setFixedSize(800, 480);
    QTRY_COMPARE(view->size(), QSize(800, 480));
    QVERIFY(expectInput(
        [&] { sendMouse(view, QEvent::MouseMove, QPoint(7, 11), Qt::NoButton, Qt::NoButton); },
        {pointer(0, 7, 11)}));
}

void TestDisplayFrameInput::inputBeforeConnectionIsDropped()
{
    // As the bar does: the operator's own disconnect is not reported.
    view->session()->setErrorShown(true);
    view->session()->setAction(HVNC::Disconnect);
    QTRY_COMPARE_WITH_TIMEOUT(view->session()->action(), int(HVNC::Idle), kConnectMs);
    QVERIFY(!view->session()->isReady());
    device->clearClientMessages();
    sendMouse(view, QEvent::MouseButtonPress, QPoint(1, 1), Qt::LeftButton, Qt::LeftButton);
    sendKey(view, QEvent::KeyPress, Qt::Key_B, Qt::NoModifier, QStringLiteral("b"));
    sendWheel(view, QPoint(1, 1), QPoint(0, 120));

    view->session()->setAction(HVNC::Connect);
    QTRY_VERIFY_WITH_TIMEOUT(view->session()->isReady(), kConnectMs);
    QTest::qWait(300);
    QCOMPARE(RemoteScreenFixture::inputMessages(*device).size(), 0);
    // The press above was dropped, so the mask is still empty.
    QVERIFY(expectInput(
        [&] { sendMouse(view, QEvent::MouseMove, QPoint(2, 2), Qt::NoButton, Qt::NoButton); },
        {pointer(0, 2, 2)}));
}

QTEST_MAIN(TestDisplayFrameInput)
#include "tst_displayframe_input.moc"
