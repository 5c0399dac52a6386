#include "rfbconnection.h"

#include "panelscreen.h"
#include "rfbserver.h"
#include "rfbwire.h"

#include <QTcpSocket>
#include <QTimer>
#include <QtEndian>

#include <cstring>

namespace {
// Bytes held for one client before it is considered hostile; the largest legal message
// kept whole (SetEncodings with 65535 entries) is well below this.
const int kMaxInBuffer = 1024 * 1024;
// Output queued for a slow reader before further update requests are coalesced.
const qint64 kMaxBacklog = 8 * 1024 * 1024;
// Single-byte writes done per event-loop pass, so that other clients stay served.
const int kDripBurst = 2048;
// Incremental updates compare the screen with what the client was last sent in tiles of
// this size; each changed run of tiles in a tile row goes out trimmed to its changed pixels.
const int kTile = 16;

bool sameRow(const QImage& a, const QImage& b, int y, int x, int width)
{
    const int bpp = a.depth() / 8;
    return std::memcmp(a.constScanLine(y) + x * bpp, b.constScanLine(y) + x * bpp,
                       static_cast<size_t>(width * bpp)) == 0;
}

bool samePixel(const QImage& a, const QImage& b, int x, int y)
{
    return sameRow(a, b, y, x, 1);
}

// The smallest rectangle of area holding every pixel where a and b differ; empty when none.
QRect changedBounds(const QImage& a, const QImage& b, const QRect& area)
{
    int top = area.bottom() + 1;
    int bottom = area.top() - 1;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        if (!sameRow(a, b, y, area.left(), area.width())) {
            top = qMin(top, y);
            bottom = y;
        }
    }
    if (top > bottom)
        return QRect();
    int left = area.right() + 1;
    int right = area.left() - 1;
    for (int y = top; y <= bottom; ++y) {
        for (int x = area.left(); x < left; ++x) {
            if (!samePixel(a, b, x, y)) {
                left = x;
                break;
            }
        }
        for (int x = area.right(); x > right; --x) {
            if (!samePixel(a, b, x, y)) {
                right = x;
                break;
            }
        }
    }
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

QList<QRect> changedRects(const QImage& before, const QImage& now, const QRect& area)
{
    QList<QRect> out;
    for (int ty = area.top(); ty <= area.bottom(); ty += kTile) {
        const int th = qMin(kTile, area.bottom() + 1 - ty);
        int runStart = -1;
        for (int tx = area.left();; tx += kTile) {
            const bool past = tx > area.right();
            bool changed = false;
            if (!past) {
                const int tw = qMin(kTile, area.right() + 1 - tx);
                for (int y = ty; !changed && y < ty + th; ++y)
                    changed = !sameRow(before, now, y, tx, tw);
            }
            if (changed && runStart < 0)
                runStart = tx;
            if (!changed && runStart >= 0) {
                const int runEnd = qMin(tx, area.right() + 1);
                out.append(changedBounds(before, now, QRect(runStart, ty, runEnd - runStart, th)));
                runStart = -1;
            }
            if (past)
                break;
        }
    }
    return out;
}
} // namespace

namespace {

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
        closeAfterSending();
        return false;
    case RfbServerHandshake::Progress::Dropped:
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
    const auto* d = reinterpret_cast<const uchar*>(message.constData());
    switch (d[0]) {
    case 0: {
        const RfbPixelFormat requested = RfbPixelFormat::fromBytes(message.mid(4, 16));
        if (requested.isServable()) {
            format = requested;
        } else if (requested.trueColour) {
            drop();
        }
        break;
    }
    case 3:
        handleUpdateRequest(QRect(qFromBigEndian<quint16>(d + 2), qFromBigEndian<quint16>(d + 4),
                                  qFromBigEndian<quint16>(d + 6), qFromBigEndian<quint16>(d + 8)),
                            d[1] != 0);
        break;
    case 4:
        server->screen()->keyEvent(d[1] != 0, qFromBigEndian<quint32>(d + 4));
        break;
    case 5:
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
    if (o.stallAfterUpdates >= 0 && updates >= o.stallAfterUpdates)
        return;
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
    const QList<QRect> rects = changedRects(shown, frame, heldRect);
    if (rects.isEmpty())
        return false;
    QByteArray out = RfbWire::updateHeader(static_cast<quint16>(rects.size()));
    for (const QRect& rect : rects) {
        out += RfbWire::rectangleHeader(rect, 0) + format.encode(frame, rect);
        remember(frame, rect);
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
    remember(frame, area);
    send(out);
    noteUpdate();
}

bool RfbConnection::sendOddReply(const QRect& area)
{
    using Odd = SimOptions::Odd;
    switch (server->options().oddReply) {
    case Odd::Bell:
        send(RfbWire::bell());
        return true;
    case Odd::CutText: {
        const QByteArray text("SOLMIR-3 clipboard");
        send(RfbWire::serverCutText(text, static_cast<quint32>(text.size())));
        return true;
    }
    case Odd::ColourMap:
        send(RfbWire::colourMapEntries());
        return true;
    case Odd::Unknown:
        send(RfbWire::unknownMessage());
        return true;
    case Odd::CopyRect:
        send(RfbWire::copyRect(area));
        noteUpdate();
        return true;
    case Odd::ZeroRects:
        send(RfbWire::updateHeader(0));
        noteUpdate();
        return true;
    case Odd::HugeRect:
        send(RfbWire::hugeRect());
        noteUpdate();
        return true;
    case Odd::HugeCutText:
        send(RfbWire::serverCutText("SOLMIR-3 overflow", 0x7FFFFFFFu));
        return true;
    case Odd::None:
        break;
    }
    return false;
}

void RfbConnection::remember(const QImage& frame, const QRect& rect)
{
    if (shown.size() != frame.size() || shown.format() != frame.format()) {
        shown = QImage(frame.size(), frame.format());
        shown.fill(0);
    }
    const int bpp = frame.depth() / 8;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        std::memcpy(shown.scanLine(y) + rect.left() * bpp,
                    frame.constScanLine(y) + rect.left() * bpp,
                    static_cast<size_t>(rect.width() * bpp));
}

void RfbConnection::noteUpdate()
{
    ++updates;
    server->noteUpdateSent();
    const int closeAfter = server->options().closeAfterUpdates;
    if (closeAfter >= 0 && updates >= closeAfter)
        closeAfterSending();
}
