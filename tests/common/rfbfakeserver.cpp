#include "rfbfakeserver.h"

#include "remote/vnccipher.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace {

void putU16(QByteArray& bytes, int value)
{
    bytes.append(char((value >> 8) & 0xFF));
    bytes.append(char(value & 0xFF));
}

void putU32(QByteArray& bytes, quint32 value)
{
    putU16(bytes, int(value >> 16));
    putU16(bytes, int(value & 0xFFFF));
}

int beU16(const QByteArray& bytes, int offset)
{
    return (uchar(bytes.at(offset)) << 8) | uchar(bytes.at(offset + 1));
}

// Length of the client message at the head of data, or 0 while it is still incomplete.
int messageLength(const QByteArray& data)
{
    if (data.isEmpty())
        return 0;
    int length = -1;
    switch (uchar(data.at(0))) {
    case 0:
        length = 20;
        break;
    case 2:
        length = data.size() >= 4 ? 4 + 4 * beU16(data, 2) : 0;
        break;
    case 3:
        length = 10;
        break;
    case 4:
        length = 8;
        break;
    case 5:
        length = 6;
        break;
    case 6:
        length = data.size() >= 8 ? 8 + int((uchar(data.at(4)) << 24) | (uchar(data.at(5)) << 16) |
                                            (uchar(data.at(6)) << 8) | uchar(data.at(7)))
                                  : 0;
        break;
    default:
        // Unknown to the peer: take everything so the test sees it.
        return data.size();
    }
    return length > 0 && data.size() >= length ? length : 0;
}

} // namespace

RfbFakeServer::RfbFakeServer(QObject* parent) : QObject(parent), server(new QTcpServer(this))
{
    connect(server, &QTcpServer::newConnection, this, &RfbFakeServer::onNewConnection);
    connect(&trickle, &QTimer::timeout, this, &RfbFakeServer::writeOneByte);
    connect(&fill, &QTimer::timeout, this, &RfbFakeServer::writeFill);
    // A forgotten peer must not outlive its test for long.
    lifetime.setSingleShot(true);
    connect(&lifetime, &QTimer::timeout, this, [this]() {
        server->close();
        closeClient();
    });
}

RfbFakeServer::~RfbFakeServer()
{
    closeClient();
}

bool RfbFakeServer::listen(const QHostAddress& address, quint16 port)
{
    lifetime.start(240000);
    // The same suite may run from another checkout at the same moment; its peer on this
    // address stops by itself, so wait for it instead of failing.
    QElapsedTimer clock;
    clock.start();
    while (!server->listen(address, port)) {
        if (server->serverError() != QAbstractSocket::AddressInUseError || clock.elapsed() > 120000)
            return false;
        QTest::qWait(200);
    }
    return true;
}

void RfbFakeServer::closeClient()
{
    trickle.stop();
    fill.stop();
    pending.clear();
    if (client) {
        client->disconnect(this);
        client->abort();
        client->deleteLater();
        client = nullptr;
    }
}

QList<QByteArray> RfbFakeServer::messagesOfType(int type) const
{
    QList<QByteArray> list;
    for (const QByteArray& message : clientMessages) {
        if (!message.isEmpty() && uchar(message.at(0)) == type)
            list << message;
    }
    return list;
}

QByteArray RfbFakeServer::rectangleHeader(int x, int y, int width, int height, qint32 encoding)
{
    QByteArray bytes;
    putU16(bytes, x);
    putU16(bytes, y);
    putU16(bytes, width);
    putU16(bytes, height);
    putU32(bytes, quint32(encoding));
    return bytes;
}

QByteArray RfbFakeServer::rawRectangle(int x, int y, int width, int height,
                                       const QByteArray& pixels)
{
    return rectangleHeader(x, y, width, height, 0) + pixels;
}

QByteArray RfbFakeServer::update(const QList<QByteArray>& rectangles)
{
    QByteArray bytes;
    bytes.append(char(0));
    bytes.append(char(0));
    putU16(bytes, rectangles.size());
    for (const QByteArray& rectangle : rectangles)
        bytes += rectangle;
    return bytes;
}

QByteArray RfbFakeServer::solidPixels(int count, quint16 pixel)
{
    QByteArray bytes;
    bytes.reserve(count * 2);
    for (int i = 0; i < count; ++i) {
        bytes.append(char(pixel & 0xFF));
        bytes.append(char(pixel >> 8));
    }
    return bytes;
}

QByteArray RfbFakeServer::fullFrame(const QImage& image)
{
    QByteArray pixels;
    pixels.reserve(image.width() * image.height() * 2);
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const quint16*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            pixels.append(char(line[x] & 0xFF));
            pixels.append(char(line[x] >> 8));
        }
    }
    return update({rawRectangle(0, 0, image.width(), image.height(), pixels)});
}

