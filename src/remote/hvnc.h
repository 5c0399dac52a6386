#pragma once
// HVNC: the RFB 3.8 client session with the device's screen, run on its own worker thread.
#include "remote/bytesource.h"
#include "remote/externaldevicehandler.h"
#include "remote/rfbprotocol.h"
#include "remote/serverreader.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QElapsedTimer>
#include <QImage>
#include <QList>
#include <QMutex>
#include <QSize>
#include <QString>

#include <atomic>

class QAbstractEventDispatcher;
class SocketHelper;
class QTcpSocket;
class QTimer;

// The session is the reader's byte source: the worker's socket, with its waits and aborts.
class HVNC : public ExternalDeviceHandler, private ByteSource
{
    Q_OBJECT
public:
    enum Action
    {
        Idle,
        Connect,
        Configure,
        Exchange,
        Disconnect
    };

    explicit HVNC(QObject* parent = nullptr);
    ~HVNC() override;

    // Held by the worker while it writes pixels and by the view while it paints image().
    QMutex imageMutex;

    // GUI thread. Blocks while the worker is connecting, configuring or disconnecting.
    void setAction(int action);
    int action() const;
    void setErrorShown(bool shown);
    bool isReady() const;
    QSize frameSize() const;
    void setPassword(QString password, bool accepted);
    // Read only while holding imageMutex.
    QImage* image();
    enum CommandKind
    {
        OrdinaryCommand = 0,
        // Pointer motion: replaces motion still queued.
        MotionCommand = 1
    };
    // False when the message was not queued. Older messages that a full queue pushes out
    // for it are appended to dropped.
    bool sendMessage(QByteArray message, int kind, QList<QByteArray>* dropped = nullptr);

    // Time-out of connecting, of each receive and of each wait for written bytes.
    void setTimeout(int ms);
    int timeoutMs() const;

    static QString socketErrorText(QAbstractSocket::SocketError error);

signals:
    void connectStateChanged(bool connected);
    void updateDisplay();
    void neetToInputPassword();
    void actionChanged(int action);

private slots:
    void clientDisconnected(QAbstractSocket::SocketError error);
    void onSocetReadyRead();

protected:
    void process() override;
    void interrupt() override;

private:
    struct Command
    {
        int kind = OrdinaryCommand;
        QByteArray message;
    };

    void step(int action);
    bool handshake();
    bool readServerInit();
    bool sendPixelFormat();
    bool serviceUpdate();
    bool exchange();
    void flushCommands();
    void clearCommands();

    bool send();
    // ByteSource, for the reader: every wait ends on an abort or the end of the session.
    qint64 readSome(char* data, qint64 maxBytes, const QDeadlineTimer& deadline) override;
    void discardWaiting() override;
    bool isConnected() const override;
    bool waitConnected();
    bool waitWritten();
    void closeConnection();
    bool failOnAbort();
    bool mustStop() const;
    // Blocks the worker until a socket event, a wake() or at most ms; socket signals,
    // errors included, are delivered inside.
    void waitForEvents(int ms);
    // Sleeps up to ms; returns early when the worker must stop or the connection is being
    // dropped, and with wakeOnInput also when input or a new action arrives.
    void pause(int ms, bool wakeOnInput = false);
    void waitForNextPass();
    void wake();
    QString connectAddress();
    // Shows text in a box unless one was shown for this attempt. When the socket itself
    // failed, its own error is named instead, the same box the GUI side would raise.
    void reportFailure(const QString& text);

    QTcpSocket* socket = nullptr;
    SocketHelper* socketHelper = nullptr;
    std::atomic<bool> connected{false};
    std::atomic<bool> displayReady{false};
    std::atomic<bool> abortRequested{false};
    std::atomic<int> timeout{10000};
    std::atomic<int> currentAction{Idle};
    std::atomic<int> nextAction{Idle};

    // The format the server sends in: its own until SetPixelFormat has gone out.
    rfb::PixelFormat pixelFormat;
    // Only a screen that passed the reader's checks.
    std::atomic<int> frameWidth{0};
    std::atomic<int> frameHeight{0};
    QImage screen;

    QMutex queueMutex;
    QList<Command> commandQueue;

    std::atomic<bool> errorShown{false};
    std::atomic<bool> passwordAnswered{false};
    std::atomic<bool> passwordAccepted{false};
    // Guards the two texts handed over by the GUI thread.
    QMutex textMutex;
    QString password;
    // The address to connect to, taken on the GUI thread when Connect is requested.
    QString address;

    QMutex ioMutex;
    ServerReader reader{*this};
    QByteArray sendBuffer;
    QByteArray updateRequest;
    QElapsedTimer frameTimer;

    // Input or a new action arrived since the worker last looked.
    std::atomic<bool> wakePending{false};
    // The worker's event dispatcher while process() runs; wake() interrupts its wait.
    QMutex dispatcherMutex;
    QAbstractEventDispatcher* dispatcher = nullptr;
    QTimer* wakeTimer = nullptr;
};
