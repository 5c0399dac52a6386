// Tests that input sent over RFB changes the simulated panel, seen through real updates.
#include "simtestclient.h"
#include "simulator/panelscreen.h"
#include "simulator/rfbserver.h"

#include <QtTest>
#include <memory>

namespace {

struct Session
{
    SimTestClient client;
    std::unique_ptr<RfbServer> server = client.startDevice("127.4.2.1");

    QImage screen()
    {
        const QSize size = server->frame().size();
        const QByteArray pixels = client.requestUpdate(QRect(QPoint(), size), size, 2);
        if (pixels.isEmpty())
            return QImage();
        return QImage(reinterpret_cast<const uchar*>(pixels.constData()), size.width(),
                      size.height(), size.width() * 2, QImage::Format_RGB16)
            .copy();
    }
    void click(quint8 mask, const QPoint& at)
    {
        client.write(SimTestClient::pointerEvent(mask, at.x(), at.y()));
        client.write(SimTestClient::pointerEvent(0, at.x(), at.y()));
    }
    void type(quint32 keysym)
    {
        client.write(SimTestClient::keyEvent(true, keysym));
        client.write(SimTestClient::keyEvent(false, keysym));
    }
};

int differingPixels(const QImage& a, const QImage& b, const QRect& area)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += a.pixel(x, y) != b.pixel(x, y) ? 1 : 0;
    return n;
}

} // namespace

class TestSimInput : public QObject
{
    Q_OBJECT
private slots:
    void inputChangesTheScreen();
    void animatedScreenChanges();
};

void TestSimInput::inputChangesTheScreen()
{
    Session s;
    QVERIFY(s.server);
    PanelScreen* panel = s.server->screen();
    const QRect button = panel->buttonRect(0);
    const QPoint corner = button.topLeft() + QPoint(3, 3);
    const QPoint other = panel->buttonRect(1).topLeft() + QPoint(3, 3);
    const QImage before = s.screen();
    QCOMPARE(before, s.server->frame());
    QCOMPARE(panel->buttonCaption(0), QStringLiteral("СТОП"));

    // The pointer's white cross follows the mouse, and nothing above it changes.
    const QPoint where = button.center() - QPoint(0, 150);
    QVERIFY(QColor(before.pixel(where)) != QColor(Qt::white));
    s.client.write(SimTestClient::pointerEvent(0, where.x(), where.y()));
    const QImage cross = s.screen();
    QCOMPARE(QColor(cross.pixel(where)), QColor(Qt::white));
    QCOMPARE(QColor(cross.pixel(where + QPoint(4, 0))), QColor(Qt::white));
    QCOMPARE(differingPixels(before, cross, QRect(0, 0, s.server->frame().width(), where.y() - 8)),
             0);

    // Middle and left clicks outside the buttons toggle nothing; a click on one toggles it.
    s.click(4, QPoint(5, 5));
    s.click(1, QPoint(5, 5));
    s.click(1, button.center());
    const QImage on = s.screen();
    QVERIFY(panel->buttonOn(0));
    for (int i = 1; i < PanelScreen::buttonCount; ++i)
        QVERIFY(!panel->buttonOn(i));
    QCOMPARE(panel->buttonCaption(0), QStringLiteral("ПУСК"));
    QVERIFY(differingPixels(before, on, button) > button.width() * button.height() / 2);
    QCOMPARE(on.pixel(other), before.pixel(other));
    // Holding the button while moving is one click, not many.
    s.client.write(SimTestClient::pointerEvent(1, button.center().x(), button.center().y()));
    s.click(1, button.center() + QPoint(2, 0));
    const QImage off = s.screen();
    QVERIFY(!panel->buttonOn(0));
    QCOMPARE(off.pixel(corner), before.pixel(corner));

    // Typed keys appear in the text field only; BackSpace erases, Return commits.
    const QRect field = panel->textFieldRect();
    for (quint32 key : {0x41u, 0x62u, 0x01000431u, 0x33u})
        s.type(key);
    const QImage typed = s.screen();
    QCOMPARE(panel->typedText(), QStringLiteral("Abб3"));
    QVERIFY(differingPixels(off, typed, field) > 20);
    QCOMPARE(differingPixels(off, typed, QRect(0, 0, s.server->frame().width(), field.top() - 1)),
             0);
    s.type(0xFF08);
    s.type(0xFFE1); // Shift alone types nothing
    const QImage erased = s.screen();
    QCOMPARE(panel->typedText(), QStringLiteral("Abб"));
    QVERIFY(differingPixels(typed, erased, field) > 0);
    s.type(0xFF0D);
    s.screen();
    QCOMPARE(panel->typedText(), QString());
    QCOMPARE(panel->committedText(), QStringLiteral("Abб"));
}

void TestSimInput::animatedScreenChanges()
{
    SimOptions o;
    o.address = QHostAddress(QStringLiteral("127.4.2.1"));
    o.rfbPort = 0;
    RfbServer server(o);
    QVERIFY(server.start());
    QSignalSpy changed(server.screen(), SIGNAL(changed()));
    const QImage first = server.frame();
    QVERIFY(changed.wait(3000));
    QVERIFY(server.frame() != first);
}

QTEST_MAIN(TestSimInput)
#include "tst_siminput.moc"
