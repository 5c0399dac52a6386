#pragma once
// HVNC: the RFB 3.8 client session with the device's screen, run on its own worker thread.
#include "remote/clienthandshake.h"
#include "remote/externaldevicehandler.h"
#include "remote/rfbprotocol.h"
#include "remote/servermessagehandler.h"
#include "remote/serverreader.h"
#include "remote/sessionsocket.h"
#include "remote/wirelimits.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QElapsedTimer>
#include <QImage>
#include <QList>
#include <QMutex>
#include <QSize>
#include <QString>

#include <atomic>

// The session's state machine and its hand-over to the GUI; the waits on the wire are its
// SessionSocket's, the stages of the handshake its ClientHandshake's. What its ServerReader finds
// it takes in as the reader's handler: it alone owns the screen.
class HVNC : public ExternalDeviceHandler, private ServerMessageHandler
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

    // Configure counts the last of its three passes, and one pass of Exchange may take this
    // many attempts.
    static constexpr int configurePasses = 3;
    static constexpr int updateAttempts = 5;

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

    // What the reader found in a server message.
    int bytesPerPixel() const override { return pixelFormat.bitsPerPixel / 8; }
    void dataRect(const rfb::Rectangle& rect, int firstRow, int rows, const char* pixels) override;
    void framebufferUpdateEnd() override { updated = true; }
    void setColourMapEntries(int firstColour, int colours) override;
    void bell() override;
    void serverCutText(const QByteArray& text) override;

    void step(int action);
    bool handshake();
    bool readServerInit();
    bool sendPixelFormat();
    bool serviceUpdate();
    bool exchange();
    void flushCommands();
    void clearCommands();

    // The handshake's password callback: asks the operator and waits for setPassword();
    // false when the operator cancelled or the wait ended without an answer.
    bool askPassword(QString* text);
    void waitForNextPass();
    void closeConnection();
    QString connectAddress();
    // Shows text in a box unless one was shown for this attempt. When the socket itself
    // failed, its own error is named instead, the same box the GUI side would raise.
    void reportFailure(const QString& text);

    std::atomic<bool> connected{false};
    std::atomic<bool> displayReady{false};
    std::atomic<int> timeout{wire::fieldDeadlineMs};
    std::atomic<int> currentAction{Idle};
    std::atomic<int> nextAction{Idle};

    // The format the server sends in: its own until SetPixelFormat has gone out.
    rfb::PixelFormat pixelFormat;
    // Only a screen that passed the handshake's checks.
    std::atomic<int> frameWidth{0};
    std::atomic<int> frameHeight{0};
    QImage screen;
    // Whether the last server message was a screen update.
    bool updated = false;

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

    SessionSocket socket{running};
    ServerReader reader{socket};
    ClientHandshake handshakeSteps{reader,
                                   [this](const QByteArray& bytes) { return socket.send(bytes); },
                                   [this](QString* text) { return askPassword(text); }};
    QByteArray updateRequest;
    QElapsedTimer frameTimer;
};
