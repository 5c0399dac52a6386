#include "httpconnection.h"

#include "httprequest.h"
#include "httpserver.h"
#include "protocollibrary.h"
#include "shell/logging.h"

#include <QFile>
#include <QTcpSocket>
#include <QTimer>

namespace {
const int kMaxHead = 16 * 1024;
const qint64 kMaxBody = 1024 * 1024;
const qint64 kChunk = 512 * 1024;
const qint64 kHighWater = 2 * 1024 * 1024;
const int kIdleMs = 30000;
const QByteArray kXlsxType = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";
const QByteArray kHtmlType = "text/html; charset=utf-8";
const QByteArray kTextType = "text/plain; charset=utf-8";
} // namespace

HttpConnection::HttpConnection(QTcpSocket* socket, HttpServer* server)
    : QObject(server), socket(socket), server(server), idle(new QTimer(this))
{
    socket->setParent(this);
    idle->setSingleShot(true);
    connect(idle, SIGNAL(timeout()), this, SLOT(onIdle()));
    connect(socket, SIGNAL(readyRead()), this, SLOT(onReadyRead()));
    connect(socket, SIGNAL(bytesWritten(qint64)), this, SLOT(onBytesWritten()));
    connect(socket, SIGNAL(disconnected()), this, SLOT(onDisconnected()));
    idle->start(kIdleMs);
}

void HttpConnection::onIdle()
{
    closing = true;
    socket->disconnectFromHost();
}

void HttpConnection::onDisconnected()
{
    closing = true;
    delete file;
    file = nullptr;
    deleteLater();
}

void HttpConnection::onReadyRead()
{
    idle->start(kIdleMs);
    while (!closing && socket->bytesAvailable() > 0) {
        buffer.append(socket->read(64 * 1024));
        processBuffer();
    }
}

void HttpConnection::processBuffer()
{
    // Requests are answered strictly in order; a pipelined one waits for the file before it.
    while (!closing && !file) {
        if (bodyToSkip > 0) {
            const int n = static_cast<int>(qMin<qint64>(bodyToSkip, buffer.size()));
            buffer.remove(0, n);
            bodyToSkip -= n;
            if (bodyToSkip > 0)
                return;
        }
        const int end = HttpRequest::headEnd(buffer);
        if (end < 0) {
            if (buffer.size() > kMaxHead) {
                keepAlive = false;
                respond(431, kTextType, "Request header too large\n", false);
            }
            return;
        }
        const HttpRequest request = HttpRequest::parse(buffer.left(end));
        requestLine = request.method + ' ' + request.target;
        buffer.remove(0, end);
        if (!request.valid || request.contentLength > kMaxBody) {
            keepAlive = false;
            respond(400, kTextType, "Bad request\n", false);
            return;
        }
        bodyToSkip = request.contentLength;
        keepAlive = request.keepAlive;
        const bool head = request.method == "HEAD";
        if (request.method != "GET" && !head) {
            respond(405, kTextType, "Only GET and HEAD\n", false);
            continue;
        }
        const QString path = HttpRequest::decodedPath(request.target);
        if (!head)
            server->recordRequest(path);
        if (path == QLatin1String("/protocols")) {
            respond(200, kHtmlType, server->library()->listingHtml(), head);
            continue;
        }
        const QString filePath = server->library()->filePath(HttpRequest::protocolName(path));
        if (filePath.isEmpty()) {
            respond(404, kTextType, "Not found\n", head);
            continue;
        }
        startFile(filePath, head);
    }
}

void HttpConnection::respond(int status, const QByteArray& contentType, const QByteArray& body,
                             bool headOnly)
{
    qCInfo(lcSim, "HTTP %s from %s: %d, %d bytes", requestLine.constData(),
           qUtf8Printable(socket->peerAddress().toString()), status, int(body.size()));
    socket->write(HttpRequest::responseHead(status, contentType, body.size(), keepAlive));
    if (!headOnly)
        socket->write(body);
    finishResponse();
}

void HttpConnection::startFile(const QString& path, bool headOnly)
{
    auto* f = new QFile(path, this);
    if (!f->open(QIODevice::ReadOnly)) {
        delete f;
        respond(404, kTextType, "Not found\n", headOnly);
        return;
    }
    qCInfo(lcSim, "HTTP %s from %s: 200, %lld bytes", requestLine.constData(),
           qUtf8Printable(socket->peerAddress().toString()), f->size());
    socket->write(HttpRequest::responseHead(200, kXlsxType, f->size(), keepAlive));
    if (headOnly) {
        delete f;
        finishResponse();
        return;
    }
    file = f;
    pump();
}

void HttpConnection::onBytesWritten()
{
    idle->start(kIdleMs);
    if (file)
        pump();
}

void HttpConnection::pump()
{
    while (file && socket->bytesToWrite() < kHighWater) {
        const QByteArray chunk = file->read(kChunk);
        if (chunk.isEmpty()) {
            // A file that shrank while being sent cannot honour its Content-Length.
            const bool complete = file->atEnd();
            delete file;
            file = nullptr;
            if (!complete)
                keepAlive = false;
            finishResponse();
            if (!closing)
                processBuffer();
            return;
        }
        socket->write(chunk);
    }
}

void HttpConnection::finishResponse()
{
    if (!keepAlive) {
        closing = true;
        socket->disconnectFromHost();
    }
}
