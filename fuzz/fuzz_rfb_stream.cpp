// fuzz_rfb_stream: arbitrary bytes as everything the device's RFB server says, from the
// ProtocolVersion through security, ServerInit and any number of server messages, read with
// the session's own byte functions in HVNC's order and with HVNC's bounds.
#include "remote/rfbprotocol.h"
#include "remote/vnccipher.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// The bounds HVNC applies (remote/hvnc.cpp); a change there must be copied here.
constexpr int pieceBytes = 64 * 1024;
constexpr int maxFrameSide = 8192;
constexpr qint64 maxFramePixels = qint64(4096) * 4096;
constexpr int attemptsPerPass = 5;
constexpr int configurePasses = 3;
constexpr int fuzzImageSide = 128;

void require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// The socket as the worker sees it. A read the stream cannot satisfy is a receive that runs
// into its time-out. The session's drops of waiting bytes drop nothing here: the rest of any
// stream may as well have arrived just after the drop, so every stream stays a possible one.
struct ServerStream
{
    ServerStream(const uint8_t* bytes, size_t length) : data(bytes), size(length) {}

    const uint8_t* data;
    size_t size;
    size_t pos = 0;
    QByteArray recvBuffer;

    bool atEnd() const { return pos >= size; }

    bool receive(qint64 count)
    {
        recvBuffer.clear();
        if (count < 0 || qint64(size - pos) < count) {
            pos = size;
            return false;
        }
        recvBuffer = QByteArray(reinterpret_cast<const char*>(data + pos), int(count));
        pos += size_t(count);
        require(recvBuffer.size() == count, "receive returns exactly the requested bytes");
        return true;
    }

    // Long fields go by in bounded pieces and are never held whole.
    bool skip(qint64 count)
    {
        while (count > 0) {
            const qint64 piece = std::min<qint64>(count, pieceBytes);
            if (!receive(piece))
                return false;
            count -= piece;
        }
        return receive(0);
    }
};

struct Session
{
    explicit Session(const ServerStream& server) : stream(server) {}

    ServerStream stream;
    QImage screen;
    int bitsPerPixel = 0;

    bool handshake()
    {
        if (!stream.receive(rfb::versionLength) || !rfb::isSupportedVersion(stream.recvBuffer))
            return false;
        if (!stream.receive(1))
            return false;
        const int count = uchar(stream.recvBuffer.at(0));
        if (!stream.receive(count))
            return false;
        const rfb::SecurityType type = rfb::chooseSecurityType(stream.recvBuffer);
        if (type == rfb::SecurityVncAuth) {
            if (!stream.receive(16))
                return false;
            answerChallenge(stream.recvBuffer);
        } else if (type != rfb::SecurityNone) {
            return false;
        }
        if (!stream.receive(4) || stream.recvBuffer.size() != 4)
            return false;
        return rfb::readU32(stream.recvBuffer) == 0;
    }

    // The challenge doubles as the operator's password, through both decodings the password
    // text can come from, so key building sees Latin-1, broken UTF-8 and zero bytes.
    static void answerChallenge(const QByteArray& challenge)
    {
        const QString passwords[] = {QString::fromUtf8(challenge), QString::fromLatin1(challenge)};
        for (const QString& password : passwords) {
            require(vnccipher::keyFromPassword(password).size() == 8, "key of 8 bytes");
            const QByteArray response = vncResponse(challenge, password);
            require(response.size() == 16, "response of 16 bytes");
            require(response == vncResponse(challenge, password), "response is deterministic");
        }
    }

