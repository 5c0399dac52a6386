#include "rfbconnection.h"

#include "oddreply.h"
#include "panelscreen.h"
#include "remote/rfbprotocol.h"
#include "rfbserver.h"
#include "rfbwire.h"
#include "shell/logging.h"

#include <QTcpSocket>
#include <QTimer>
#include <QtEndian>

namespace {
// Bytes held for one client before it is considered hostile; the largest legal message
// kept whole (SetEncodings with 65535 entries) is well below this.
const int kMaxInBuffer = 1024 * 1024;
// Output queued for a slow reader before further update requests are coalesced.
const qint64 kMaxBacklog = 8 * 1024 * 1024;
// Single-byte writes done per event-loop pass, so that other clients stay served.
const int kDripBurst = 2048;
// What the device offers, as its options say.
RfbServerHandshake::Offer offerOf(const SimOptions& o)
{
    RfbServerHandshake::Offer offer;
    offer.version = o.version;
    if (!o.noSecurityTypes) {
        if (o.password.isEmpty() || o.offerNoneToo)
            offer.types += char(1);
        if (!o.password.isEmpty())
            offer.types += char(2);
    }
    offer.password = o.password;
    offer.refusalReason = QByteArrayLiteral("No security types: access to the device is closed");
    offer.authFailure = QByteArrayLiteral("Authentication failed: wrong password");
    return offer;
}

} // namespace

RfbConnection::RfbConnection(QTcpSocket* socket, RfbServer* server)
    : QObject(server), socket(socket), server(server),
      handshake(offerOf(server->options()), [this](const QByteArray& bytes) { send(bytes); })
{
    socket->setParent(this);
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    format = server->options().serverBitsPerPixel == 32 ? RfbPixelFormat::rgb888()
                                                        : RfbPixelFormat::rgb565();
    connect(socket, SIGNAL(readyRead()), this, SLOT(onReadyRead()));
    connect(socket, SIGNAL(bytesWritten(qint64)), this, SLOT(onBytesWritten()));
    connect(socket, SIGNAL(disconnected()), this, SLOT(onDisconnected()));
    connect(server->screen(), SIGNAL(changed()), this, SLOT(onScreenChanged()));
    handshake.start();
}

void RfbConnection::send(const QByteArray& bytes)
{
    if (bytes.isEmpty() || socket->state() != QAbstractSocket::ConnectedState)
        return;
    if (!server->options().oneBytePerWrite) {
        socket->write(bytes);
        return;
    }
    if (dripPos >= drip.size()) {
        drip.clear();
        dripPos = 0;
        QTimer::singleShot(0, this, SLOT(onDrip()));
    }
    drip.append(bytes);
}

void RfbConnection::onDrip()
{
    if (socket->state() != QAbstractSocket::ConnectedState)
        return;
    const int end = qMin(drip.size(), dripPos + kDripBurst);
    for (; dripPos < end; ++dripPos) {
        socket->write(drip.constData() + dripPos, 1);
        socket->flush();
    }
    if (dripPos < drip.size()) {
        QTimer::singleShot(0, this, SLOT(onDrip()));
        return;
    }
    drip.clear();
    dripPos = 0;
    if (closeWhenDrained)
        socket->disconnectFromHost();
    else if (deferred && !backlogged())
        onBytesWritten();
}

bool RfbConnection::backlogged() const
{
    return socket->bytesToWrite() + (drip.size() - dripPos) > kMaxBacklog;
}

void RfbConnection::closeAfterSending()
{
    state = State::Closing;
    if (dripPos < drip.size())
        closeWhenDrained = true;
    else
        socket->disconnectFromHost();
}

void RfbConnection::drop()
{
    state = State::Closing;
    socket->abort();
}

void RfbConnection::onDisconnected()
{
    qCInfo(lcSim, "RFB client gone after %d update requests and %d updates", requests, updates);
    state = State::Closing;
    emit closed();
    deleteLater();
}

void RfbConnection::onBytesWritten()
{
    if (!deferred || backlogged() || state != State::Normal)
        return;
    deferred = false;
    answerRequest(deferredRect, deferredIncremental);
}

void RfbConnection::onScreenChanged()
{
    if (held && state == State::Normal && !backlogged() && sendChanges())
        held = false;
}

void RfbConnection::onReadyRead()
{
    while (state != State::Closing && socket->bytesAvailable() > 0) {
        QByteArray chunk = socket->read(64 * 1024);
        if (skipRemaining > 0) {
            const int n = static_cast<int>(qMin<quint64>(skipRemaining, chunk.size()));
            chunk.remove(0, n);
            skipRemaining -= n;
        }
        inBuffer.append(chunk);
        if (state == State::Handshake && !handleHandshake())
            return;
        while (state == State::Normal && !inBuffer.isEmpty()) {
            const RfbWire::ClientFrame f = RfbWire::frameClientMessage(inBuffer);
            if (f.frame == RfbWire::Frame::Incomplete)
                break;
            if (f.frame == RfbWire::Frame::Invalid) {
                drop();
                return;
            }
            const QByteArray message = inBuffer.left(f.length);
            inBuffer.remove(0, f.length);
            if (f.frame == RfbWire::Frame::Skip) {
                const int n = static_cast<int>(qMin<quint64>(f.skip, inBuffer.size()));
                inBuffer.remove(0, n);
                skipRemaining = f.skip - n;
            }
            handleMessage(message);
        }
        if (inBuffer.size() > kMaxInBuffer) {
            drop();
            return;
        }
    }
}

