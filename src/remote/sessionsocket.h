#pragma once
// SessionSocket: the session's TCP connection as the worker sees it, the reader's byte source.
// Every wait blocks in the worker's event wait and ends on an abort request, a wake-up or the end
// of the session.
#include "remote/bytesource.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QMutex>
#include <QString>

#include <atomic>
#include <functional>

class QAbstractEventDispatcher;
class QTcpSocket;
class QTimer;
class SocketHelper;

class SessionSocket : public ByteSource
{
public:
    // running: the session's loop flag; a wait ends as soon as it falls.
    explicit SessionSocket(const std::atomic<bool>& running);

    // Worker thread: the socket lives from open() to release(), inside the session loop.
    QTcpSocket* open();
    void release();
    // Drops what is left of the last connection, then connects within timeoutMs.
    bool connectTo(const QString& host, quint16 port, int timeoutMs);
    bool send(const QByteArray& bytes);
    // One input message: written, waited for at most timeoutMs, then 10 ms for the device and
    // whatever it answered dropped. A closed socket loses it without a word.
    void sendInput(const QByteArray& message, int timeoutMs);
    qint64 readSome(char* data, qint64 maxBytes, const QDeadlineTimer& deadline) override;
    void discardWaiting() override;
    bool isConnected() const override;
    void close();
    void abort();
    // The socket's last error, and the first it reported since connectTo(), or -1.
    QAbstractSocket::SocketError error() const;
    int failure() const;

    // Blocks the worker until a socket event, a wake() or at most ms; socket signals, errors
    // included, are delivered inside.
    void waitForEvents(int ms);
    // Sleeps up to ms; returns early when the worker must stop or the connection is being
    // dropped, and with wakeOnInput also at a wake().
    void pause(int ms, bool wakeOnInput = false);

    // Any thread. While an abort is requested every send and read drops the connection and fails.
    void requestAbort();
    void clearAbort();
    bool abortRequested() const;
    bool mustStop() const;
    // Input or a new action arrived: the worker looks at once.
    void wake();
    bool wakePending() const;
    void clearWake();

    // Called on the worker when an abort request has dropped the connection.
    std::function<void()> dropped;

private:
    bool failOnAbort();
    bool waitConnected(int timeoutMs);
    bool waitWritten(int timeoutMs);

    const std::atomic<bool>& running;
    QTcpSocket* socket = nullptr;
    SocketHelper* helper = nullptr;
    QTimer* wakeTimer = nullptr;
    std::atomic<bool> abortFlag{false};
    std::atomic<bool> wakeFlag{false};
    // Held around every write and read of the socket.
    QMutex ioMutex;
    // The worker's event dispatcher while the socket is open; wake() interrupts its wait.
    QMutex dispatcherMutex;
    QAbstractEventDispatcher* dispatcher = nullptr;
};
