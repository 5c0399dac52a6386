#include "rfbpixelformat.h"

#include <QtEndian>
#include <cstring>

RfbPixelFormat RfbPixelFormat::rgb565()
{
    return RfbPixelFormat();
}

RfbPixelFormat RfbPixelFormat::rgb888()
{
    RfbPixelFormat f;
    f.bitsPerPixel = 32;
    f.depth = 24;
    f.redMax = f.greenMax = f.blueMax = 255;
    f.redShift = 16;
    f.greenShift = 8;
    f.blueShift = 0;
    return f;
}

QByteArray RfbPixelFormat::toBytes() const
{
    QByteArray b(16, '\0');
    b[0] = static_cast<char>(bitsPerPixel);
    b[1] = static_cast<char>(depth);
    b[2] = bigEndian ? 1 : 0;
    b[3] = trueColour ? 1 : 0;
    qToBigEndian<quint16>(redMax, b.data() + 4);
    qToBigEndian<quint16>(greenMax, b.data() + 6);
    qToBigEndian<quint16>(blueMax, b.data() + 8);
    b[10] = static_cast<char>(redShift);
    b[11] = static_cast<char>(greenShift);
    b[12] = static_cast<char>(blueShift);
    return b;
}

RfbPixelFormat RfbPixelFormat::fromBytes(const QByteArray& bytes)
{
    RfbPixelFormat f;
    if (bytes.size() < 13)
        return f;
    const auto* d = reinterpret_cast<const uchar*>(bytes.constData());
    f.bitsPerPixel = d[0];
    f.depth = d[1];
    f.bigEndian = d[2] != 0;
    f.trueColour = d[3] != 0;
    f.redMax = qFromBigEndian<quint16>(d + 4);
    f.greenMax = qFromBigEndian<quint16>(d + 6);
    f.blueMax = qFromBigEndian<quint16>(d + 8);
    f.redShift = d[10];
    f.greenShift = d[11];
    f.blueShift = d[12];
    return f;
}

bool RfbPixelFormat::isServable() const
{
    return trueColour && (bitsPerPixel == 8 || bitsPerPixel == 16 || bitsPerPixel == 32);
}

quint32 RfbPixelFormat::scaleChannel(quint32 value, quint32 fromMax, quint32 toMax)
{
    if (fromMax == 0)
        return 0;
    return (value * toMax + fromMax / 2) / fromMax;
}

namespace {
// Shifts of 32 or more would be undefined behaviour; such channels simply vanish.
quint32 place(quint32 value, quint8 shift)
{
    return shift < 32 ? value << shift : 0;
}
} // namespace

quint32 RfbPixelFormat::pixelValue(quint16 rgb565) const
{
    const quint32 r = scaleChannel((rgb565 >> 11) & 0x1F, 31, redMax);
    const quint32 g = scaleChannel((rgb565 >> 5) & 0x3F, 63, greenMax);
    const quint32 b = scaleChannel(rgb565 & 0x1F, 31, blueMax);
    quint32 v = place(r, redShift) | place(g, greenShift) | place(b, blueShift);
    if (bitsPerPixel < 32)
        v &= (1u << bitsPerPixel) - 1;
    return v;
}

QByteArray RfbPixelFormat::encode(const QImage& screen, const QRect& rect) const
{
    const int bpp = bytesPerPixel();
    QByteArray out(rect.width() * rect.height() * bpp, '\0');
    if (out.isEmpty())
        return out;
    char* dst = out.data();
    const bool native565 =
        bitsPerPixel == 16 && *this == rgb565() && bigEndian == (Q_BYTE_ORDER == Q_BIG_ENDIAN);
    if (native565) {
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            const auto* row = reinterpret_cast<const quint16*>(screen.constScanLine(y));
            std::memcpy(dst, row + rect.left(), static_cast<size_t>(rect.width()) * 2);
            dst += rect.width() * 2;
        }
        return out;
    }
    // A lookup per channel keeps the conversion of a whole screen cheap.
    quint32 lutR[32], lutG[64], lutB[32];
    for (int i = 0; i < 32; ++i) {
        lutR[i] = pixelValue(static_cast<quint16>(i << 11));
        lutB[i] = pixelValue(static_cast<quint16>(i));
    }
    for (int i = 0; i < 64; ++i)
        lutG[i] = pixelValue(static_cast<quint16>(i << 5));
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        const auto* row = reinterpret_cast<const quint16*>(screen.constScanLine(y));
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const quint16 p = row[x];
            const quint32 v = lutR[p >> 11] | lutG[(p >> 5) & 0x3F] | lutB[p & 0x1F];
            if (bpp == 1) {
                *dst = static_cast<char>(v);
            } else if (bpp == 2) {
                if (bigEndian)
                    qToBigEndian<quint16>(static_cast<quint16>(v), dst);
                else
                    qToLittleEndian<quint16>(static_cast<quint16>(v), dst);
            } else if (bigEndian) {
                qToBigEndian<quint32>(v, dst);
            } else {
                qToLittleEndian<quint32>(v, dst);
            }
            dst += bpp;
        }
    }
    return out;
}

bool RfbPixelFormat::operator==(const RfbPixelFormat& o) const
{
    return bitsPerPixel == o.bitsPerPixel && depth == o.depth && bigEndian == o.bigEndian &&
           trueColour == o.trueColour && redMax == o.redMax && greenMax == o.greenMax &&
           blueMax == o.blueMax && redShift == o.redShift && greenShift == o.greenShift &&
           blueShift == o.blueShift;
}
