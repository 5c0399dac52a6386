#include "remote/clienthandshake.h"

#include "remote/serverreader.h"
#include "remote/vnccipher.h"
#include "remote/wirelimits.h"

#include <utility>

ClientHandshake::ClientHandshake(ServerReader& reader, Write write, AskPassword askPassword)
    : reader(reader), write(std::move(write)), askPassword(std::move(askPassword))
{
}

ClientHandshake::Outcome ClientHandshake::run()
{
    rfb::SecurityType type = rfb::SecurityInvalid;
    if (!reader.readVersion() || !write(rfb::protocolVersion()) ||
        !reader.readSecurityTypes(&type) || !authenticate(type))
        return Outcome::Failed;
    switch (reader.readSecurityResult()) {
    case ServerReader::SecurityResult::Lost:
        return Outcome::Failed;
    case ServerReader::SecurityResult::Refused:
        return Outcome::Refused;
    case ServerReader::SecurityResult::Accepted:
        break;
    }
    return write(rfb::clientInit()) ? Outcome::Connected : Outcome::Failed;
}

bool ClientHandshake::authenticate(rfb::SecurityType type)
{
    if (type == rfb::SecurityNone)
        return write(QByteArray(1, char(rfb::SecurityNone)));
    if (type != rfb::SecurityVncAuth)
        return false;
    QString password;
    QByteArray challenge;
    return askPassword(&password) && write(QByteArray(1, char(rfb::SecurityVncAuth))) &&
           reader.readChallenge(&challenge) && write(vncResponse(challenge, password));
}

bool ClientHandshake::readServerInit(rfb::ServerInit* init)
{
    if (!reader.readServerInit(init))
        return false;
    // A screen that cannot be shown, or whose image alone would exhaust memory, is refused.
    return init->width > 0 && init->height > 0 && init->width <= wire::maxScreenSide &&
           init->height <= wire::maxScreenSide &&
           qint64(init->width) * init->height <= wire::maxScreenPixels;
}
