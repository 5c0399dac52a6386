#include "remote/clienthandshake.h"

#include "remote/serverreader.h"
#include "remote/vnccipher.h"
#include "remote/wirelimits.h"

#include <utility>

ClientHandshake::ClientHandshake(ServerReader& reader, Write write, AskPassword askPassword)
    : reader(reader), write(std::move(write)), askPassword(std::move(askPassword))
{
}

ClientHandshake::Outcome ClientHandshake::fail(const QString& why, Outcome outcome)
{
    reason = why;
    return outcome;
}

ClientHandshake::Outcome ClientHandshake::run()
{
    version.clear();
    type = rfb::SecurityInvalid;
    reason.clear();
    if (!reader.readVersion(&version))
        return fail(version.size() < rfb::versionLength
                        ? QStringLiteral("no ProtocolVersion came")
                        : QStringLiteral("the server speaks %1, not RFB 3.8")
                              .arg(QString::fromLatin1(version.trimmed().toPercentEncoding(" ."))));
    if (!write(rfb::protocolVersion()))
        return fail(QStringLiteral("the version could not be sent"));
    if (!reader.readSecurityTypes(&type))
        return fail(QStringLiteral("no security types came"));
    if (!authenticate())
        return Outcome::Failed;
    switch (reader.readSecurityResult()) {
    case ServerReader::SecurityResult::Lost:
        return fail(QStringLiteral("no SecurityResult came"));
    case ServerReader::SecurityResult::Refused:
        return fail(type == rfb::SecurityVncAuth ? QStringLiteral("the server refused the password")
                                                 : QStringLiteral("the server refused the session"),
                    Outcome::Refused);
    case ServerReader::SecurityResult::Accepted:
        break;
    }
    return write(rfb::clientInit()) ? Outcome::Connected
                                    : fail(QStringLiteral("ClientInit could not be sent"));
}

bool ClientHandshake::authenticate()
{
    if (type == rfb::SecurityNone) {
        if (write(QByteArray(1, char(rfb::SecurityNone))))
            return true;
        fail(QStringLiteral("the security type could not be sent"));
        return false;
    }
    if (type != rfb::SecurityVncAuth) {
        fail(QStringLiteral("the server offers neither None nor VNC Authentication"));
        return false;
    }
    QString password;
    QByteArray challenge;
    if (!askPassword(&password)) {
        fail(QStringLiteral("no password was given"));
        return false;
    }
    if (write(QByteArray(1, char(rfb::SecurityVncAuth))) && reader.readChallenge(&challenge) &&
        write(vncResponse(challenge, password)))
        return true;
    fail(QStringLiteral("VNC Authentication broke off"));
    return false;
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
