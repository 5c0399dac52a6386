// HttpConnection: one client of the simulated HTTP server, request after request.
#pragma once

#include <QByteArray>
#include <QObject>

class QFile;
class QTcpSocket;
class QTimer;
class HttpServer;

class HttpConnection : public QObject
{
    Q_OBJECT
public:
    // Takes ownership of the socket.
    HttpConnection(QTcpSocket* socket, HttpServer* server);

private slots:
    void onReadyRead();
    void onBytesWritten();
    void onDisconnected();
    void onIdle();

private:
    void processBuffer();
    void respond(int status, const QByteArray& contentType, const QByteArray& body, bool headOnly);
    void startFile(const QString& path, bool headOnly);
    void pump();
    void finishResponse();

    QTcpSocket* socket;
    HttpServer* server;
    QTimer* idle;
    QByteArray buffer;
    QByteArray requestLine; // of the request being answered, for the record
    qint64 bodyToSkip = 0;
    QFile* file = nullptr;
    bool keepAlive = false;
    bool closing = false;
};
