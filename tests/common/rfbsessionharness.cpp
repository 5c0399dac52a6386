#include "rfbsessionharness.h"

#include "appfixture.h"
#include "parameters/parametrip.h"
#include "parameters/settings.h"
#include "remote/syncedmutexlocker.h"
#include "shell/messagehandler.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QMutexLocker>
#include <QTest>

RfbSessionHarness::RfbSessionHarness(const QString& address, QObject* parent) : QObject(parent)
{
    solmirtest::createSingletons();
    Settings::instance()->prIP->setAddress(QHostAddress(address));
    connect(MessageHandler::instance(), SIGNAL(showStatusSignal(QString, int)), this,
            SLOT(onStatus(QString, int)));
    session = new HVNC(this);
    connect(session, SIGNAL(neetToInputPassword()), this, SLOT(onPassword()));
    session->start();
    connect(session, SIGNAL(updateDisplay()), this, SLOT(onUpdated()),
            Qt::BlockingQueuedConnection);
    connect(session, SIGNAL(connectStateChanged(bool)), this, SLOT(onConnectState(bool)));
    connect(session, SIGNAL(actionChanged(int)), this, SLOT(onAction(int)));
}

RfbSessionHarness::~RfbSessionHarness()
{
    deleteSession();
}

void RfbSessionHarness::deleteSession()
{
    if (!session)
        return;
    disconnect(session, SIGNAL(updateDisplay()), this, SLOT(onUpdated()));
    delete session;
    session = nullptr;
}

void RfbSessionHarness::connectSession()
{
    session->setAction(HVNC::Connect);
}

void RfbSessionHarness::disconnectSession()
{
    session->setErrorShown(true);
    session->setAction(HVNC::Disconnect);
}

bool RfbSessionHarness::waitFor(const std::function<bool()>& cond, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!cond() && clock.elapsed() < timeoutMs)
        QTest::qWait(5);
    return cond();
}

bool RfbSessionHarness::waitForAction(int action, int timeoutMs)
{
    return waitFor(
        [this, action]() {
            return !actions.isEmpty() && actions.last() == action && session->action() == action;
        },
        timeoutMs);
}

bool RfbSessionHarness::waitForIdleAfter(int timeoutMs)
{
    return waitFor(
        [this]() {
            return !actions.isEmpty() && actions.last() == HVNC::Idle &&
                   session->action() == HVNC::Idle;
        },
        timeoutMs);
}

quint16 RfbSessionHarness::pixel(int x, int y)
{
    SyncedMutexLocker lock(&session->imageMutex);
    const QImage* image = session->image();
    if (x < 0 || y < 0 || x >= image->width() || y >= image->height())
        return 0;
    return reinterpret_cast<const quint16*>(image->constScanLine(y))[x];
}

qint64 RfbSessionHarness::peakRssKiB()
{
    return statusKiB("VmHWM:");
}

qint64 RfbSessionHarness::statusKiB(const QByteArray& field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray& line : lines) {
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

void RfbSessionHarness::onStatus(QString text, int type)
{
    Q_UNUSED(type)
    statuses << text;
}

void RfbSessionHarness::onAction(int action)
{
    actions << action;
}

void RfbSessionHarness::onConnectState(bool connected)
{
    connectStates << connected;
}

void RfbSessionHarness::onUpdated()
{
    ++updates;
    if (onUpdateHook)
        onUpdateHook();
}

void RfbSessionHarness::onPassword()
{
    ++passwordRequests;
    session->setPassword(passwordAnswer, passwordAccepted);
}
