// RfbPixelFormat: an RFB PIXEL_FORMAT and the conversion of the 5-6-5 screen into it.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QRect>

class RfbPixelFormat
{
public:
    quint8 bitsPerPixel = 16;
    quint8 depth = 16;
    bool bigEndian = false;
    bool trueColour = true;
    quint16 redMax = 31;
    quint16 greenMax = 63;
    quint16 blueMax = 31;
    quint8 redShift = 11;
    quint8 greenShift = 5;
    quint8 blueShift = 0;

    static RfbPixelFormat rgb565();
    static RfbPixelFormat rgb888();
    // The 16 bytes of PIXEL_FORMAT as ServerInit and SetPixelFormat carry them.
    QByteArray toBytes() const;
    static RfbPixelFormat fromBytes(const QByteArray& bytes);
    // Only true-colour formats of 8, 16 or 32 bits can be served.
    bool isServable() const;
    int bytesPerPixel() const { return bitsPerPixel / 8; }
    // One pixel value of this format for a 5-6-5 value of the screen.
    quint32 pixelValue(quint16 rgb565) const;
    // The pixels of rect (row by row) in this format; rect must lie inside the image.
    QByteArray encode(const QImage& screen, const QRect& rect) const;
    static quint32 scaleChannel(quint32 value, quint32 fromMax, quint32 toMax);
    bool operator==(const RfbPixelFormat& other) const;
};