    bool readServerInit()
    {
        if (!stream.receive(rfb::serverInitHeaderLength))
            return false;
        const rfb::ServerInit init = rfb::parseServerInit(stream.recvBuffer);
        require(init.width >= 0 && init.width <= 0xFFFF && init.height >= 0 &&
                    init.height <= 0xFFFF,
                "screen sides are 16-bit");
        bitsPerPixel = init.format.bitsPerPixel;
        if (!stream.skip(init.nameLength))
            return false;
        if (init.width <= 0 || init.height <= 0 || init.width > maxFrameSide ||
            init.height > maxFrameSide || qint64(init.width) * init.height > maxFramePixels)
            return false;
        const QByteArray format = rfb::setPixelFormat(rfb::rgb565());
        require(format.size() == 20, "SetPixelFormat of 20 bytes");
        bitsPerPixel = rfb::rgb565().bitsPerPixel;
        // The session's image has the announced size. Clipping against the image is the same
        // arithmetic at any size, so the fuzzer's image keeps each side below fuzzImageSide:
        // megabytes per input would cut the fuzzer's speed a hundredfold. Its contents mean
        // nothing to the parser and stay unwritten.
        screen = QImage(std::min(init.width, fuzzImageSide), std::min(init.height, fuzzImageSide),
                        QImage::Format_RGB16);
        require(!screen.isNull(), "the accepted screen can be allocated");
        require(rfb::framebufferUpdateRequest(init.width, init.height).size() == 10,
                "FramebufferUpdateRequest of 10 bytes");
        return true;
    }

    bool readRectangle()
    {
        if (!stream.receive(rfb::rectangleHeaderLength))
            return false;
        const rfb::Rectangle rect = rfb::parseRectangle(stream.recvBuffer);
        if (rect.encoding != rfb::encodingRaw)
            return false;
        const int bytesPerPixel = bitsPerPixel / 8;
        const int rowBytes = rect.width * bytesPerPixel;
        require(rfb::rawDataLength(rect, bytesPerPixel) == qint64(rowBytes) * rect.height,
                "raw length is rows times row bytes");
        if (rowBytes == 0 || rect.height == 0)
            return true;
        const int rowsAtOnce = rfb::rowsPerPiece(rowBytes, pieceBytes);
        require(rowsAtOnce >= 1 && (rowsAtOnce == 1 || qint64(rowsAtOnce) * rowBytes <= pieceBytes),
                "a piece is one row or stays within the budget");
        for (int row = 0; row < rect.height; row += rowsAtOnce) {
            const int rows = std::min(rowsAtOnce, rect.height - row);
            if (!stream.receive(qint64(rows) * rowBytes))
                return false;
            rfb::storeRows(screen, rect, row, rows, stream.recvBuffer.constData());
        }
        return true;
    }

    bool serviceUpdate()
    {
        if (!stream.receive(1))
            return false;
        switch (uchar(stream.recvBuffer.at(0))) {
        case rfb::FramebufferUpdate: {
            if (!stream.receive(1) || !stream.receive(2))
                return false;
            const int rectangles = rfb::readU16(stream.recvBuffer);
            for (int i = 0; i < rectangles; ++i) {
                if (!readRectangle())
                    return false;
            }
            return true;
        }
        case rfb::SetColourMapEntries:
            if (!stream.receive(5) || !stream.skip(qint64(rfb::readU16(stream.recvBuffer, 3)) * 6))
                return false;
            break;
        case rfb::Bell:
            break;
        case rfb::ServerCutText:
            if (!stream.receive(7) || !stream.skip(rfb::readU32(stream.recvBuffer, 3)))
                return false;
            break;
        default:
            // Drained for a second in the session: here the rest simply arrives after it.
            break;
        }
        return false;
    }

    void run()
    {
        if (!handshake() || !readServerInit())
            return;
        const QSize size = screen.size();
        bool ok = false;
        for (int pass = 0; pass < configurePasses; ++pass)
            ok = serviceUpdate();
        if (!ok)
            return;
        // Exchange: the connection ends after five failed attempts in a row.
        int failed = 0;
        while (!stream.atEnd() && failed < attemptsPerPass) {
            if (serviceUpdate())
                failed = 0;
            else
                ++failed;
        }
        require(screen.size() == size, "updates never resize the screen");
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Session session(ServerStream(data, size));
    session.run();
    return 0;
}
