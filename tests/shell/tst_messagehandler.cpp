// Messages and status texts sent from a worker thread reach the operator on the GUI thread.
#include "appfixture.h"
#include "messageboxwatcher.h"
#include "shell/ledwidget.h"
#include "shell/messagehandler.h"
#include "shell/statusframe.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPropertyAnimation>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

// Runs the call on a fresh thread and waits for that thread without processing GUI events:
// if the call waited for the operator, the thread could never finish.
bool runOnWorker(const std::function<void()>& call)
{
    std::unique_ptr<QThread> worker(QThread::create(call));
    worker->start();
    return worker->wait(10000);
}

QList<QMessageBox*> openBoxes()
{
    QList<QMessageBox*> boxes;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box && box->isVisible())
            boxes << box;
    }
    return boxes;
}

// Records the texts of message boxes in the order in which they are shown.
class ShowOrder : public QObject
{
public:
    ShowOrder() { qApp->installEventFilter(this); }
    ~ShowOrder() override { qApp->removeEventFilter(this); }
    QStringList texts;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* box = qobject_cast<QMessageBox*>(watched);
        if (box && event->type() == QEvent::Show)
            texts << box->text();
        return false;
    }
};

} // namespace

class TestMessageHandler : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void statusWithoutStatusLineIsDropped();
    void messagesFromWorkerOpenOnGuiThread_data();
    void messagesFromWorkerOpenOnGuiThread();
    void secondMessageOpensInsideFirst();
    void textsAreShownLiterally();
    void statusFromWorkerReachesStatusLine();
    void statusAfterStatusLineIsGoneIsDropped();
};

void TestMessageHandler::initTestCase()
{
    // Reports issued before start-up has built the handler must not bring the program down.
    MessageHandler::showStatus(QStringLiteral("слишком рано"));
    MessageHandler::showCritical(QStringLiteral("слишком рано"));
    QVERIFY(MessageHandler::instance() == nullptr);
    solmirtest::createSingletons();
    QVERIFY(MessageHandler::instance() != nullptr);
}

void TestMessageHandler::statusWithoutStatusLineIsDropped()
{
    QVERIFY(StatusFrame::instance() == nullptr);
    const int widgetsBefore = QApplication::allWidgets().size();
    MessageHandler::showStatus(QStringLiteral("до окна"));
    QVERIFY(runOnWorker([] { MessageHandler::showStatus(QStringLiteral("из потока")); }));
    QCoreApplication::processEvents();
    QVERIFY(StatusFrame::instance() == nullptr);
    QCOMPARE(QApplication::allWidgets().size(), widgetsBefore);
}

void TestMessageHandler::messagesFromWorkerOpenOnGuiThread_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("icon");
    QTest::newRow("information") << 1 << int(QMessageBox::Information);
    QTest::newRow("warning") << 2 << int(QMessageBox::Warning);
    QTest::newRow("critical") << 3 << int(QMessageBox::Critical);
}

void TestMessageHandler::messagesFromWorkerOpenOnGuiThread()
{
    QFETCH(int, kind);
    QFETCH(int, icon);
    solmirtest::MessageBoxWatcher watcher;
    const QString text = QStringLiteral("Ошибка обмена! %1").arg(kind);
    QVERIFY(runOnWorker([kind, text] {
        if (kind == 1)
            MessageHandler::showInformation(text);
        else if (kind == 2)
            MessageHandler::showWarning(text);
        else
            MessageHandler::showCritical(text);
    }));
    // The worker is done, yet the GUI thread has not run its queue: no box can be open yet.
    QCOMPARE(watcher.count(), 0);
    QVERIFY(watcher.waitForCount(1));
    QCOMPARE(watcher.count(), 1);
    const solmirtest::SeenBox& box = watcher.boxes().first();
    QCOMPARE(box.title, QStringLiteral("Сообщение АРМ СОЛМИР-3"));
    QCOMPARE(box.text, text);
    QCOMPARE(int(box.icon), icon);
    QVERIFY(box.onGuiThread);
    QTRY_VERIFY(openBoxes().isEmpty());
}

void TestMessageHandler::secondMessageOpensInsideFirst()
{
    // Both boxes stay open until they have been seen together, then both are closed; the
    // probe runs inside the boxes' own nested event loops.
    ShowOrder order;
    int mostOpen = 0;
    bool closing = false;
    QElapsedTimer clock;
    clock.start();
    QTimer probe;
    connect(&probe, &QTimer::timeout, [&] {
        const QList<QMessageBox*> boxes = openBoxes();
        mostOpen = qMax(mostOpen, boxes.size());
        if (!closing && (boxes.size() >= 2 || clock.elapsed() > 10000)) {
            closing = true;
            for (QMessageBox* box : boxes)
                QMetaObject::invokeMethod(box, "accept", Qt::QueuedConnection);
        } else if (closing) {
            for (QMessageBox* box : boxes)
                QMetaObject::invokeMethod(box, "accept", Qt::QueuedConnection);
        }
    });
    probe.start(5);
    QVERIFY(runOnWorker([] {
        MessageHandler::showWarning(QStringLiteral("первое"));
        MessageHandler::showCritical(QStringLiteral("второе"));
    }));
    QTRY_VERIFY_WITH_TIMEOUT(closing && openBoxes().isEmpty(), 15000);
    QCOMPARE(mostOpen, 2);
    QCOMPARE(order.texts, QStringList({QStringLiteral("первое"), QStringLiteral("второе")}));
}

void TestMessageHandler::textsAreShownLiterally()
{
    // A name from the device that looks like markup is shown as it is, not rendered.
    const QString text = QStringLiteral("<b>Файл</b> <img src=\"x\">");
    Qt::TextFormat format = Qt::RichText;
    QString shown;
    QTimer probe;
    connect(&probe, &QTimer::timeout, [&] {
        for (QMessageBox* box : openBoxes()) {
            format = box->textFormat();
            shown = box->text();
            QMetaObject::invokeMethod(box, "accept", Qt::QueuedConnection);
        }
    });
    probe.start(5);
    MessageHandler::showInformation(text);
    QCOMPARE(shown, text);
    QCOMPARE(format, Qt::PlainText);
}

void TestMessageHandler::statusFromWorkerReachesStatusLine()
{
    StatusFrame frame(nullptr);
    QCOMPARE(StatusFrame::instance(), &frame);
    QVERIFY(frame.text().isEmpty());
    QVERIFY(runOnWorker([] { MessageHandler::showStatus(QStringLiteral("Связь установлена.")); }));
    QVERIFY(frame.text().isEmpty());
    QTRY_COMPARE(frame.text(), QStringLiteral("Связь установлена."));
    QCOMPARE(frame.led()->findChildren<QPropertyAnimation*>().size(), 1);
}

void TestMessageHandler::statusAfterStatusLineIsGoneIsDropped()
{
    {
        StatusFrame frame(nullptr);
        QCOMPARE(StatusFrame::instance(), &frame);
        // Queued now, delivered only after the frame is destroyed.
        QVERIFY(runOnWorker([] { MessageHandler::showStatus(QStringLiteral("Нет связи.")); }));
    }
    QVERIFY(StatusFrame::instance() == nullptr);
    QCoreApplication::processEvents();
    MessageHandler::showStatus(QStringLiteral("Нет связи."));
    QVERIFY(StatusFrame::instance() == nullptr);
}

QTEST_MAIN(TestMessageHandler)
#include "tst_messagehandler.moc"
