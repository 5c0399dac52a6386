#pragma once
// rfb: the RFB 3.8 byte layouts the session sends and reads, as small pure functions.
#include <QByteArray>
#include <QtGlobal>

class QImage;

namespace rfb {

constexpr quint16 serverPort = 5900;
constexpr int versionLength = 12;

enum SecurityType
{
    SecurityInvalid = 0,
    SecurityNone = 1,
    SecurityVncAuth = 2
};
enum ServerMessage
{
    FramebufferUpdate = 0,
    SetColourMapEntries = 1,
    Bell = 2,
    ServerCutText = 3
};
enum ClientMessage
{
    SetPixelFormat = 0,
    SetEncodings = 2,
    FramebufferUpdateRequest = 3,
    KeyEvent = 4,
    PointerEvent = 5,
    ClientCutText = 6
};
constexpr qint32 encodingRaw = 0;

struct PixelFormat
{
    int bitsPerPixel = 0;
    int depth = 0;
    int bigEndian = 0;
    int trueColour = 0;
    int redMax = 0;
    int greenMax = 0;
    int blueMax = 0;
    int redShift = 0;
    int greenShift = 0;
    int blueShift = 0;
};

struct ServerInit
{
    int width = 0;
    int height = 0;
    PixelFormat format;
    quint32 nameLength = 0;
    // The desktop's name, at most its first wire::maxNameBytes.
    QByteArray name;
};

struct Rectangle
{
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    qint32 encoding = 0;
};

QByteArray protocolVersion();
// The version the server announced, taken as text up to the first zero byte.
bool isSupportedVersion(const QByteArray& announced);
// None whenever offered, else VNC Authentication, else SecurityInvalid.
SecurityType chooseSecurityType(const QByteArray& offered);

quint16 readU16(const QByteArray& bytes, int offset = 0);
quint32 readU32(const QByteArray& bytes, int offset = 0);
void appendU16(QByteArray& bytes, quint16 value);
void appendU32(QByteArray& bytes, quint32 value);

// 16 bits per pixel, little-endian true colour 5-6-5: the memory layout of QImage::Format_RGB16.
PixelFormat rgb565();

// The shared flag: other clients of the device may stay connected.
QByteArray clientInit();
QByteArray setPixelFormat(const PixelFormat& format);
QByteArray framebufferUpdateRequest(int width, int height, bool incremental = false);
QByteArray keyEvent(bool down, quint32 keysym);
// Positions travel as their low 16 bits.
QByteArray pointerEvent(quint8 buttonMask, int x, int y);

// Rows of a rectangle to read at once so that one piece stays near budget bytes (at least one row).
int rowsPerPiece(int rowBytes, int budget);
// Stores rows [firstRow, firstRow + rows) of a Raw 16-bit rectangle into an RGB16 image;
// pixels outside the image are skipped.
void storeRows(QImage& image, const Rectangle& rect, int firstRow, int rows, const char* data);

} // namespace rfb