QByteArray RfbFakeServer::serverInit() const
{
    if (!serverInitRaw.isEmpty())
        return serverInitRaw;
    QByteArray bytes;
    putU16(bytes, screenSize.width());
    putU16(bytes, screenSize.height());
    bytes += QByteArray::fromHex("10100001001f003f001f0b0500000000");
    putU32(bytes, quint32(desktopName.size()));
    bytes += desktopName;
    return bytes;
}

void RfbFakeServer::onNewConnection()
{
    while (QTcpSocket* next = server->nextPendingConnection()) {
        closeClient();
        client = next;
        client->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        ++connections;
        input.clear();
        stage = Stage::Version;
        requests = 0;
        answered = 0;
        connect(client, &QTcpSocket::readyRead, this, &RfbFakeServer::onReadyRead);
        connect(client, &QTcpSocket::disconnected, this, [this]() { ++disconnections; });
        put(version);
    }
}

void RfbFakeServer::put(const QByteArray& bytes)
{
    if (!client)
        return;
    if (!oneBytePerWrite) {
        client->write(bytes);
        client->flush();
        return;
    }
    pending += bytes;
    if (!trickle.isActive())
        trickle.start(0);
}

void RfbFakeServer::writeOneByte()
{
    if (!client || pending.isEmpty()) {
        trickle.stop();
        return;
    }
    client->write(pending.left(1));
    client->flush();
    pending.remove(0, 1);
    if (pending.isEmpty())
        trickle.stop();
}

void RfbFakeServer::writeFill()
{
    // Only as fast as the client takes it: the peer's own buffer stays small.
    if (client && client->bytesToWrite() < 1024 * 1024) {
        client->write(fillChunk);
        client->flush();
    }
}

void RfbFakeServer::onReadyRead()
{
    if (!client)
        return;
    input += client->readAll();
    for (;;) {
        switch (stage) {
        case Stage::Version:
            if (input.size() < 12)
                return;
            version_ = input.left(12);
            input.remove(0, 12);
            if (securityTypes.isEmpty()) {
                QByteArray refusal(1, char(0));
                const QByteArray reason("no security types");
                putU32(refusal, quint32(reason.size()));
                put(refusal + reason);
                stage = Stage::Messages;
                return;
            }
            put(QByteArray(1, char(securityTypes.size())) + securityTypes);
            stage = Stage::Security;
            break;
        case Stage::Security:
            if (input.isEmpty())
                return;
            chosen = input.left(1);
            input.remove(0, 1);
            if (chosen.at(0) == 2) {
                put(challenge);
                stage = Stage::Auth;
            } else {
                put(noneResult);
                stage = Stage::ClientInit;
            }
            break;
        case Stage::Auth: {
            if (input.size() < 16)
                return;
            response = input.left(16);
            input.remove(0, 16);
            if (response == vncResponse(challenge, password)) {
                put(QByteArray(4, '\0'));
                stage = Stage::ClientInit;
            } else {
                QByteArray failure;
                putU32(failure, 1);
                const QByteArray reason("authentication failed");
                putU32(failure, quint32(reason.size()));
                put(failure + reason);
                stage = Stage::Messages;
            }
            break;
        }
        case Stage::ClientInit:
            if (input.isEmpty())
                return;
            init = input.left(1);
            input.remove(0, 1);
            put(serverInit());
            stage = Stage::Messages;
            if (fillFrom == 0)
                fill.start(fillEveryMs);
            break;
        case Stage::Messages: {
            const int length = messageLength(input);
            if (length == 0)
                return;
            const QByteArray message = input.left(length);
            input.remove(0, length);
            handleMessage(message);
            if (!client)
                return;
            break;
        }
        }
    }
}

void RfbFakeServer::handleMessage(const QByteArray& message)
{
    clientMessages << message;
    if (onMessage)
        onMessage(message);
    if (uchar(message.at(0)) != 3)
        return;
    ++requests;
    if (stallAfterUpdates >= 0 && answered >= stallAfterUpdates)
        return;
    QByteArray answer = reply ? reply(requests) : QByteArray();
    if (answer.isNull()) {
        QImage image = frame;
        if (image.isNull()) {
            image = QImage(screenSize, QImage::Format_RGB16);
            image.fill(Qt::blue);
        }
        answer = fullFrame(image);
    }
    put(answer);
    ++answered;
    if (fillFrom > 0 && requests == fillFrom)
        fill.start(fillEveryMs);
    if (closeAfterUpdates >= 0 && answered >= closeAfterUpdates) {
        client->flush();
        client->disconnectFromHost();
    }
}
