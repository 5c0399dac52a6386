// Tests that input sent over RFB changes the simulated panel, seen through real updates.
#include "simtestclient.h"
#include "simulator/panelscreen.h"
#include "simulator/rfbserver.h"

#include <QtTest>
#include <memory>

namespace {

const char* const kAddress = "127.4.2.1";

struct Session
{
    std::unique_ptr<RfbServer> server;
    SimTestClient client;
    QSize size;

    bool open(bool animate = false)
    {
        SimOptions o;
        o.address = QHostAddress(QString::fromLatin1(kAddress));
        o.rfbPort = 0;
        o.animate = animate;
        size = o.screenSize;
        server = std::make_unique<RfbServer>(o);
        return server->start() && client.connectTo(o.address, server->port()) &&
               !client.handshakeNone().isEmpty();
    }
    QImage screen()
    {
        QByteArray pixels;
        if (!client.requestUpdate(size, 2, &pixels))
            return QImage();
        QImage image(size, QImage::Format_RGB16);
        for (int y = 0; y < size.height(); ++y)
            memcpy(image.scanLine(y), pixels.constData() + y * size.width() * 2, size.width() * 2);
        return image;
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
    void staticScreenOnlyChangesOnInput();
    void clickTogglesButton();
    void clickOutsideButtonsTogglesNothing();
    void typedKeysAppear();
    void pointerCrossFollowsTheMouse();
    void animatedScreenChanges();
};

void TestSimInput::staticScreenOnlyChangesOnInput()
{
    Session s;
    QVERIFY(s.open());
    const QImage first = s.screen();
    QVERIFY(!first.isNull());
    s.client.drain(300);
    QCOMPARE(s.screen(), first);
    QCOMPARE(first, s.server->frame());
}

void TestSimInput::clickTogglesButton()
{
    Session s;
    QVERIFY(s.open());
    PanelScreen* panel = s.server->screen();
    const QRect button = panel->buttonRect(0);
    const QPoint corner = button.topLeft() + QPoint(3, 3);
    const QImage before = s.screen();
    QCOMPARE(panel->buttonCaption(0), QStringLiteral("СТОП"));

    const QPoint centre = button.center();
    s.client.write(SimTestClient::pointerEvent(1, centre.x(), centre.y()));
    s.client.write(SimTestClient::pointerEvent(0, centre.x(), centre.y()));
    const QImage on = s.screen();
    QVERIFY(panel->buttonOn(0));
    QCOMPARE(panel->buttonCaption(0), QStringLiteral("ПУСК"));
    QVERIFY(on.pixel(corner) != before.pixel(corner));
    QVERIFY(differingPixels(before, on, button) > button.width() * button.height() / 2);
    // The other buttons keep their colour.
    const QPoint other = panel->buttonRect(1).topLeft() + QPoint(3, 3);
    QCOMPARE(on.pixel(other), before.pixel(other));

    // Holding the button while moving is one click, not many.
    s.client.write(SimTestClient::pointerEvent(1, centre.x(), centre.y()));
    s.client.write(SimTestClient::pointerEvent(1, centre.x() + 2, centre.y()));
    s.client.write(SimTestClient::pointerEvent(0, centre.x() + 2, centre.y()));
    const QImage off = s.screen();
    QVERIFY(!panel->buttonOn(0));
    QCOMPARE(off.pixel(corner), before.pixel(corner));
}

void TestSimInput::clickOutsideButtonsTogglesNothing()
{
    Session s;
    QVERIFY(s.open());
    PanelScreen* panel = s.server->screen();
    s.client.write(SimTestClient::pointerEvent(4, 5, 5));
    s.client.write(SimTestClient::pointerEvent(1, 5, 5));
    s.client.write(SimTestClient::pointerEvent(0, 5, 5));
    QVERIFY(!s.screen().isNull());
    for (int i = 0; i < PanelScreen::buttonCount; ++i)
        QVERIFY(!panel->buttonOn(i));
}

void TestSimInput::typedKeysAppear()
{
    Session s;
    QVERIFY(s.open());
    PanelScreen* panel = s.server->screen();
    const QRect field = panel->textFieldRect();
    const QImage before = s.screen();
    for (quint32 key : {0x41u, 0x62u, 0x01000431u, 0x33u}) {
        s.client.write(SimTestClient::keyEvent(true, key));
        s.client.write(SimTestClient::keyEvent(false, key));
    }
    const QImage typed = s.screen();
    QCOMPARE(panel->typedText(), QStringLiteral("Abб3"));
    QVERIFY(differingPixels(before, typed, field) > 20);
    QCOMPARE(differingPixels(before, typed, QRect(0, 0, s.size.width(), field.top() - 1)), 0);

    s.client.write(SimTestClient::keyEvent(true, 0xFF08));
    s.client.write(SimTestClient::keyEvent(true, 0xFFE1)); // Shift alone types nothing
    const QImage erased = s.screen();
    QCOMPARE(panel->typedText(), QStringLiteral("Abб"));
    QVERIFY(differingPixels(typed, erased, field) > 0);

    s.client.write(SimTestClient::keyEvent(true, 0xFF0D));
    s.screen();
    QCOMPARE(panel->typedText(), QString());
    QCOMPARE(panel->committedText(), QStringLiteral("Abб"));
}

void TestSimInput::pointerCrossFollowsTheMouse()
{
    Session s;
    QVERIFY(s.open());
    const QPoint where = s.server->screen()->buttonRect(0).center() - QPoint(0, 150);
    const QImage before = s.screen();
    s.client.write(SimTestClient::pointerEvent(0, where.x(), where.y()));
    const QImage after = s.screen();
    QCOMPARE(QColor(after.pixel(where)), QColor(Qt::white));
    QCOMPARE(QColor(after.pixel(where + QPoint(4, 0))), QColor(Qt::white));
    QVERIFY(differingPixels(before, after, QRect(where - QPoint(6, 6), QSize(13, 13))) > 0);
    QCOMPARE(differingPixels(before, after, QRect(0, 0, s.size.width(), where.y() - 8)), 0);
}

void TestSimInput::animatedScreenChanges()
{
    Session s;
    QVERIFY(s.open(true));
    QSignalSpy changed(s.server->screen(), SIGNAL(changed()));
    const QImage first = s.screen();
    QVERIFY(changed.wait(3000));
    QVERIFY(s.screen() != first);
}

QTEST_MAIN(TestSimInput)
#include "tst_siminput.moc"