bool RfbConnection::handleHandshake()
{
    switch (handshake.feed(inBuffer)) {
    case RfbServerHandshake::Progress::NeedMore:
        return true;
    case RfbServerHandshake::Progress::ClientInit:
        state = State::Normal;
        sendServerInit();
        return true;
    case RfbServerHandshake::Progress::Closing:
        qCInfo(lcSim, "RFB client refused in the handshake (security type %s)",
               handshake.chosen.toHex().constData());
        closeAfterSending();
        return false;
    case RfbServerHandshake::Progress::Dropped:
        qCInfo(lcSim, "RFB client dropped: it did not answer with an RFB version");
        drop();
        return false;
    }
    return false;
}

void RfbConnection::sendServerInit()
{
    const SimOptions& o = server->options();
    send(RfbWire::serverInit(server->screen()->size(), format, QStringLiteral("СОЛМИР-3").toUtf8(),
                             o.hugeDesktopName));
    if (o.closeAfterUpdates == 0)
        closeAfterSending();
}

void RfbConnection::handleMessage(const QByteArray& message)
{
    server->recordMessage(message);
    qCDebug(lcSim, "RFB client message %d, %d bytes", quint8(message.at(0)), int(message.size()));
    const auto* d = reinterpret_cast<const uchar*>(message.constData());
    switch (d[0]) {
    case rfb::SetPixelFormat: {
        const RfbPixelFormat requested = RfbPixelFormat::fromBytes(message.mid(4, 16));
        if (requested.isServable()) {
            format = requested;
        } else if (requested.trueColour) {
            drop();
        }
        break;
    }
    case rfb::FramebufferUpdateRequest:
        handleUpdateRequest(QRect(qFromBigEndian<quint16>(d + 2), qFromBigEndian<quint16>(d + 4),
                                  qFromBigEndian<quint16>(d + 6), qFromBigEndian<quint16>(d + 8)),
                            d[1] != 0);
        break;
    case rfb::KeyEvent:
        server->screen()->keyEvent(d[1] != 0, qFromBigEndian<quint32>(d + 4));
        break;
    case rfb::PointerEvent:
        server->screen()->pointerEvent(d[1], qFromBigEndian<quint16>(d + 2),
                                       qFromBigEndian<quint16>(d + 4));
        break;
    default:
        break;
    }
}

void RfbConnection::handleUpdateRequest(const QRect& requested, bool incremental)
{
    ++requests;
    const SimOptions& o = server->options();
    if (o.stallAfterUpdates >= 0 && updates >= o.stallAfterUpdates) {
        if (requests == o.stallAfterUpdates + 1)
            qCInfo(lcSim, "misbehaving: no answer after %d updates", updates);
        return;
    }
    if (backlogged()) {
        // A reader that falls behind gets one coalesced answer once it catches up.
        deferred = true;
        deferredRect = requested;
        deferredIncremental = incremental;
        return;
    }
    answerRequest(requested, incremental);
}

void RfbConnection::answerRequest(const QRect& requested, bool incremental)
{
    const SimOptions& o = server->options();
    const QRect area = requested.intersected(QRect(QPoint(0, 0), server->screen()->size()));
    const bool odd = o.oddReply != SimOptions::Odd::None && o.oddFrom > 0 &&
                     requests >= o.oddFrom && requests < o.oddFrom + qMax(1, o.oddCount);
    if (odd && sendOddReply(area))
        return;
    if (!incremental || shown.isNull()) {
        held = false;
        sendUpdate(area);
        return;
    }
    // An incremental request is answered with what changed, or held until something does.
    heldRect = held ? heldRect.united(area) : area;
    held = !sendChanges();
}

bool RfbConnection::sendChanges()
{
    const QImage frame = server->screen()->frame();
    const QList<QRect> rects = shown.changes(frame, heldRect);
    if (rects.isEmpty())
        return false;
    QByteArray out = RfbWire::updateHeader(static_cast<quint16>(rects.size()));
    for (const QRect& rect : rects) {
        out += RfbWire::rectangleHeader(rect, 0) + format.encode(frame, rect);
        shown.remember(frame, rect);
    }
    send(out);
    noteUpdate();
    return true;
}

void RfbConnection::sendUpdate(const QRect& area)
{
    const QImage frame = server->screen()->frame();
    const QList<QRect> bands = RfbWire::bands(area, server->options().rectsPerUpdate);
    QByteArray out = RfbWire::updateHeader(static_cast<quint16>(bands.size()));
    out.reserve(out.size() + bands.size() * 12 +
                area.width() * area.height() * format.bytesPerPixel());
    for (const QRect& band : bands)
        out += RfbWire::rectangleHeader(band, 0) + format.encode(frame, band);
    shown.remember(frame, area);
    send(out);
    noteUpdate();
}

bool RfbConnection::sendOddReply(const QRect& area)
{
    bool isUpdate = false;
    const QByteArray reply = OddReply::bytes(server->options().oddReply, area, &isUpdate);
    if (reply.isEmpty())
        return false;
    qCInfo(lcSim, "misbehaving: odd reply %d to update request %d", int(server->options().oddReply),
           requests);
    send(reply);
    if (isUpdate)
        noteUpdate();
    return true;
}

void RfbConnection::noteUpdate()
{
    ++updates;
    server->noteUpdateSent();
    const int closeAfter = server->options().closeAfterUpdates;
    if (closeAfter >= 0 && updates >= closeAfter) {
        qCInfo(lcSim, "misbehaving: closing after %d updates", updates);
        closeAfterSending();
    }
}
