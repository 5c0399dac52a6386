#include "messageboxwatcher.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QThread>

namespace solmirtest {

MessageBoxWatcher::MessageBoxWatcher(bool closeBoxes, QObject* parent)
    : QObject(parent), close(closeBoxes)
{
    // A box runs its own nested event loop; this timer keeps firing inside it.
    connect(&timer, &QTimer::timeout, this, &MessageBoxWatcher::poll);
    timer.start(10);
}

QStringList MessageBoxWatcher::texts() const
{
    QStringList list;
    for (const SeenBox& box : seen)
        list << box.text;
    return list;
}

void MessageBoxWatcher::poll()
{
    const auto widgets = QApplication::topLevelWidgets();
    for (QWidget* widget : widgets) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (!box || !box->isVisible() || known.contains(QPointer<QMessageBox>(box)))
            continue;
        known.append(box);
        SeenBox record;
        record.title = box->windowTitle();
        record.text = box->text();
        record.icon = box->icon();
        record.onGuiThread = box->thread() == qApp->thread();
        seen.append(record);
        if (close)
            QMetaObject::invokeMethod(box, "accept", Qt::QueuedConnection);
    }
    // Forget boxes that are gone so a reused address is not mistaken for an old box.
    for (int i = known.size() - 1; i >= 0; --i) {
        if (!known.at(i) || !widgets.contains(known.at(i).data()))
            known.removeAt(i);
    }
}

bool MessageBoxWatcher::waitForCount(int n, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (seen.size() < n && clock.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return seen.size() >= n;
}

} // namespace solmirtest
