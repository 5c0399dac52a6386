#include "remote/rfbprotocol.h"

#include <QImage>

#include <algorithm>
#include <cstring>

namespace rfb {

QByteArray protocolVersion()
{
    return QByteArrayLiteral("RFB 003.008\n");
}

bool isSupportedVersion(const QByteArray& announced)
{
    const int zero = announced.indexOf('\0');
    return (zero < 0 ? announced : announced.left(zero)) == protocolVersion();
}

SecurityType chooseSecurityType(const QByteArray& offered)
{
    if (offered.contains(char(SecurityNone)))
        return SecurityNone;
    if (offered.contains(char(SecurityVncAuth)))
        return SecurityVncAuth;
    return SecurityInvalid;
}

quint16 readU16(const QByteArray& bytes, int offset)
{
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData()) + offset;
    return quint16((p[0] << 8) | p[1]);
}

quint32 readU32(const QByteArray& bytes, int offset)
{
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData()) + offset;
    return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
}

void appendU16(QByteArray& bytes, quint16 value)
{
    bytes.append(char(value >> 8));
    bytes.append(char(value & 0xFF));
}

void appendU32(QByteArray& bytes, quint32 value)
{
    appendU16(bytes, quint16(value >> 16));
    appendU16(bytes, quint16(value & 0xFFFF));
}

PixelFormat rgb565()
{
    PixelFormat format;
    format.bitsPerPixel = 16;
    format.depth = 16;
    format.bigEndian = 0;
    format.trueColour = 1;
    format.redMax = 31;
    format.greenMax = 63;
    format.blueMax = 31;
    format.redShift = 11;
    format.greenShift = 5;
    format.blueShift = 0;
    return format;
}

QByteArray clientInit()
{
    return QByteArray(1, char(1));
}

QByteArray setPixelFormat(const PixelFormat& format)
{
    QByteArray message;
    message.append(char(SetPixelFormat));
    message.append(3, '\0');
    message.append(char(format.bitsPerPixel));
    message.append(char(format.depth));
    message.append(char(format.bigEndian ? 1 : 0));
    message.append(char(format.trueColour ? 1 : 0));
    appendU16(message, quint16(format.redMax));
    appendU16(message, quint16(format.greenMax));
    appendU16(message, quint16(format.blueMax));
    message.append(char(format.redShift));
    message.append(char(format.greenShift));
    message.append(char(format.blueShift));
    message.append(3, '\0');
    return message;
}

QByteArray framebufferUpdateRequest(int width, int height, bool incremental)
{
    QByteArray message;
    message.append(char(FramebufferUpdateRequest));
    message.append(char(incremental ? 1 : 0));
    appendU16(message, 0);
    appendU16(message, 0);
    appendU16(message, quint16(width));
    appendU16(message, quint16(height));
    return message;
}

QByteArray keyEvent(bool down, quint32 keysym)
{
    QByteArray message;
    message.append(char(KeyEvent));
    message.append(char(down ? 1 : 0));
    message.append(2, '\0');
    appendU32(message, keysym);
    return message;
}

QByteArray pointerEvent(quint8 buttonMask, int x, int y)
{
    QByteArray message;
    message.append(char(PointerEvent));
    message.append(char(buttonMask));
    appendU16(message, quint16(x & 0xFFFF));
    appendU16(message, quint16(y & 0xFFFF));
    return message;
}

int rowsPerPiece(int rowBytes, int budget)
{
    if (rowBytes <= 0)
        return 1;
    return std::max(1, budget / rowBytes);
}

void storeRows(QImage& image, const Rectangle& rect, int firstRow, int rows, const char* data)
{
    // Coordinates are at most 65535 each, so int sums cannot overflow; clipping happens here
    // instead of in 16-bit arithmetic.
    const int left = rect.x;
    if (left >= image.width() || image.depth() != 16)
        return;
    const int visible = std::min(rect.width, image.width() - left);
    if (visible <= 0)
        return;
    const qsizetype rowBytes = qsizetype(rect.width) * 2;
    for (int r = 0; r < rows; ++r) {
        const int y = rect.y + firstRow + r;
        if (y < 0 || y >= image.height())
            continue;
        uchar* target = image.scanLine(y) + qsizetype(left) * 2;
        const char* source = data + qsizetype(r) * rowBytes;
        // The pixels arrive low byte first, which is the image's own layout on this machine.
        if (Q_BYTE_ORDER == Q_LITTLE_ENDIAN) {
            std::memcpy(target, source, size_t(visible) * 2);
        } else {
            for (int c = 0; c < visible; ++c) {
                target[2 * c] = uchar(source[2 * c + 1]);
                target[2 * c + 1] = uchar(source[2 * c]);
            }
        }
    }
}

} // namespace rfb
