#include "httpfakeserver.h"

#include "simulator/protocollibrary.h"
#include "simulator/storedzip.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <memory>

namespace solmirtest {

HttpFakeReply HttpFakeReply::ok(const QByteArray& body)
{
    HttpFakeReply reply;
    reply.body = body;
    return reply;
}

HttpFakeReply HttpFakeReply::withStatus(int status, const QByteArray& body)
{
    HttpFakeReply reply;
    reply.status = status;
    reply.body = body;
    return reply;
}

HttpFakeReply HttpFakeReply::redirect(const QByteArray& location)
{
    HttpFakeReply reply;
    reply.status = 302;
    reply.body = "moved";
    reply.headers.append(qMakePair(QByteArray("Location"), location));
    return reply;
}

QByteArray protocolBody(const QByteArray& content)
{
    StoredZip zip;
    zip.addFile(QStringLiteral("xl/content.bin"), content);
    return zip.finish();
}

HttpFakeReply HttpFakeReply::paced(const QByteArray& body, int bytesPerSecond, int burst)
{
    HttpFakeReply reply = ok(body);
    reply.mode = Mode::Paced;
    reply.bytesPerSecond = bytesPerSecond;
    reply.burst = burst;
    return reply;
}

HttpFakeReply HttpFakeReply::generatedZip(qint64 fillerBytes)
{
    HttpFakeReply reply;
    reply.mode = Mode::Generated;
    reply.generated = fillerBytes;
    return reply;
}

HttpFakeReply HttpFakeReply::gzipped(const QByteArray& body)
{
    // qCompress gives a 4-byte size, a 2-byte zlib header, the deflate stream and an Adler-32.
    const QByteArray zlib = qCompress(body);
    quint32 crc = 0xffffffffu;
    for (const char byte : body) {
        crc ^= uchar(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    crc = ~crc;
    QByteArray gzip("\x1f\x8b\x08\0\0\0\0\0\0\x03", 10);
    gzip += zlib.mid(6, zlib.size() - 10);
    for (const quint32 word : {crc, quint32(body.size())})
        for (int shift = 0; shift < 32; shift += 8)
            gzip += char((word >> shift) & 0xff);
    HttpFakeReply reply = ok(gzip);
    reply.headers.append(qMakePair(QByteArray("Content-Encoding"), QByteArray("gzip")));
    return reply;
}

HttpFakeServer::HttpFakeServer(QObject* parent, int lifetimeMs)
    : QObject(parent), server(new QTcpServer(this))
{
    fallback = HttpFakeReply::withStatus(404, "<html><body>Not found</body></html>");
    connect(server, &QTcpServer::newConnection, this, &HttpFakeServer::onNewConnection);
    // A child, so that it follows the server when a test moves it to another thread.
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, &HttpFakeServer::close);
    timer->start(lifetimeMs);
}

QList<QByteArray> HttpFakeServer::requests() const
{
    QMutexLocker lock(&logMutex);
    return log;
}

HttpFakeServer::~HttpFakeServer()
{
    close();
}

bool HttpFakeServer::listen(const QHostAddress& address, quint16 port)
{
    return server->listen(address, port);
}

void HttpFakeServer::close()
{
    server->close();
    const auto sockets = buffers.keys();
    buffers.clear();
    for (QTcpSocket* socket : sockets) {
        socket->abort();
        socket->deleteLater();
    }
}

void HttpFakeServer::setReply(const QByteArray& rawPath, const HttpFakeReply& reply)
{
    replies.insert(rawPath, reply);
}

QByteArray HttpFakeServer::encodedName(const QString& name)
{
    return QUrl::toPercentEncoding(name);
}

QByteArray HttpFakeServer::listingPage(const QStringList& names)
{
    return ProtocolLibrary::listingPage(names);
}

void HttpFakeServer::publish(const QStringList& names, const QList<QByteArray>& bodies)
{
    setReply("/protocols", HttpFakeReply::ok(listingPage(names)));
    for (int i = 0; i < names.size() && i < bodies.size(); ++i)
        setReply("/protocols/" + encodedName(names.at(i)), HttpFakeReply::ok(bodies.at(i)));
}

QStringList HttpFakeServer::decodedRequests() const
{
    QStringList list;
    const QList<QByteArray> raw = requests();
    for (const QByteArray& target : raw)
        list << QUrl::fromPercentEncoding(target);
    return list;
}

bool HttpFakeServer::waitForRequests(int n, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (requestCount() < n && clock.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return requestCount() >= n;
}

void HttpFakeServer::onNewConnection()
{
    while (QTcpSocket* socket = server->nextPendingConnection()) {
        buffers.insert(socket, QByteArray());
        connect(socket, &QTcpSocket::readyRead, this, &HttpFakeServer::onReadyRead);
        connect(socket, &QTcpSocket::disconnected, this, [this, socket]() {
            buffers.remove(socket);
            socket->deleteLater();
        });
    }
}

void HttpFakeServer::onReadyRead()
{
    auto* socket = qobject_cast<QTcpSocket*>(sender());
    if (!socket || !buffers.contains(socket))
        return;
    QByteArray& buffer = buffers[socket];
    buffer += socket->readAll();
    // GET requests carry no body: each one ends at the blank line.
    for (int guard = 0; guard < 1000; ++guard) {
        const int end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            break;
        const QByteArray head = buffer.left(end);
        buffer.remove(0, end + 4);
        const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
        const QByteArray target = requestLine.size() >= 2 ? requestLine.at(1) : QByteArray("/");
        {
            QMutexLocker lock(&logMutex);
            log.append(target);
        }
        answer(socket, target);
        if (!buffers.contains(socket))
            break;
    }
}

void HttpFakeServer::answer(QTcpSocket* socket, const QByteArray& target)
{
    const HttpFakeReply reply = replies.value(target, fallback);
    if (reply.delayMs <= 0) {
        send(socket, reply);
        return;
    }
    QPointer<QTcpSocket> guarded(socket);
    QTimer::singleShot(reply.delayMs, this, [this, guarded, reply]() {
        if (guarded && buffers.contains(guarded))
            send(guarded, reply);
    });
}

void HttpFakeServer::send(QTcpSocket* socket, const HttpFakeReply& reply)
{
    const bool chunked =
        reply.mode == HttpFakeReply::Mode::Chunked || reply.mode == HttpFakeReply::Mode::BadChunk;
    QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + " Canned\r\n";
    if (chunked)
        head += "Transfer-Encoding: chunked\r\n";
    else
        head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    head += "Content-Type: text/html; charset=utf-8\r\n";
    for (const auto& header : reply.headers)
        head += header.first + ": " + header.second + "\r\n";
    head += "Connection: keep-alive\r\n\r\n";
    if (reply.mode == HttpFakeReply::Mode::Normal) {
        socket->write(head + reply.body);
        return;
    }
    if (reply.mode == HttpFakeReply::Mode::Generated)
        return sendGenerated(socket, head, reply.generated);
    const QByteArray first = reply.body.left(reply.body.size() / 2);
    const QByteArray rest = reply.body.mid(first.size());
    if (chunked) {
        const auto chunk = [](const QByteArray& data) {
            return QByteArray::number(data.size(), 16) + "\r\n" + data + "\r\n";
        };
        const bool bad = reply.mode == HttpFakeReply::Mode::BadChunk;
        socket->write(head + chunk(first) + (bad ? "zz\r\n" + rest : chunk(rest) + "0\r\n\r\n"));
        if (bad)
            socket->disconnectFromHost();
        return;
    }
    if (reply.mode == HttpFakeReply::Mode::Paced) {
        socket->write(head + reply.body.left(reply.burst));
        const int piece = qMax(1, reply.bytesPerSecond / 20);
        auto* timer = new QTimer(socket);
        auto sent = std::make_shared<int>(reply.burst);
        connect(timer, &QTimer::timeout, socket, [socket, timer, sent, piece, body = reply.body]() {
            if (*sent >= body.size())
                return timer->stop();
            socket->write(body.mid(*sent, piece));
            *sent += piece;
        });
        timer->start(1000 * piece / qMax(1, reply.bytesPerSecond));
        return;
    }
    socket->write(head + first);
    socket->flush();
    if (reply.mode == HttpFakeReply::Mode::CloseMidBody)
        socket->disconnectFromHost();
}

void HttpFakeServer::sendGenerated(QTcpSocket* socket, QByteArray head, qint64 filler)
{
    // The filler's CRC is left at 0: nothing here reads the entry, only its frame.
    const auto zip =
        StoredZip::around(QStringLiteral("a.bin"), quint32(qMax<qint64>(filler, 0)), 0);
    const QByteArray length =
        filler < 0 ? QByteArray("Transfer-Encoding: chunked")
                   : "Content-Length: " +
                         QByteArray::number(zip.first.size() + filler + zip.second.size());
    head.replace("Content-Length: 0", length);
    socket->write(head + (filler < 0 ? QByteArray() : zip.first));
    const QByteArray piece(256 * 1024, 'p');
    auto left = std::make_shared<qint64>(filler);
    const auto more = [socket, piece, left, tail = zip.second]() {
        // A few pieces queued at most: the server's memory stays small too.
        while (socket->bytesToWrite() < 4 * piece.size() && *left != 0) {
            if (*left < 0) {
                socket->write("40000\r\n" + piece + "\r\n");
                continue;
            }
            const QByteArray next = piece.left(int(qMin<qint64>(*left, piece.size())));
            *left -= next.size();
            socket->write(*left > 0 ? next : next + tail);
        }
    };
    connect(socket, &QTcpSocket::bytesWritten, socket, more);
    more();
}

} // namespace solmirtest
