#pragma once
// SocketHelper: drops a failed socket at once, on the socket's own (worker) thread.
#include <QAbstractSocket>
#include <QObject>

class QTcpSocket;

class SocketHelper : public QObject
{
    Q_OBJECT
public:
    explicit SocketHelper(QTcpSocket* socket);

private slots:
    void clientDisconnected(QAbstractSocket::SocketError error);

private:
    QTcpSocket* socket;
};
