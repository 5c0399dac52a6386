// fuzz_rfb_stream: arbitrary bytes as everything the device's RFB server says, from the
// ProtocolVersion through security, ServerInit and any number of server messages, taken by the
// session's own handshake and reader in the session's order into an image of the announced size.
#include "memorysource.h"
#include "recordinghandler.h"
#include "remote/clienthandshake.h"
#include "remote/hvnc.h"
#include "remote/serverreader.h"
#include "remote/vnccipher.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

void require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// The challenge still to come doubles as the operator's password, through both decodings the
// password text can come from, so key building sees Latin-1, broken UTF-8 and zero bytes.
bool passwordFromChallenge(const MemorySource& source, QString* password)
{
    const QByteArray challenge = source.peek(16);
    const QString passwords[] = {QString::fromLatin1(challenge), QString::fromUtf8(challenge)};
    for (const QString& text : passwords) {
        require(vnccipher::keyFromPassword(text).size() == 8, "key of 8 bytes");
        require(vncResponse(challenge, text) == vncResponse(challenge, text),
                "response is deterministic");
    }
    *password = passwords[1];
    return true;
}

// Each write is one whole client message of the handshake: the version, a type, the 16-byte
// response or ClientInit.
bool written(const QByteArray& bytes)
{
    require(bytes.size() == 1 || bytes.size() == 12 || bytes.size() == 16,
            "the handshake writes whole messages");
    return true;
}

// The largest screen the handshake accepts, allocated once: each input gets an image of exactly
// its announced size over it, without a per-input allocation of up to 32 MB.
uchar* screenMemory()
{
    static const std::unique_ptr<uchar[]> memory(new uchar[wire::maxScreenPixels * 2]);
    return memory.get();
}

bool pass(ServerReader& reader, QImage& screen)
{
    // The session asks for 5-6-5 before its first request.
    return RecordingHandler(&screen).read(reader) == 'U';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MemorySource source(reinterpret_cast<const char*>(data), qint64(size));
    ServerReader reader(source);
    ClientHandshake handshake(reader, written, [&source](QString* password) {
        return passwordFromChallenge(source, password);
    });
    rfb::ServerInit init;
    if (handshake.run() != ClientHandshake::Outcome::Connected || !handshake.readServerInit(&init))
        return 0;
    require(qint64(init.width) * init.height <= wire::maxScreenPixels,
            "an accepted screen fits the largest image");
    QImage screen(screenMemory(), init.width, init.height, init.width * 2, QImage::Format_RGB16);
    require(!screen.isNull(), "the accepted screen is an image");
    bool configured = false;
    for (int i = 0; i < HVNC::configurePasses; ++i)
        configured = pass(reader, screen);
    if (!configured)
        return 0;
    // Exchange: the connection ends when a pass runs out of attempts.
    while (!source.atEnd()) {
        bool updated = false;
        for (int attempt = 0; attempt < HVNC::updateAttempts && !updated; ++attempt)
            updated = pass(reader, screen);
        if (!updated)
            break;
    }
    require(screen.size() == QSize(init.width, init.height), "updates never resize the screen");
    require(screen.constBits() == screenMemory(), "updates write into the screen, not a copy");
    return 0;
}
