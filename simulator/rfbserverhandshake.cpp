#include "rfbserverhandshake.h"

#include "remote/vnccipher.h"
#include "rfbwire.h"

#include <QRandomGenerator>

#include <utility>

RfbServerHandshake::RfbServerHandshake(const Offer& offered,
                                       std::function<void(const QByteArray&)> sender)
    : offer(offered), send(std::move(sender))
{
}

namespace {

// Moves the first count bytes of input into field once they have all arrived.
bool take(QByteArray& input, int count, QByteArray* field)
{
    if (input.size() < count)
        return false;
    *field = input.left(count);
    input.remove(0, count);
    return true;
}

} // namespace

RfbServerHandshake::Progress RfbServerHandshake::feed(QByteArray& input)
{
    Progress progress = Progress::NeedMore;
    for (State before = State::Done; progress == Progress::NeedMore && state != before;) {
        before = state;
        switch (state) {
        case State::Version:
            progress = readVersion(input);
            break;
        case State::SecurityChoice:
            progress = readSecurityChoice(input);
            break;
        case State::AuthResponse:
            progress = readAuthResponse(input);
            break;
        case State::ClientInit:
            progress = readClientInit(input);
            break;
        case State::Done:
            break;
        }
    }
    return progress;
}

RfbServerHandshake::Progress RfbServerHandshake::readVersion(QByteArray& input)
{
    if (!take(input, 12, &clientVersion))
        return Progress::NeedMore;
    const int client = RfbWire::versionNumber(clientVersion);
    const int offered = RfbWire::versionNumber(offer.version);
    // The tests' peer offers versions a client would refuse, and listens to any answer.
    if (client == 0 && !offer.acceptAnyChoice)
        return Progress::Dropped;
    if (client == 0)
        version = offered == 0 ? 3008 : offered;
    else
        version = offered == 0 ? client : qMin(offered, client);
    return offerSecurity();
}

RfbServerHandshake::Progress RfbServerHandshake::offerSecurity()
{
    if (version == 3003) {
        // 3.3 lets the server choose, and has no SecurityResult for None.
        if (offer.types.isEmpty()) {
            send(RfbWire::u32(0) + RfbWire::u32(quint32(offer.refusalReason.size())) +
                 offer.refusalReason);
            return Progress::Closing;
        }
        const bool auth = !offer.password.isEmpty() && offer.types.contains(char(2));
        send(RfbWire::u32(auth ? 2 : 1));
        if (auth)
            return sendChallenge();
        state = State::ClientInit;
        return Progress::NeedMore;
    }
    if (offer.types.isEmpty())
        return refuse(offer.refusalReason);
    send(QByteArray(1, char(offer.types.size())) + offer.types);
    state = State::SecurityChoice;
    return Progress::NeedMore;
}

RfbServerHandshake::Progress RfbServerHandshake::refuse(const QByteArray& reason)
{
    send(RfbWire::securityRefusal(reason));
    state = State::Done;
    return Progress::Closing;
}

RfbServerHandshake::Progress RfbServerHandshake::sendChallenge()
{
    challenge = offer.challenge;
    if (challenge.isEmpty()) {
        challenge.resize(16);
        for (char& byte : challenge)
            byte = char(QRandomGenerator::system()->bounded(256));
    }
    send(challenge);
    state = State::AuthResponse;
    return Progress::NeedMore;
}

RfbServerHandshake::Progress RfbServerHandshake::readSecurityChoice(QByteArray& input)
{
    if (!take(input, 1, &chosen))
        return Progress::NeedMore;
    const char choice = chosen.at(0);
    if (!offer.acceptAnyChoice && (choice == 0 || !offer.types.contains(choice))) {
        if (version >= 3008)
            send(RfbWire::securityResult(false, "Security type not offered", true));
        state = State::Done;
        return Progress::Closing;
    }
    if (choice == 2)
        return sendChallenge();
    if (version >= 3008)
        send(offer.noneResult.isNull() ? RfbWire::securityResult(true, QByteArray(), false)
                                       : offer.noneResult);
    state = State::ClientInit;
    return Progress::NeedMore;
}

RfbServerHandshake::Progress RfbServerHandshake::readAuthResponse(QByteArray& input)
{
    if (!take(input, 16, &response))
        return Progress::NeedMore;
    if (response != vncResponse(challenge, offer.password)) {
        send(RfbWire::securityResult(false, offer.authFailure, version >= 3008));
        state = State::Done;
        return Progress::Closing;
    }
    send(RfbWire::securityResult(true, QByteArray(), false));
    state = State::ClientInit;
    return Progress::NeedMore;
}

RfbServerHandshake::Progress RfbServerHandshake::readClientInit(QByteArray& input)
{
    if (!take(input, 1, &clientInit))
        return Progress::NeedMore;
    state = State::Done;
    return Progress::ClientInit;
}
