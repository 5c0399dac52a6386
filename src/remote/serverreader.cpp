#include "remote/serverreader.h"

#include "remote/bytesource.h"
#include "remote/servermessagehandler.h"

#include <algorithm>

namespace {

constexpr int challengeLength = 16;

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

bool ServerReader::readVersion(QByteArray* version)
{
    return readBytes(version, rfb::versionLength, fieldDeadline()) &&
           rfb::isSupportedVersion(*version);
}

bool ServerReader::readSecurityTypes(rfb::SecurityType* chosen)
{
    quint8 count = 0;
    QByteArray offered;
    if (!readU8(&count, fieldDeadline()) || !readBytes(&offered, count, fieldDeadline()))
        return false;
    *chosen = rfb::chooseSecurityType(offered);
    return true;
}

bool ServerReader::readChallenge(QByteArray* challenge)
{
    return readBytes(challenge, challengeLength, fieldDeadline());
}

ServerReader::SecurityResult ServerReader::readSecurityResult()
{
    quint32 result = 0;
    if (!readU32(&result, fieldDeadline()))
        return SecurityResult::Lost;
    // The whole word: a refusal whose low byte is zero must not pass as success.
    return result == 0 ? SecurityResult::Accepted : SecurityResult::Refused;
}

bool ServerReader::readServerInit(rfb::ServerInit* init)
{
    // The fixed part is one field; the name that follows is another.
    const QDeadlineTimer header = fieldDeadline();
    rfb::PixelFormat& f = init->format;
    return readU16(&init->width, header) && readU16(&init->height, header) &&
           readU8(&f.bitsPerPixel, header) && readU8(&f.depth, header) &&
           readU8(&f.bigEndian, header) && readU8(&f.trueColour, header) &&
           readU16(&f.redMax, header) && readU16(&f.greenMax, header) &&
           readU16(&f.blueMax, header) && readU8(&f.redShift, header) &&
           readU8(&f.greenShift, header) && readU8(&f.blueShift, header) && skip(3, header) &&
           readU32(&init->nameLength, header) &&
           readKept(&init->name, init->nameLength, wire::maxNameBytes, fieldDeadline());
}

bool ServerReader::readServerMessage(ServerMessageHandler& handler)
{
    quint8 type = 0;
    if (!readU8(&type, fieldDeadline()))
        return false;
    switch (type) {
    case rfb::FramebufferUpdate: {
        quint16 rectangles = 0;
        if (!skip(1, fieldDeadline()) || !readU16(&rectangles, fieldDeadline()))
            return false;
        handler.framebufferUpdateStart();
        for (int i = 0; i < rectangles; ++i) {
            if (!readRectangle(handler))
                return false;
        }
        handler.framebufferUpdateEnd();
        return true;
    }
    case rfb::SetColourMapEntries: {
        // Padding, first colour, count; then six bytes a colour.
        const QDeadlineTimer header = fieldDeadline();
        quint16 first = 0;
        quint16 colours = 0;
        if (!skip(1, header) || !readU16(&first, header) || !readU16(&colours, header) ||
            !skip(qint64(colours) * 6, fieldDeadline()))
            return false;
        handler.setColourMapEntries(first, colours);
        return true;
    }
    case rfb::Bell:
        handler.bell();
        return true;
    case rfb::ServerCutText: {
        // Padding, length; then the text.
        const QDeadlineTimer header = fieldDeadline();
        quint32 length = 0;
        QByteArray text;
        if (!skip(3, header) || !readU32(&length, header) ||
            !readKept(&text, length, wire::maxCutTextBytes, fieldDeadline()))
            return false;
        handler.serverCutText(text);
        return true;
    }
    default:
        drain(wire::drainMs);
        return true;
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

bool ServerReader::readRectangle(ServerMessageHandler& handler)
{
    const QDeadlineTimer header = fieldDeadline();
    rfb::Rectangle rect;
    quint32 encoding = 0;
    if (!readU16(&rect.x, header) || !readU16(&rect.y, header) || !readU16(&rect.width, header) ||
        !readU16(&rect.height, header) || !readU32(&encoding, header))
        return false;
    rect.encoding = qint32(encoding);
    if (rect.encoding != rfb::encodingRaw)
        return false;
    if (!source.isConnected())
        return false;
    const int rowBytes = rect.width * handler.bytesPerPixel();
    if (rowBytes == 0 || rect.height == 0)
        return true;
    // The pixel data is one field: one deadline, however many pieces it comes in.
    const QDeadlineTimer deadline = fieldDeadline();
    const int rowsAtOnce = rfb::rowsPerPiece(rowBytes, wire::pieceBytes);
    for (int row = 0; row < rect.height; row += rowsAtOnce) {
        const int count = std::min(rowsAtOnce, rect.height - row);
        if (!readBytes(&rows, count * rowBytes, deadline))
            return false;
        handler.dataRect(rect, row, count, rows.constData());
    }
    return true;
}

bool ServerReader::readKept(QByteArray* kept, qint64 count, int keep,
                            const QDeadlineTimer& deadline)
{
    const int taken = int(std::min<qint64>(count, keep));
    return readBytes(kept, taken, deadline) && skip(count - taken, deadline);
}

QDeadlineTimer ServerReader::fieldDeadline() const
{
    return QDeadlineTimer(timeoutMs);
}

bool ServerReader::readBytes(char* into, qint64 count, const QDeadlineTimer& deadline)
{
    qint64 have = 0;
    while (have < count) {
        const qint64 got = source.readSome(into + have, count - have, deadline);
        if (got <= 0)
            return false;
        have += got;
    }
    return true;
}

bool ServerReader::readBytes(QByteArray* into, int count, const QDeadlineTimer& deadline)
{
    into->resize(count);
    return readBytes(into->data(), count, deadline);
}

bool ServerReader::readU8(quint8* value, const QDeadlineTimer& deadline)
{
    return readBytes(reinterpret_cast<char*>(value), 1, deadline);
}

bool ServerReader::readU8(int* value, const QDeadlineTimer& deadline)
{
    quint8 byte = 0;
    const bool read = readU8(&byte, deadline);
    *value = byte;
    return read;
}

bool ServerReader::readU16(quint16* value, const QDeadlineTimer& deadline)
{
    uchar bytes[2];
    if (!readBytes(reinterpret_cast<char*>(bytes), 2, deadline))
        return false;
    *value = quint16((bytes[0] << 8) | bytes[1]);
    return true;
}

bool ServerReader::readU16(int* value, const QDeadlineTimer& deadline)
{
    quint16 word = 0;
    const bool read = readU16(&word, deadline);
    *value = word;
    return read;
}

bool ServerReader::readU32(quint32* value, const QDeadlineTimer& deadline)
{
    quint16 high = 0;
    quint16 low = 0;
    if (!readU16(&high, deadline) || !readU16(&low, deadline))
        return false;
    *value = (quint32(high) << 16) | low;
    return true;
}

bool ServerReader::skip(qint64 count, const QDeadlineTimer& deadline)
{
    char scrap[4096];
    while (count > 0) {
        const qint64 got =
            source.readSome(scrap, std::min<qint64>(count, qint64(sizeof scrap)), deadline);
        if (got <= 0)
            return false;
        count -= got;
    }
    return true;
}
