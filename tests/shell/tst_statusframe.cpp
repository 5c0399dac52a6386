// The status line: text, LED geometry and the blink that always comes to rest on gray.
#include "shell/ledwidget.h"
#include "shell/statusframe.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPropertyAnimation>
#include <QtTest>

namespace {

QList<QPropertyAnimation*> animationsOf(LedWidget* led)
{
    // Stopped flashes delete themselves later; flush that before counting.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return led->findChildren<QPropertyAnimation*>();
}

} // namespace

class TestStatusFrame : public QObject
{
    Q_OBJECT
private slots:
    void ledColourRoundTrips();
    void layoutAndHeight();
    void setStatusShowsTextAndFlashes();
    void secondFlashRestartsFromGray();
};

void TestStatusFrame::ledColourRoundTrips()
{
    LedWidget led(nullptr);
    QCOMPARE(led.color(), QColor(Qt::gray));
    QVERIFY(led.autoFillBackground());
    const QColor colour(12, 200, 34);
    QVERIFY(led.setProperty("color", colour));
    QCOMPARE(led.property("color").value<QColor>(), colour);
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        QCOMPARE(led.palette().brush(group, QPalette::Window).color(), colour);
    QCOMPARE(led.palette().brush(QPalette::Active, QPalette::Window).style(), Qt::SolidPattern);
}

void TestStatusFrame::layoutAndHeight()
{
    StatusFrame frame(nullptr);
    QCOMPARE(StatusFrame::instance(), &frame);
    const int height = int(1.2 * double(frame.fontMetrics().height()));
    QCOMPARE(frame.minimumHeight(), height);
    QCOMPARE(frame.maximumHeight(), height);
    QCOMPARE(frame.frameShape(), QFrame::NoFrame);
    auto* layout = qobject_cast<QHBoxLayout*>(frame.layout());
    QVERIFY(layout);
    QCOMPARE(layout->contentsMargins(), QMargins(10, 0, 0, 0));
    auto* label = frame.findChild<QLabel*>();
    QVERIFY(label);
    QCOMPARE(layout->indexOf(frame.led()), 0);
    QCOMPARE(layout->indexOf(label), 1);

    frame.resize(400, height);
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    QCOMPARE(frame.led()->size(), QSize(10, 10));
    QCOMPARE(frame.led()->x(), 10);
    QVERIFY(frame.led()->geometry().right() < label->geometry().left());
    QVERIFY(label->text().isEmpty());
}

void TestStatusFrame::setStatusShowsTextAndFlashes()
{
    StatusFrame frame(nullptr);
    frame.setStatus(QStringLiteral("Подключение к 192.168.0.3 ..."));
    QCOMPARE(frame.text(), QStringLiteral("Подключение к 192.168.0.3 ..."));
    const auto running = animationsOf(frame.led());
    QCOMPARE(running.size(), 1);
    QPropertyAnimation* flash = running.first();
    QCOMPARE(flash->state(), QAbstractAnimation::Running);
    QCOMPARE(flash->targetObject(), frame.led());
    QCOMPARE(flash->propertyName(), QByteArray("color"));
    QCOMPARE(flash->duration(), 800);
    QCOMPARE(flash->easingCurve().type(), QEasingCurve::OutQuad);
    const QVariantAnimation::KeyValues expected = {{0.0, QColor(Qt::gray)},
                                                   {0.3, QColor(Qt::green)},
                                                   {0.5, QColor(Qt::gray)},
                                                   {0.8, QColor(Qt::green)},
                                                   {1.0, QColor(Qt::gray)}};
    QCOMPARE(flash->keyValues(), expected);

    // Device texts are shown as they are, never as markup.
    auto* label = frame.findChild<QLabel*>();
    QCOMPARE(label->textFormat(), Qt::PlainText);
    frame.setStatus(QStringLiteral("<b>x</b>"));
    QCOMPARE(frame.text(), QStringLiteral("<b>x</b>"));
}

void TestStatusFrame::secondFlashRestartsFromGray()
{
    StatusFrame frame(nullptr);
    LedWidget* led = frame.led();
    frame.setStatus(QStringLiteral("первый"));
    QTRY_VERIFY_WITH_TIMEOUT(led->color() != QColor(Qt::gray), 5000);
    frame.setStatus(QStringLiteral("второй"));
    QCOMPARE(frame.text(), QStringLiteral("второй"));
    QCOMPARE(led->color(), QColor(Qt::gray));
    const auto running = animationsOf(led);
    QCOMPARE(running.size(), 1);
    QCOMPARE(running.first()->state(), QAbstractAnimation::Running);
    QTRY_VERIFY_WITH_TIMEOUT(animationsOf(led).isEmpty(), 10000);
    QCOMPARE(led->color(), QColor(Qt::gray));
}

QTEST_MAIN(TestStatusFrame)
#include "tst_statusframe.moc"
