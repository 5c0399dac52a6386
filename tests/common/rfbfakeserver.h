#pragma once
// RfbFakeServer: a scriptable RFB 3.8 server on loopback that plays set server bytes and records
// the client's; its handshake, framing and writers are the simulator's own.
#include "simulator/rfbserverhandshake.h"

#include <QByteArray>
#include <QHostAddress>
#include <QImage>
#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

class QTcpServer;
class QTcpSocket;

class RfbFakeServer : public QObject
{
    Q_OBJECT
public:
    explicit RfbFakeServer(QObject* parent = nullptr);
    ~RfbFakeServer() override;

    bool listen(const QHostAddress& address, quint16 port = 5900);
    void closeClient();

    // --- the script; set before the client connects
    QByteArray version = QByteArrayLiteral("RFB 003.008\n");
    QByteArray securityTypes = QByteArray(1, char(1)); // offered types; empty: count 0 + reason
    QString password;                                  // the one a type 2 client must know
    QByteArray challenge = QByteArrayLiteral("0123456789abcdef");
    QByteArray noneResult = QByteArray(4, '\0'); // SecurityResult after type None
    QSize screenSize{32, 16};
    QByteArray desktopName = QByteArrayLiteral("fake"); // after a 16 bpp 5-6-5 format
    QByteArray serverInitRaw; // when set, sent instead of the whole ServerInit
    QImage frame;             // RGB16, answered to every request unless reply says otherwise
    // Answer to request n (1-based per connection); a null array means the full frame.
    std::function<QByteArray(int request)> reply;
    bool oneBytePerWrite = false;
    int closeAfterUpdates = -1; // close after answering this many requests
    int stallAfterUpdates = -1; // leave later requests unanswered, socket open
    // A device that never finishes a field: after ServerInit (0) or after answering request n,
    // fillChunk is sent every fillEveryMs for as long as the client stays.
    int fillFrom = -1;
    QByteArray fillChunk = QByteArray(16 * 1024, '\xff');
    int fillEveryMs = 50;
    // Called with each whole client message after ClientInit, on the server's thread.
    std::function<void(const QByteArray& message)> onMessage;

    // --- what the client did
    QByteArray clientVersion() const { return handshake ? handshake->clientVersion : QByteArray(); }
    QByteArray chosenSecurity() const { return handshake ? handshake->chosen : QByteArray(); }
    QByteArray authResponse() const { return handshake ? handshake->response : QByteArray(); }
    QByteArray clientInit() const { return handshake ? handshake->clientInit : QByteArray(); }
    QList<QByteArray> messages() const { return clientMessages; }
    QList<QByteArray> messagesOfType(int type) const;
    void clearMessages() { clientMessages.clear(); }
    int requestCount() const { return requests; }
    int connectionCount() const { return connections; }
    int disconnectionCount() const { return disconnections; }

    // --- building blocks for replies
    static QByteArray rawRectangle(int x, int y, int width, int height, const QByteArray& pixels);
    static QByteArray rectangleHeader(int x, int y, int width, int height, qint32 encoding);
    static QByteArray update(const QList<QByteArray>& rectangles);
    static QByteArray solidPixels(int count, quint16 pixel);
    static QByteArray fullFrame(const QImage& image);

private slots:
    void onNewConnection();
    void onReadyRead();
    void writeOneByte();
    void writeFill();

private:
    enum class Stage
    {
        Handshake,
        Messages
    };
    void put(const QByteArray& bytes);
    void handleMessage(const QByteArray& message);
    QByteArray serverInit() const;

    QTcpServer* server;
    QTcpSocket* client = nullptr;
    QByteArray input;
    QByteArray pending;
    QTimer trickle;
    QTimer fill;
    QTimer lifetime;
    Stage stage = Stage::Handshake;
    std::unique_ptr<RfbServerHandshake> handshake;
    qint64 skipRemaining = 0;
    QList<QByteArray> clientMessages;
    int requests = 0;
    int answered = 0;
    int connections = 0;
    int disconnections = 0;
};
