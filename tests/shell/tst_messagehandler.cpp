// Messages and status texts sent from a worker thread reach the operator on the GUI thread.
#include "appfixture.h"
#include "shell/logfile.h"
#include "shell/messagehandler.h"
#include "shell/statusframe.h"

#include <QApplication>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QThread>
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

// Records every message box as it is shown (title, text, icon, text format), in order, and
// closes it; a box opened inside another box's event loop is seen too.
class BoxLog : public QObject
{
public:
    BoxLog() { qApp->installEventFilter(this); }
    ~BoxLog() override { qApp->removeEventFilter(this); }
    QList<QStringList> shown;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* box = qobject_cast<QMessageBox*>(watched);
        if (box && event->type() == QEvent::Show) {
            shown << QStringList{box->windowTitle(), box->text(), QString::number(box->icon()),
                                 QString::number(box->textFormat())};
            QMetaObject::invokeMethod(box, "accept", Qt::QueuedConnection);
        }
        return false;
    }
};

} // namespace

class TestMessageHandler : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void statusReachesOnlyALivingStatusLine();
    void messageBoxes_data();
    void messageBoxes();
    void logFileMovesAsideWhenFull();
};

void TestMessageHandler::initTestCase()
{
    // Reports issued before start-up has built the handler must not bring the program down.
    MessageHandler::showStatus(QStringLiteral("слишком рано"));
    MessageHandler::showCritical(QStringLiteral("слишком рано"));
    solmirtest::createSingletons();
    QVERIFY(MessageHandler::instance() != nullptr);
}

void TestMessageHandler::statusReachesOnlyALivingStatusLine()
{
    // No status line yet: the text goes nowhere, and nothing else pops up instead.
    const int widgetsBefore = QApplication::allWidgets().size();
    MessageHandler::showStatus(QStringLiteral("до окна"));
    QVERIFY(runOnWorker([] { MessageHandler::showStatus(QStringLiteral("из потока")); }));
    QCoreApplication::processEvents();
    QCOMPARE(QApplication::allWidgets().size(), widgetsBefore);

    {
        StatusFrame frame(nullptr);
        QVERIFY(
            runOnWorker([] { MessageHandler::showStatus(QStringLiteral("Связь установлена.")); }));
        // The worker returned before the GUI thread ran its queue.
        QVERIFY(frame.text().isEmpty());
        QTRY_COMPARE(frame.text(), QStringLiteral("Связь установлена."));
        // Queued now, delivered only after the frame is destroyed.
        QVERIFY(runOnWorker([] { MessageHandler::showStatus(QStringLiteral("Нет связи.")); }));
    }
    QVERIFY(StatusFrame::instance() == nullptr);
    QCoreApplication::processEvents();
}

void TestMessageHandler::messageBoxes_data()
{
    QTest::addColumn<int>("icon");
    QTest::addColumn<bool>("fromWorker");
    QTest::newRow("information, worker") << int(QMessageBox::Information) << true;
    QTest::newRow("warning, worker") << int(QMessageBox::Warning) << true;
    QTest::newRow("critical, worker") << int(QMessageBox::Critical) << true;
    QTest::newRow("critical, GUI thread") << int(QMessageBox::Critical) << false;
}

void TestMessageHandler::messageBoxes()
{
    QFETCH(int, icon);
    QFETCH(bool, fromWorker);
    BoxLog log;
    // A file name from the device that looks like markup is shown as it is, not rendered.
    const QString text = QStringLiteral("Ошибка обмена! <b>%1</b> <img src=\"x\">").arg(icon);
    const std::function<void()> call = [icon, text] {
        if (icon == QMessageBox::Information)
            MessageHandler::showInformation(text);
        else if (icon == QMessageBox::Warning)
            MessageHandler::showWarning(text);
        else
            MessageHandler::showCritical(text);
    };
    if (fromWorker) {
        // Two in quick succession: the second must not be lost while the first is open.
        QVERIFY(runOnWorker([call] {
            call();
            call();
        }));
        QCOMPARE(log.shown.size(), 0);
        QTRY_COMPARE(log.shown.size(), 2);
    } else {
        call();
        QCOMPARE(log.shown.size(), 1);
    }
    const QStringList expected{QStringLiteral("Сообщение АРМ СОЛМИР-3"), text,
                               QString::number(icon), QString::number(Qt::PlainText)};
    for (const QStringList& box : log.shown)
        QCOMPARE(box, expected);
}

void TestMessageHandler::logFileMovesAsideWhenFull()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("solmir3-arm.log"));
    {
        LogFile log(path);
        QVERIFY(log.isOpen());
        const QString line(999, QLatin1Char('x'));
        for (int i = 0; i < 1100; ++i)
            log.write(line);
        log.write(QStringLiteral("the last line"));
    }
    // One old file is kept, and neither passes the size.
    QVERIFY(QFileInfo(path + QStringLiteral(".1")).size() > 1000 * 1000);
    QVERIFY(QFileInfo(path + QStringLiteral(".1")).size() <= LogFile::defaultMaxBytes);
    QVERIFY(QFileInfo(path).size() < 200 * 1000);
    QFile current(path);
    QVERIFY(current.open(QIODevice::ReadOnly));
    QVERIFY(current.readAll().endsWith("the last line\n"));
    QVERIFY(!QFileInfo::exists(path + QStringLiteral(".2")));
    // A folder that cannot hold the file costs nothing but the file.
    LogFile nowhere(dir.filePath(QStringLiteral("missing/solmir3-arm.log")));
    QVERIFY(!nowhere.isOpen());
    nowhere.write(QStringLiteral("lost"));
}

QTEST_MAIN(TestMessageHandler)
#include "tst_messagehandler.moc"
