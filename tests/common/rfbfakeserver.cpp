#include "rfbfakeserver.h"

#include "remote/rfbprotocol.h"
#include "simulator/rfbpixelformat.h"
#include "simulator/rfbwire.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

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
    return RfbWire::rectangleHeader(QRect(x, y, width, height), encoding);
}

QByteArray RfbFakeServer::rawRectangle(int x, int y, int width, int height,
                                       const QByteArray& pixels)
{
    return rectangleHeader(x, y, width, height, 0) + pixels;
}

QByteArray RfbFakeServer::update(const QList<QByteArray>& rectangles)
{
    QByteArray bytes = RfbWire::updateHeader(quint16(rectangles.size()));
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
    const QByteArray pixels = RfbPixelFormat::rgb565().encode(image, image.rect());
    return update({rawRectangle(0, 0, image.width(), image.height(), pixels)});
}

QByteArray RfbFakeServer::serverInit() const
{
    if (!serverInitRaw.isEmpty())
        return serverInitRaw;
    return RfbWire::serverInit(screenSize, RfbPixelFormat::rgb565(), desktopName, false);
}

void RfbFakeServer::onNewConnection()
{
    while (QTcpSocket* next = server->nextPendingConnection()) {
        closeClient();
        client = next;
        client->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        ++connections;
        input.clear();
        skipRemaining = 0;
        stage = Stage::Handshake;
        requests = 0;
        answered = 0;
        connect(client, &QTcpSocket::readyRead, this, &RfbFakeServer::onReadyRead);
        connect(client, &QTcpSocket::disconnected, this, [this]() { ++disconnections; });
        // The simulator's own handshake, with the script's offer: it listens to any answer.
        RfbServerHandshake::Offer offer;
        offer.version = version;
        offer.types = securityTypes;
        offer.password = password;
        offer.challenge = challenge;
        offer.noneResult = noneResult;
        offer.acceptAnyChoice = true;
        handshake = std::make_unique<RfbServerHandshake>(
            offer, [this](const QByteArray& bytes) { put(bytes); });
        handshake->start();
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
    if (stage == Stage::Handshake) {
        // A refusal leaves the connection open: the client is the one to go.
        if (handshake->feed(input) != RfbServerHandshake::Progress::ClientInit)
            return;
        put(serverInit());
        stage = Stage::Messages;
        if (fillFrom == 0)
            fill.start(fillEveryMs);
    }
    while (client && !input.isEmpty()) {
        const qint64 skipped = qMin<qint64>(skipRemaining, input.size());
        input.remove(0, int(skipped));
        skipRemaining -= skipped;
        const RfbWire::ClientFrame f = RfbWire::frameClientMessage(input);
        if (f.frame == RfbWire::Frame::Incomplete)
            return;
        // A message unknown to the peer: everything, so that the test sees it.
        const int length = f.frame == RfbWire::Frame::Invalid ? input.size() : f.length;
        const QByteArray message = input.left(length);
        input.remove(0, length);
        skipRemaining = f.frame == RfbWire::Frame::Skip ? f.skip : 0;
        handleMessage(message);
    }
}

void RfbFakeServer::handleMessage(const QByteArray& message)
{
    clientMessages << message;
    if (onMessage)
        onMessage(message);
    if (uchar(message.at(0)) != rfb::FramebufferUpdateRequest)
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
