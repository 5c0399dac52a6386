#include "remote/sockethelper.h"

#include <QTcpSocket>

SocketHelper::SocketHelper(QTcpSocket* socket) : QObject(socket), socket(socket)
{
    connect(socket, SIGNAL(errorOccurred(QAbstractSocket::SocketError)), this,
            SLOT(clientDisconnected(QAbstractSocket::SocketError)), Qt::DirectConnection);
}

void SocketHelper::clientDisconnected(QAbstractSocket::SocketError error)
{
    if (firstFailure < 0)
        firstFailure = int(error);
    socket->abort();
}
