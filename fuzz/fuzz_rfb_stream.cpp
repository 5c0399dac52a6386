// fuzz_rfb_stream: arbitrary bytes as everything the device's RFB server says, from the
// ProtocolVersion through security, ServerInit and any number of server messages, read by the
// session's own ServerReader in the session's order into an image of the announced size.
#include "remote/bytesource.h"
#include "remote/serverreader.h"
#include "remote/vnccipher.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

void require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// The input as the socket: every byte has already arrived. A read past the end is a connection
// that ended. Dropping waiting bytes drops nothing here: the rest of any stream may as well have
// arrived just after the drop, so every stream stays a possible one.
class InputSource : public ByteSource
{
public:
    InputSource(const uint8_t* bytes, size_t length) : data(bytes), size(length) {}

    qint64 readSome(char* into, qint64 maxBytes, const QDeadlineTimer&) override
    {
        if (pos >= size)
            return -1;
        const size_t n = std::min(size - pos, size_t(maxBytes));
        std::memcpy(into, data + pos, n);
        pos += n;
        return qint64(n);
    }
    void discardWaiting() override {}
    bool isConnected() const override { return true; }
    bool atEnd() const { return pos >= size; }

private:
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
};

// The challenge doubles as the operator's password, through both decodings the password text can
// come from, so key building sees Latin-1, broken UTF-8 and zero bytes.
void answerChallenge(const QByteArray& challenge)
{
    const QString passwords[] = {QString::fromUtf8(challenge), QString::fromLatin1(challenge)};
    for (const QString& password : passwords) {
        require(vnccipher::keyFromPassword(password).size() == 8, "key of 8 bytes");
        const QByteArray response = vncResponse(challenge, password);
        require(response.size() == 16, "response of 16 bytes");
        require(response == vncResponse(challenge, password), "response is deterministic");
    }
}

// The largest screen the reader accepts, allocated once: each input gets an image of exactly
// its announced size over it, without a per-input allocation of up to 32 MB.
uchar* screenMemory()
{
    static const std::unique_ptr<uchar[]> memory(new uchar[ServerReader::maxFramePixels * 2]);
    return memory.get();
}

bool handshake(ServerReader& reader)
{
    rfb::SecurityType type = rfb::SecurityInvalid;
    if (!reader.readVersion() || !reader.readSecurityTypes(&type))
        return false;
    if (type == rfb::SecurityVncAuth) {
        QByteArray challenge;
        if (!reader.readChallenge(&challenge))
            return false;
        answerChallenge(challenge);
    } else if (type != rfb::SecurityNone) {
        return false;
    }
    return reader.readSecurityResult() == ServerReader::SecurityResult::Accepted;
}

bool pass(ServerReader& reader, QImage& screen)
{
    // The session asks for 5-6-5 before its first request.
    return reader.readServerMessage(screen, nullptr, rfb::rgb565()) ==
           ServerReader::Message::Update;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    InputSource source(data, size);
    ServerReader reader(source);
    rfb::ServerInit init;
    if (!handshake(reader) || !reader.readServerInit(&init))
        return 0;
    require(qint64(init.width) * init.height <= ServerReader::maxFramePixels,
            "an accepted screen fits the largest image");
    QImage screen(screenMemory(), init.width, init.height, init.width * 2, QImage::Format_RGB16);
    require(!screen.isNull(), "the accepted screen is an image");
    bool configured = false;
    for (int i = 0; i < ServerReader::configurePasses; ++i)
        configured = pass(reader, screen);
    if (!configured)
        return 0;
    // Exchange: the connection ends when a pass runs out of attempts.
    while (!source.atEnd()) {
        bool updated = false;
        for (int attempt = 0; attempt < ServerReader::updateAttempts && !updated; ++attempt)
            updated = pass(reader, screen);
        if (!updated)
            break;
    }
    require(screen.size() == QSize(init.width, init.height), "updates never resize the screen");
    require(screen.constBits() == screenMemory(), "updates write into the screen, not a copy");
    return 0;
}
