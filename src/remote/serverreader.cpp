#include "remote/serverreader.h"

#include "remote/bytesource.h"
#include "remote/syncedmutexlocker.h"

#include <QImage>

#include <algorithm>
#include <optional>

namespace {

constexpr int challengeLength = 16;
constexpr int securityResultLength = 4;

} // namespace

ServerReader::ServerReader(ByteSource& source) : source(source) {}

void ServerReader::setTimeout(int ms)
{
    timeoutMs = ms;
}

int ServerReader::timeout() const
{
    return timeoutMs;
}

bool ServerReader::readVersion()
{
    return receive(rfb::versionLength) && rfb::isSupportedVersion(field);
}

bool ServerReader::readSecurityTypes(rfb::SecurityType* chosen)
{
    if (!receive(1) || !receive(uchar(field.at(0))))
        return false;
    *chosen = rfb::chooseSecurityType(field);
    return true;
}

bool ServerReader::readChallenge(QByteArray* challenge)
{
    if (!receive(challengeLength))
        return false;
    *challenge = field;
    return true;
}

ServerReader::SecurityResult ServerReader::readSecurityResult()
{
    if (!receive(securityResultLength))
        return SecurityResult::Lost;
    // The whole word: a refusal whose low byte is zero must not pass as success.
    return rfb::readU32(field) == 0 ? SecurityResult::Accepted : SecurityResult::Refused;
}

bool ServerReader::readServerInit(rfb::ServerInit* init)
{
    if (!receive(rfb::serverInitHeaderLength))
        return false;
    *init = rfb::parseServerInit(field);
    if (!skip(init->nameLength))
        return false;
    // A screen that cannot be shown, or whose image alone would exhaust memory, is refused.
    return init->width > 0 && init->height > 0 && init->width <= maxFrameSide &&
           init->height <= maxFrameSide && qint64(init->width) * init->height <= maxFramePixels;
}

ServerReader::Message ServerReader::readServerMessage(QImage& image, QMutex* imageLock,
                                                      const rfb::PixelFormat& format)
{
    if (!receive(1))
        return Message::Lost;
    switch (uchar(field.at(0))) {
    case rfb::FramebufferUpdate: {
        if (!receive(1) || !receive(2))
            return Message::Lost;
        const int rectangles = rfb::readU16(field);
        for (int i = 0; i < rectangles; ++i) {
            if (!readRectangle(image, imageLock, format))
                return Message::Lost;
        }
        return Message::Update;
    }
    case rfb::SetColourMapEntries:
        // Padding, first colour, count; then six bytes a colour.
        if (!receive(5) || !skip(qint64(rfb::readU16(field, 3)) * 6))
            return Message::Lost;
        return Message::Other;
    case rfb::Bell:
        return Message::Other;
    case rfb::ServerCutText:
        // Padding, length; then the text.
        if (!receive(7) || !skip(rfb::readU32(field, 3)))
            return Message::Lost;
        return Message::Other;
    default:
        drain(drainMs);
        return Message::Other;
    }
}

bool ServerReader::drain(int ms)
{
    const QDeadlineTimer deadline(ms);
    char scrap[4096];
    bool any = false;
    for (;;) {
        const qint64 got = source.readSome(scrap, sizeof scrap, deadline);
        if (got <= 0)
            return any;
        any = true;
    }
}

bool ServerReader::readRectangle(QImage& image, QMutex* imageLock, const rfb::PixelFormat& format)
{
    if (!receive(rfb::rectangleHeaderLength))
        return false;
    const rfb::Rectangle rect = rfb::parseRectangle(field);
    if (rect.encoding != rfb::encodingRaw)
        return false;
    if (!source.isConnected())
        return false;
    const int rowBytes = rect.width * (format.bitsPerPixel / 8);
    if (rowBytes == 0 || rect.height == 0)
        return true;
    // The pixel data is one field: one deadline, however many pieces it comes in.
    const QDeadlineTimer deadline(timeoutMs);
    const int rowsAtOnce = rfb::rowsPerPiece(rowBytes, pieceBytes);
    for (int row = 0; row < rect.height; row += rowsAtOnce) {
        const int rows = std::min(rowsAtOnce, rect.height - row);
        if (!receive(qint64(rows) * rowBytes, deadline))
            return false;
        std::optional<SyncedMutexLocker> lock;
        if (imageLock)
            lock.emplace(imageLock);
        rfb::storeRows(image, rect, row, rows, field.constData());
    }
    return true;
}

bool ServerReader::receive(qint64 count, const QDeadlineTimer& deadline)
{
    field.resize(int(count));
    qint64 have = 0;
    while (have < count) {
        const qint64 got = source.readSome(field.data() + have, count - have, deadline);
        if (got <= 0)
            return false;
        have += got;
    }
    return true;
}

bool ServerReader::receive(qint64 count)
{
    return receive(count, QDeadlineTimer(timeoutMs));
}

bool ServerReader::skip(qint64 count)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (count > 0) {
        const qint64 piece = std::min<qint64>(count, pieceBytes);
        if (!receive(piece, deadline))
            return false;
        count -= piece;
    }
    return true;
}
