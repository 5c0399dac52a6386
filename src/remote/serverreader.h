#pragma once
// ServerReader: reads everything the device's RFB server says, field by field, from a ByteSource;
// the one place that knows the server's byte layouts, their limits and their time-outs.
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
    // Largest screen accepted from ServerInit: the image is the one allocation it sizes.
    static constexpr int maxFrameSide = 8192;
    static constexpr qint64 maxFramePixels = qint64(4096) * 4096;
    // How long a message of unknown type is drained.
    static constexpr int drainMs = 1000;
    // The session's passes: Configure counts the last of its three, and one pass of Exchange
    // may take this many attempts.
    static constexpr int configurePasses = 3;
    static constexpr int updateAttempts = 5;

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
    // Fails for a screen that cannot be shown; init is then not to be used.
    bool readServerInit(rfb::ServerInit* init);
    // One server message. Update pixels go into image, written under imageLock when given.
    Message readServerMessage(QImage& image, QMutex* imageLock, const rfb::PixelFormat& format);
    // Reads and drops whatever arrives within ms; true when anything did.
    bool drain(int ms);

private:
    bool readRectangle(QImage& image, QMutex* imageLock, const rfb::PixelFormat& format);
    // Exactly count bytes into field, before the deadline.
    bool receive(qint64 count, const QDeadlineTimer& deadline);
    bool receive(qint64 count);
    bool skip(qint64 count);

    ByteSource& source;
    int timeoutMs = 10000;
    QByteArray field;
};
