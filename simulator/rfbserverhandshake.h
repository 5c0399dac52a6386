// RfbServerHandshake: the server's side of the RFB initialisation, one function per state as in
// TigerVNC's SConnection, from ProtocolVersion to ClientInit. The simulator and the tests'
// scripted peer both run it, so a change of the handshake is made once.
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class RfbServerHandshake
{
public:
    struct Offer
    {
        QByteArray version = QByteArrayLiteral("RFB 003.008\n");
        QByteArray types;     // offered security types in order; none: refused with refusalReason
        QString password;     // what a VNC Authentication client must know
        QByteArray challenge; // a fixed challenge; empty: a random one per connection
        // Sent after the client chose None under 3.8; null: success.
        QByteArray noneResult;
        // Any choice is taken: 2 as VNC Authentication, anything else as None.
        bool acceptAnyChoice = false;
        QByteArray refusalReason = QByteArrayLiteral("no security types");
        QByteArray authFailure = QByteArrayLiteral("authentication failed");
    };
    enum class Progress
    {
        NeedMore,   // waiting for the client's next bytes
        ClientInit, // the client sent ClientInit: ServerInit is the caller's to send
        Closing,    // a refusal was sent; close once it has gone
        Dropped     // the client said something impossible; abort
    };

    // send writes bytes to the client.
    RfbServerHandshake(const Offer& offer, std::function<void(const QByteArray&)> send);
    // The server speaks first: its version.
    void start() { send(offer.version); }

    // Takes what it needs from the front of input.
    Progress feed(QByteArray& input);

    // What the client did, for the tests' records.
    QByteArray clientVersion;
    QByteArray chosen;
    QByteArray response;
    QByteArray clientInit;
    int version = 3008; // as negotiated: 3003, 3007 or 3008

private:
    enum class State
    {
        Version,
        SecurityChoice,
        AuthResponse,
        ClientInit,
        Done
    };
    Progress readVersion(QByteArray& input);
    Progress readSecurityChoice(QByteArray& input);
    Progress readAuthResponse(QByteArray& input);
    Progress readClientInit(QByteArray& input);
    Progress offerSecurity();
    Progress sendChallenge();
    Progress refuse(const QByteArray& reason);

    Offer offer;
    std::function<void(const QByteArray&)> send;
    State state = State::Version;
    QByteArray challenge;
};
