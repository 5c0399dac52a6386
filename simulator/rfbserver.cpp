#include "rfbserver.h"

#include "panelscreen.h"
#include "rfbconnection.h"
#include "shell/logging.h"

#include <QTcpServer>
#include <QTcpSocket>

namespace {
// A client keeping the recorder busy for days must not grow it without bound.
const int kMaxRecorded = 100000;
} // namespace

RfbServer::RfbServer(const SimOptions& options, QObject* parent)
    : QObject(parent), opts(options), server(new QTcpServer(this)),
      panel(new PanelScreen(options.screenSize.boundedTo(QSize(4096, 4096)), options.animate, this))
{
    connect(server, SIGNAL(newConnection()), this, SLOT(onNewConnection()));
}

bool RfbServer::start()
{
    return server->listen(opts.address, opts.rfbPort);
}

quint16 RfbServer::port() const
{
    return server->serverPort();
}

QString RfbServer::errorString() const
{
    return server->errorString();
}

QImage RfbServer::frame() const
{
    return panel->frame();
}

QList<QByteArray> RfbServer::clientMessages() const
{
    return messages;
}

void RfbServer::clearClientMessages()
{
    messages.clear();
}

int RfbServer::connectionCount() const
{
    return connections;
}

int RfbServer::updatesSent() const
{
    return updates;
}

void RfbServer::recordMessage(const QByteArray& message)
{
    if (messages.size() >= kMaxRecorded)
        messages.removeFirst();
    messages.append(message);
    emit clientMessage(message);
}

void RfbServer::noteUpdateSent()
{
    ++updates;
}

void RfbServer::onNewConnection()
{
    while (QTcpSocket* socket = server->nextPendingConnection()) {
        ++connections;
        qCInfo(lcSim, "RFB client %s:%d connected",
               qUtf8Printable(socket->peerAddress().toString()), socket->peerPort());
        auto* connection = new RfbConnection(socket, this);
        connect(connection, SIGNAL(closed()), this, SIGNAL(clientDisconnected()));
        emit clientConnected();
    }
}
