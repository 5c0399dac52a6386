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

    // The first error the socket reported since the last clearFailure(), or -1.
    int failure() const { return firstFailure; }
    void clearFailure() { firstFailure = -1; }

private slots:
    void clientDisconnected(QAbstractSocket::SocketError error);

private:
    QTcpSocket* socket;
    int firstFailure = -1;
};
