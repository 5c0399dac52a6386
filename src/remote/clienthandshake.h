#pragma once
// ClientHandshake: the client's side of the RFB 3.8 initialisation, each stage once, from the
// version to ServerInit; the session, the fuzzer and the corpus recorder all go through it.
#include "remote/rfbprotocol.h"

#include <QByteArray>
#include <QString>

#include <functional>

class ServerReader;

class ClientHandshake
{
public:
    enum class Outcome
    {
        // ClientInit has gone out: ServerInit follows.
        Connected,
        // A read or a write failed, the server offered nothing usable, or no password came.
        Failed,
        // The server refused the security handshake (with VNC Authentication: the password).
        Refused
    };

    // Sends bytes to the server; false when they did not all go.
    using Write = std::function<bool(const QByteArray& bytes)>;
    // Asked when the server demands VNC Authentication, before the type is chosen on the wire;
    // false when there is no password to answer with.
    using AskPassword = std::function<bool(QString* password)>;

    ClientHandshake(ServerReader& reader, Write write, AskPassword askPassword);

    Outcome run();
    // For the record: what the server said it speaks, the type chosen, and, when run() did not
    // connect, in plain words where it stopped. Never the password, challenge or response.
    QByteArray serverVersion() const { return version; }
    rfb::SecurityType securityType() const { return type; }
    QString failure() const { return reason; }
    // Reads ServerInit; fails for a screen that cannot be shown, and init is then not to be used.
    bool readServerInit(rfb::ServerInit* init);

private:
    bool authenticate();
    Outcome fail(const QString& why, Outcome outcome = Outcome::Failed);

    ServerReader& reader;
    Write write;
    AskPassword askPassword;
    QByteArray version;
    rfb::SecurityType type = rfb::SecurityInvalid;
    QString reason;
};
