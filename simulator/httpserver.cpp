#include "httpserver.h"

#include "httpconnection.h"
#include "protocollibrary.h"

#include <QTcpServer>
#include <QTcpSocket>

namespace {
const int kMaxRecorded = 100000;
} // namespace

HttpServer::HttpServer(const SimOptions& options, QObject* parent)
    : QObject(parent), opts(options), server(new QTcpServer(this)),
      protocols(std::make_unique<ProtocolLibrary>(options.protocolsDir))
{
    connect(server, SIGNAL(newConnection()), this, SLOT(onNewConnection()));
}

HttpServer::~HttpServer()
{
    // Connections still sending must close their files before the folder goes away.
    qDeleteAll(findChildren<HttpConnection*>(QString(), Qt::FindDirectChildrenOnly));
}

bool HttpServer::start()
{
    if (!protocols->isValid()) {
        error = protocols->errorString();
        return false;
    }
    if (!server->listen(opts.address, opts.httpPort)) {
        error = server->errorString();
        return false;
    }
    return true;
}

quint16 HttpServer::port() const
{
    return server->serverPort();
}

QString HttpServer::errorString() const
{
    return error;
}

QStringList HttpServer::fileNames() const
{
    return protocols->fileNames();
}

QStringList HttpServer::requestedPaths() const
{
    return requests;
}

QString HttpServer::folder() const
{
    return protocols->folder();
}

void HttpServer::recordRequest(const QString& path)
{
    if (requests.size() >= kMaxRecorded)
        requests.removeFirst();
    requests.append(path);
}

void HttpServer::onNewConnection()
{
    while (QTcpSocket* socket = server->nextPendingConnection())
        new HttpConnection(socket, this);
}
