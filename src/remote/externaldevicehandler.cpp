#include "remote/externaldevicehandler.h"

#include "remote/syncedmutexlocker.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>

ExternalDeviceHandler::ExternalDeviceHandler(QObject* parent) : QObject(parent), mutex(new QMutex())
{
}

ExternalDeviceHandler::~ExternalDeviceHandler()
{
    finish();
    delete mutex;
}

void ExternalDeviceHandler::start()
{
    stop();
    QMutexLocker lock(mutex);
    joinRetired(true);
    if (!thread) {
        running = true;
        thread = new QThread();
        connect(thread, SIGNAL(started()), this, SLOT(handleDevice()), Qt::DirectConnection);
        thread->start(QThread::NormalPriority);
    }
}

void ExternalDeviceHandler::stop()
{
    QMutexLocker lock(mutex);
    if (!thread)
        return;
    running = false;
    interrupt();
    if (thread->wait(200)) {
        SyncedMutexLocker::acquired(mutex);
        delete thread;
    } else {
        // Only one worker can be pending here: start() joins the previous one first.
        delete retired;
        retired = thread;
    }
    thread = nullptr;
}

void ExternalDeviceHandler::finish()
{
    stop();
    QMutexLocker lock(mutex);
    joinRetired(false);
}

void ExternalDeviceHandler::joinRetired(bool deliverBlockedCalls)
{
    if (!retired)
        return;
    // The worker may be inside a blocking-queued emission waiting for this (GUI) thread.
    // While the receivers live, deliver those calls; while the owner is being destroyed,
    // drop them, which releases the worker as well.
    while (!retired->wait(10)) {
        const QCoreApplication* app = QCoreApplication::instance();
        if (!app || QThread::currentThread() != app->thread())
            continue;
        if (deliverBlockedCalls)
            QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
        else if (parent())
            QCoreApplication::removePostedEvents(parent(), QEvent::MetaCall);
    }
    SyncedMutexLocker::acquired(mutex);
    delete retired;
    retired = nullptr;
}

void ExternalDeviceHandler::delay(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QThread::msleep(1);
}

void ExternalDeviceHandler::process() {}

void ExternalDeviceHandler::customHook() {}

void ExternalDeviceHandler::interrupt() {}

void ExternalDeviceHandler::handleDevice()
{
    process();
    // Everything the worker did happens before the joining thread goes on (Qt's join is
    // invisible to ThreadSanitizer).
    SyncedMutexLocker::releasing(mutex);
    QThread::currentThread()->quit();
}
