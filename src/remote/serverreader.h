#pragma once
// ServerReader: reads everything the device's RFB server says, field by field, from a ByteSource;
// the one place that knows the server's byte layouts, their piece size and their time-outs.
#include "remote/rfbprotocol.h"

#include <QByteArray>
#include <QDeadlineTimer>

class ByteSource;
class QImage;
class QMutex;

class ServerReader
{
public:
    // No single read is sized by the server: long fields arrive and leave in pieces this big.
    static constexpr int pieceBytes = 64 * 1024;
    // How long a message of unknown type is drained.
    static constexpr int drainMs = 1000;

    enum class SecurityResult
    {
        Lost,
        Accepted,
        Refused
    };
    enum class Message
    {
        // A read failed or a rectangle could not be taken: the stream is out of step.
        Lost,
        Update,
        // Consumed, but not a screen update.
        Other
    };

    explicit ServerReader(ByteSource& source);

    // Each field must arrive whole within this time, however its bytes trickle in.
    void setTimeout(int ms);
    int timeout() const;

    bool readVersion();
    // The type the session answers with; SecurityInvalid when none of the offered will do.
    bool readSecurityTypes(rfb::SecurityType* chosen);
    bool readChallenge(QByteArray* challenge);
    SecurityResult readSecurityResult();
    // The fields as sent; whether the screen can be shown is the handshake's judgement.
    bool readServerInit(rfb::ServerInit* init);
    // One server message. Update pixels go into image, written under imageLock when given.
    Message readServerMessage(QImage& image, QMutex* imageLock, const rfb::PixelFormat& format);
    // Reads and drops whatever arrives within ms; true when anything did.
    bool drain(int ms);

private:
    bool readRectangle(QImage& image, QMutex* imageLock, const rfb::PixelFormat& format);
    QDeadlineTimer fieldDeadline() const;
    // Exactly count bytes, all before the deadline; fields read together share one.
    bool readBytes(char* into, qint64 count, const QDeadlineTimer& deadline);
    bool readBytes(QByteArray* into, int count, const QDeadlineTimer& deadline);
    bool readU8(quint8* value, const QDeadlineTimer& deadline);
    bool readU8(int* value, const QDeadlineTimer& deadline);
    bool readU16(quint16* value, const QDeadlineTimer& deadline);
    bool readU16(int* value, const QDeadlineTimer& deadline);
    bool readU32(quint32* value, const QDeadlineTimer& deadline);
    bool skip(qint64 count, const QDeadlineTimer& deadline);

    ByteSource& source;
    int timeoutMs = 10000;
    // The rows of a rectangle in flight, kept between rectangles to spare an allocation each.
    QByteArray rows;
};
