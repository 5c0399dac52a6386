// RfbWire: the byte layouts of the server's RFB messages and the framing of client messages.
#pragma once

#include <QByteArray>
#include <QList>
#include <QRect>
#include <QSize>

class RfbPixelFormat;

class RfbWire
{
public:
    // Largest client message kept whole; longer ClientCutText bodies are skipped, not stored.
    static constexpr int maxKeptCutText = 64 * 1024;

    static QByteArray u16(quint16 value);
    static QByteArray u32(quint32 value);
    // "RFB 003.00x\n" → x*... as 3003, 3007, 3008; 0 for anything else.
    static int versionNumber(const QByteArray& text);
    static QByteArray securityTypes(const QList<quint8>& types);
    static QByteArray securityRefusal(const QByteArray& reason);
    static QByteArray securityResult(bool ok, const QByteArray& reason, bool withReason);
    static QByteArray serverInit(const QSize& size, const RfbPixelFormat& format,
                                 const QByteArray& name, bool hugeNameLength);
    static QByteArray updateHeader(quint16 rectangles);
    static QByteArray rectangleHeader(const QRect& rect, qint32 encoding);
    static QByteArray bell();
    static QByteArray serverCutText(const QByteArray& text, quint32 declaredLength);
    static QByteArray colourMapEntries();
    static QByteArray unknownMessage();
    static QByteArray copyRect(const QRect& rect);
    static QByteArray hugeRect();
    // Splits rect into `bands` horizontal bands of nearly equal height (no empty ones).
    static QList<QRect> bands(const QRect& rect, int bands);

    // Framing of one client message at the front of buffer.
    enum class Frame
    {
        Incomplete,
        Complete,
        Skip,
        Invalid
    };
    struct ClientFrame
    {
        Frame frame = Frame::Incomplete;
        int length = 0;   // bytes of the message kept (Complete/Skip: header)
        quint32 skip = 0; // bytes to drop after the header (Skip only)
    };
    static ClientFrame frameClientMessage(const QByteArray& buffer);
};
