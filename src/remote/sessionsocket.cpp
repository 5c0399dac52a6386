#include "remote/sessionsocket.h"

#include "remote/sockethelper.h"
#include "remote/syncedmutexlocker.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace {

// Bytes the socket may hold unread before it stops taking more from the network.
constexpr qint64 socketBufferBytes = 1024 * 1024;
// Longest single block of the worker, so that a lost wake-up costs no more than this.
constexpr int waitSliceMs = 100;
// The device's time to take one input message before the next.
constexpr int inputPauseMs = 10;

} // namespace

SessionSocket::SessionSocket(const std::atomic<bool>& running) : running(running) {}

QTcpSocket* SessionSocket::open()
{
    socket = new QTcpSocket();
    socket->setReadBufferSize(socketBufferBytes);
    helper = new SocketHelper(socket);
    wakeTimer = new QTimer();
    wakeTimer->setSingleShot(true);
    // A coarse timer may fire 5 % late, which would stretch every 100 ms pacing step.
    wakeTimer->setTimerType(Qt::PreciseTimer);
    SyncedMutexLocker lock(&dispatcherMutex);
    dispatcher = QAbstractEventDispatcher::instance();
    return socket;
}

void SessionSocket::release()
{
    {
        SyncedMutexLocker lock(&dispatcherMutex);
        dispatcher = nullptr;
    }
    delete wakeTimer;
    wakeTimer = nullptr;
    delete socket;
    socket = nullptr;
    helper = nullptr;
}

bool SessionSocket::connectTo(const QString& host, quint16 port, int timeoutMs)
{
    if (socket->state() != QAbstractSocket::UnconnectedState)
        socket->abort();
    helper->clearFailure();
    socket->connectToHost(host, port, QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
    if (!waitConnected(timeoutMs))
        return false;
    // Only now: Qt drops options set before the connection exists. Input messages are small
    // and must not wait for the device's acknowledgement of the previous one.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    return true;
}

bool SessionSocket::send(const QByteArray& bytes)
{
    if (failOnAbort())
        return false;
    SyncedMutexLocker io(&ioMutex);
    const qint64 written = socket->write(bytes);
    // Small messages go out now instead of waiting for the next wait on the socket.
    socket->flush();
    return written == bytes.size();
}

void SessionSocket::sendInput(const QByteArray& message, int timeoutMs)
{
    SyncedMutexLocker io(&ioMutex);
    if (!socket->isOpen())
        return;
    socket->write(message);
    socket->flush();
    waitWritten(timeoutMs);
    pause(inputPauseMs);
    discardWaiting();
}

qint64 SessionSocket::readSome(char* data, qint64 maxBytes, const QDeadlineTimer& deadline)
{
    if (failOnAbort())
        return -1;
    for (;;) {
        const qint64 available = socket->bytesAvailable();
        if (available > 0) {
            SyncedMutexLocker io(&ioMutex);
            const qint64 got = socket->read(data, std::min(available, maxBytes));
            if (got > 0)
                return got;
        }
        if (failOnAbort())
            return -1;
        if (!running || socket->state() != QAbstractSocket::ConnectedState)
            return -1;
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            return 0;
        waitForEvents(int(left));
    }
}

void SessionSocket::discardWaiting()
{
    char scrap[4096];
    while (socket->bytesAvailable() > 0 && socket->read(scrap, sizeof scrap) > 0) {
    }
}

bool SessionSocket::isConnected() const
{
    return socket->state() == QAbstractSocket::ConnectedState;
}

void SessionSocket::close()
{
    socket->close();
    socket->disconnectFromHost();
}

void SessionSocket::abort()
{
    socket->abort();
}

QAbstractSocket::SocketError SessionSocket::error() const
{
    return socket->error();
}

int SessionSocket::failure() const
{
    return helper->failure();
}

void SessionSocket::waitForEvents(int ms)
{
    wakeTimer->start(std::max(1, std::min(ms, waitSliceMs)));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    wakeTimer->stop();
}

void SessionSocket::pause(int ms, bool wakeOnInput)
{
    QDeadlineTimer deadline(ms);
    while (!mustStop() && !(wakeOnInput && wakeFlag)) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            break;
        waitForEvents(int(left));
    }
    // Consumed here, so that a wake-up makes one early return, not a spin.
    if (wakeOnInput)
        wakeFlag = false;
}

void SessionSocket::requestAbort()
{
    abortFlag = true;
    wake();
}

void SessionSocket::clearAbort()
{
    abortFlag = false;
}

bool SessionSocket::abortRequested() const
{
    return abortFlag;
}

bool SessionSocket::mustStop() const
{
    return !running || abortFlag;
}

void SessionSocket::wake()
{
    wakeFlag = true;
    SyncedMutexLocker lock(&dispatcherMutex);
    if (dispatcher)
        dispatcher->wakeUp();
}

bool SessionSocket::wakePending() const
{
    return wakeFlag;
}

void SessionSocket::clearWake()
{
    wakeFlag = false;
}

bool SessionSocket::failOnAbort()
{
    if (!abortFlag)
        return false;
    socket->abort();
    close();
    if (dropped)
        dropped();
    return true;
}

bool SessionSocket::waitConnected(int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (socket->state() == QAbstractSocket::ConnectedState)
            return true;
        if (socket->state() == QAbstractSocket::UnconnectedState)
            return false;
        if (mustStop()) {
            socket->abort();
            return false;
        }
        const qint64 left = timeoutMs - clock.elapsed();
        // The last moments go to Qt's own wait, which reports the time-out as a socket error.
        if (left <= waitSliceMs)
            return socket->waitForConnected(int(std::max<qint64>(left, 1)));
        waitForEvents(int(left - waitSliceMs));
    }
}

bool SessionSocket::waitWritten(int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (socket->bytesToWrite() > 0 && socket->state() == QAbstractSocket::ConnectedState) {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0 || mustStop())
            return false;
        waitForEvents(int(left));
    }
    return socket->bytesToWrite() == 0;
}
