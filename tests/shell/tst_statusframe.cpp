// The status line: literal text, and an LED blink that restarts and always rests on gray.
#include "shell/ledwidget.h"
#include "shell/statusframe.h"

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
    void statusTextAndBlink();
};

void TestStatusFrame::statusTextAndBlink()
{
    StatusFrame frame(nullptr);
    LedWidget* led = frame.led();
    // Device texts are shown as they are, never as markup.
    frame.setStatus(QStringLiteral("<b>Файл</b> принят"));
    QCOMPARE(frame.text(), QStringLiteral("<b>Файл</b> принят"));
    QCOMPARE(frame.findChild<QLabel*>()->textFormat(), Qt::PlainText);
    QTRY_VERIFY_WITH_TIMEOUT(led->color() != QColor(Qt::gray), 5000);

    // A new status mid-blink starts over from gray with a single blink.
    frame.setStatus(QStringLiteral("Нет связи."));
    QCOMPARE(frame.text(), QStringLiteral("Нет связи."));
    QCOMPARE(led->color(), QColor(Qt::gray));
    const auto running = animationsOf(led);
    QCOMPARE(running.size(), 1);
    QCOMPARE(running.first()->state(), QAbstractAnimation::Running);
    QTRY_VERIFY_WITH_TIMEOUT(animationsOf(led).isEmpty(), 10000);
    QCOMPARE(led->color(), QColor(Qt::gray));
}

QTEST_MAIN(TestStatusFrame)
#include "tst_statusframe.moc"
