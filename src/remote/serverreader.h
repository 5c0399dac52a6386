#pragma once
// ServerReader: reads everything the device's RFB server says, field by field, from a ByteSource;
// the one place that knows the server's byte layouts. What a server message holds goes to a
// ServerMessageHandler: the reader owns no screen.
#include "remote/rfbprotocol.h"
#include "remote/wirelimits.h"

#include <QByteArray>
#include <QDeadlineTimer>

class ByteSource;
class ServerMessageHandler;

class ServerReader
{
public:
    enum class SecurityResult
    {
        Lost,
        Accepted,
        Refused
    };
    explicit ServerReader(ByteSource& source);

    // Each field must arrive whole within this time, however its bytes trickle in.
    void setTimeout(int ms);
    int timeout() const;

    // The server's ProtocolVersion, as it said it; false unless it is one the session speaks.
    bool readVersion(QByteArray* version);
    // The type the session answers with; SecurityInvalid when none of the offered will do.
    bool readSecurityTypes(rfb::SecurityType* chosen);
    bool readChallenge(QByteArray* challenge);
    SecurityResult readSecurityResult();
    // The fields as sent; whether the screen can be shown is the handshake's judgement.
    bool readServerInit(rfb::ServerInit* init);
    // One server message, reported to handler as it is read; false when a read failed or a
    // rectangle could not be taken, and the stream is out of step.
    bool readServerMessage(ServerMessageHandler& handler);
    // Reads and drops whatever arrives within ms; true when anything did.
    bool drain(int ms);

private:
    bool readRectangle(ServerMessageHandler& handler);
    // count bytes of which the first keep bytes go into kept, the rest dropped.
    bool readKept(QByteArray* kept, qint64 count, int keep, const QDeadlineTimer& deadline);
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
    int timeoutMs = wire::fieldDeadlineMs;
    // The rows of a rectangle in flight, kept between rectangles to spare an allocation each.
    QByteArray rows;
};
