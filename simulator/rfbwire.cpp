#include "rfbwire.h"

#include "rfbpixelformat.h"

#include <QtEndian>

QByteArray RfbWire::u16(quint16 value)
{
    QByteArray b(2, '\0');
    qToBigEndian<quint16>(value, b.data());
    return b;
}

QByteArray RfbWire::u32(quint32 value)
{
    QByteArray b(4, '\0');
    qToBigEndian<quint32>(value, b.data());
    return b;
}

int RfbWire::versionNumber(const QByteArray& text)
{
    if (text == "RFB 003.003\n")
        return 3003;
    if (text == "RFB 003.007\n")
        return 3007;
    if (text == "RFB 003.008\n")
        return 3008;
    return 0;
}

QByteArray RfbWire::securityTypes(const QList<quint8>& types)
{
    QByteArray b;
    b.append(static_cast<char>(types.size()));
    for (quint8 t : types)
        b.append(static_cast<char>(t));
    return b;
}

QByteArray RfbWire::securityRefusal(const QByteArray& reason)
{
    return QByteArray(1, '\0') + u32(static_cast<quint32>(reason.size())) + reason;
}

QByteArray RfbWire::securityResult(bool ok, const QByteArray& reason, bool withReason)
{
    if (ok)
        return u32(0);
    QByteArray b = u32(1);
    if (withReason)
        b += u32(static_cast<quint32>(reason.size())) + reason;
    return b;
}

QByteArray RfbWire::serverInit(const QSize& size, const RfbPixelFormat& format,
                               const QByteArray& name, bool hugeNameLength)
{
    QByteArray b = u16(static_cast<quint16>(size.width())) +
                   u16(static_cast<quint16>(size.height())) + format.toBytes();
    if (hugeNameLength)
        return b + u32(0xFFFFFFF0u);
    return b + u32(static_cast<quint32>(name.size())) + name;
}

QByteArray RfbWire::updateHeader(quint16 rectangles)
{
    return QByteArray(2, '\0') + u16(rectangles);
}

QByteArray RfbWire::rectangleHeader(const QRect& rect, qint32 encoding)
{
    return u16(static_cast<quint16>(rect.x())) + u16(static_cast<quint16>(rect.y())) +
           u16(static_cast<quint16>(rect.width())) + u16(static_cast<quint16>(rect.height())) +
           u32(static_cast<quint32>(encoding));
}

QByteArray RfbWire::bell()
{
    return QByteArray(1, '\2');
}

QByteArray RfbWire::serverCutText(const QByteArray& text, quint32 declaredLength)
{
    return QByteArray(1, '\3') + QByteArray(3, '\0') + u32(declaredLength) + text;
}

QByteArray RfbWire::colourMapEntries()
{
    // First colour 0, one entry: full red.
    return QByteArray(1, '\1') + QByteArray(1, '\0') + u16(0) + u16(1) + u16(0xFFFF) + u16(0) +
           u16(0);
}

QByteArray RfbWire::unknownMessage()
{
    return QByteArray::fromHex("c8000000");
}

QByteArray RfbWire::copyRect(const QRect& rect)
{
    return updateHeader(1) + rectangleHeader(rect, 1) + u16(0) + u16(0);
}

QByteArray RfbWire::hugeRect()
{
    return updateHeader(1) + rectangleHeader(QRect(0, 0, 0xFFFF, 0xFFFF), 0) + QByteArray(64, '\0');
}

QList<QRect> RfbWire::bands(const QRect& rect, int count)
{
    QList<QRect> out;
    if (rect.isEmpty())
        return out;
    count = qBound(1, count, rect.height());
    int top = rect.top();
    for (int i = 0; i < count; ++i) {
        const int bottom = rect.top() + (rect.height() * (i + 1)) / count;
        out.append(QRect(rect.left(), top, rect.width(), bottom - top));
        top = bottom;
    }
    return out;
}

RfbWire::ClientFrame RfbWire::frameClientMessage(const QByteArray& buffer)
{
    ClientFrame f;
    if (buffer.isEmpty())
        return f;
    const auto* d = reinterpret_cast<const uchar*>(buffer.constData());
    auto need = [&](int n) {
        if (buffer.size() >= n) {
            f.frame = Frame::Complete;
            f.length = n;
        }
        return f;
    };
    switch (d[0]) {
    case 0:
        return need(20);
    case 2: {
        if (buffer.size() < 4)
            return f;
        return need(4 + 4 * qFromBigEndian<quint16>(d + 2));
    }
    case 3:
        return need(10);
    case 4:
        return need(8);
    case 5:
        return need(6);
    case 6: {
        if (buffer.size() < 8)
            return f;
        const quint32 length = qFromBigEndian<quint32>(d + 4);
        if (length <= static_cast<quint32>(maxKeptCutText))
            return need(8 + static_cast<int>(length));
        f.frame = Frame::Skip;
        f.length = 8;
        f.skip = length;
        return f;
    }
    default:
        f.frame = Frame::Invalid;
        return f;
    }
}
