// RfbConnection: one client of the simulated RFB server, from ProtocolVersion to updates.
#pragma once

#include "rfbpixelformat.h"
#include "rfbserverhandshake.h"
#include "shownscreen.h"

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QRect>

class QTcpSocket;
class RfbServer;

class RfbConnection : public QObject
{
    Q_OBJECT
public:
    // Takes ownership of the socket.
    RfbConnection(QTcpSocket* socket, RfbServer* server);

signals:
    void closed();

private slots:
    void onReadyRead();
    void onBytesWritten();
    void onDisconnected();
    void onDrip();
    void onScreenChanged();

private:
    enum class State
    {
        Handshake,
        Normal,
        Closing
    };

    void send(const QByteArray& bytes);
    void closeAfterSending();
    void drop();
    bool handleHandshake();
    void sendServerInit();
    void handleMessage(const QByteArray& message);
    void handleUpdateRequest(const QRect& requested, bool incremental);
    void answerRequest(const QRect& requested, bool incremental);
    void sendUpdate(const QRect& requested);
    bool sendChanges();
    bool sendOddReply(const QRect& area);
    void noteUpdate();
    bool backlogged() const;

    QTcpSocket* socket;
    RfbServer* server;
    State state = State::Handshake;
    RfbServerHandshake handshake;
    QByteArray inBuffer;
    quint64 skipRemaining = 0;
    RfbPixelFormat format;
    int requests = 0;
    int updates = 0;
    bool deferred = false;
    QRect deferredRect;
    bool deferredIncremental = false;
    // What this client was last sent (null before its first update), and an incremental
    // request held until the screen differs from it within the requested area.
    ShownScreen shown;
    bool held = false;
    QRect heldRect;
    QByteArray drip;
    int dripPos = 0;
    bool closeWhenDrained = false;
};
