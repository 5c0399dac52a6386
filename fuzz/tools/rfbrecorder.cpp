// solmir3-rfbrecorder: records every byte an RFB server says to the workstation's own reader, as
// seed corpus for fuzz_rfb_stream.
//   solmir3-rfbrecorder sim <outdir>                      the simulator, several option sets
//   solmir3-rfbrecorder connect <host> <port> <file> [password]   any server, e.g. Xvnc
#include "recordinghandler.h"
#include "remote/bytesource.h"
#include "remote/clienthandshake.h"
#include "remote/serverreader.h"
#include "simulator/rfbserver.h"
#include "simulator/simoptions.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTcpSocket>
#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <functional>

namespace {

constexpr int quietMs = 300;
constexpr int maxRecordBytes = 256 * 1024;
// A recorded field that never ends would stall the recording, not the device.
constexpr int fieldTimeoutMs = 2000;

// The server's side of the conversation, kept byte for byte as the session's reader takes it.
class Recording : public ByteSource
{
public:
    QTcpSocket socket;
    QByteArray said;

    qint64 readSome(char* data, qint64 maxBytes, const QDeadlineTimer& deadline) override
    {
        if (said.size() >= maxRecordBytes)
            return -1;
        while (socket.bytesAvailable() == 0) {
            if (socket.state() != QAbstractSocket::ConnectedState)
                return -1;
            const qint64 left = deadline.remainingTime();
            if (left <= 0)
                return 0;
            socket.waitForReadyRead(int(left));
        }
        const qint64 got =
            socket.read(data, std::min<qint64>(maxBytes, maxRecordBytes - said.size()));
        if (got > 0)
            said.append(data, int(got));
        return got;
    }
    // Kept: the recording is everything the server said.
    void discardWaiting() override {}
    bool isConnected() const override { return socket.state() == QAbstractSocket::ConnectedState; }

    void write(const QByteArray& bytes)
    {
        socket.write(bytes);
        socket.waitForBytesWritten(5000);
    }
};

// Talks as the session does, through its reader, for the given number of update requests.
QByteArray record(const QString& host, quint16 port, const QString& password, int updates)
{
    Recording r;
    ServerReader reader(r);
    reader.setTimeout(fieldTimeoutMs);
    r.socket.connectToHost(host, port);
    if (!r.socket.waitForConnected(5000))
        return QByteArray();
    ClientHandshake handshake(
        reader,
        [&r](const QByteArray& bytes) {
            r.write(bytes);
            return true;
        },
        [&password](QString* text) {
            *text = password;
            return true;
        });
    rfb::ServerInit init;
    if (handshake.run() != ClientHandshake::Outcome::Connected ||
        !handshake.readServerInit(&init)) {
        // Whatever follows a refusal (a reason, say) belongs to the recording too.
        reader.drain(quietMs);
        return r.said;
    }
    r.write(rfb::setPixelFormat(rfb::rgb565()));
    QImage screen(init.width, init.height, QImage::Format_RGB16);
    RecordingHandler handler(&screen);
    const QByteArray request = rfb::framebufferUpdateRequest(init.width, init.height);
    // On after a lost message too, as the session's next attempt goes on.
    for (int i = 0; i < updates && r.said.size() < maxRecordBytes && r.isConnected(); ++i) {
        r.write(request);
        handler.read(reader);
    }
    reader.drain(quietMs);
    return r.said;
}

bool save(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

struct SimCase
{
    const char* name;
    std::function<void(SimOptions&)> configure;
    int updates;
};

int recordSimulator(const QString& outDir)
{
    using Odd = SimOptions::Odd;
    const QList<SimCase> cases = {
        {"sim-none", [](SimOptions&) {}, 4},
        {"sim-vncauth", [](SimOptions& o) { o.password = QStringLiteral("corpus"); }, 3},
        {"sim-wrong-password", [](SimOptions& o) { o.password = QStringLiteral("other"); }, 1},
        {"sim-both-types",
         [](SimOptions& o) {
             o.password = QStringLiteral("corpus");
             o.offerNoneToo = true;
         },
         3},
        {"sim-version-3.3", [](SimOptions& o) { o.version = "RFB 003.003\n"; }, 1},
        {"sim-no-security-types", [](SimOptions& o) { o.noSecurityTypes = true; }, 1},
        {"sim-bands", [](SimOptions& o) { o.rectsPerUpdate = 5; }, 4},
        {"sim-bpp32", [](SimOptions& o) { o.serverBitsPerPixel = 32; }, 3},
        {"sim-huge-name", [](SimOptions& o) { o.hugeDesktopName = true; }, 1},
        {"sim-odd-mix",
         [](SimOptions& o) {
             o.oddReply = Odd::Bell;
             o.oddFrom = 2;
         },
         4},
        {"sim-cuttext",
         [](SimOptions& o) {
             o.oddReply = Odd::CutText;
             o.oddFrom = 2;
         },
         4},
        {"sim-colourmap",
         [](SimOptions& o) {
             o.oddReply = Odd::ColourMap;
             o.oddFrom = 2;
         },
         4},
        {"sim-copyrect",
         [](SimOptions& o) {
             o.oddReply = Odd::CopyRect;
             o.oddFrom = 2;
         },
         3},
        {"sim-zero-rects",
         [](SimOptions& o) {
             o.oddReply = Odd::ZeroRects;
             o.oddFrom = 1;
             o.oddCount = 2;
         },
         4},
        {"sim-unknown",
         [](SimOptions& o) {
             o.oddReply = Odd::Unknown;
             o.oddFrom = 3;
         },
         4},
        {"sim-huge-rect",
         [](SimOptions& o) {
             o.oddReply = Odd::HugeRect;
             o.oddFrom = 2;
         },
         2},
        {"sim-huge-cuttext",
         [](SimOptions& o) {
             o.oddReply = Odd::HugeCutText;
             o.oddFrom = 2;
         },
         2},
        {"sim-close", [](SimOptions& o) { o.closeAfterUpdates = 2; }, 4},
    };
    QTextStream out(stdout);
    int index = 0;
    for (const SimCase& c : cases) {
        SimOptions options;
        options.address = QHostAddress(QStringLiteral("127.7.5.%1").arg(++index));
        options.rfbPort = 0;
        options.httpPort = 0;
        options.screenSize = QSize(32, 20);
        options.animate = false;
        c.configure(options);
        RfbServer server(options);
        if (!server.start()) {
            out << c.name << ": " << server.errorString() << "\n";
            return 1;
        }
        QByteArray said;
        QThread* client = QThread::create([&] {
            said = record(options.address.toString(), server.port(), QStringLiteral("corpus"),
                          c.updates);
        });
        client->start();
        while (!client->wait(10))
            QCoreApplication::processEvents();
        delete client;
        if (!save(outDir + QLatin1Char('/') + QLatin1String(c.name), said))
            return 1;
        out << c.name << ": " << said.size() << " bytes\n";
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 3 && args.at(1) == QLatin1String("sim"))
        return recordSimulator(args.at(2));
    if ((args.size() == 5 || args.size() == 6) && args.at(1) == QLatin1String("connect")) {
        const QByteArray said = record(args.at(2), quint16(args.at(3).toUInt()), args.value(5), 4);
        QTextStream(stdout) << args.at(4) << ": " << said.size() << " bytes\n";
        return !said.isEmpty() && save(args.at(4), said) ? 0 : 1;
    }
    QTextStream(stderr) << "usage: solmir3-rfbrecorder sim <outdir>\n"
                           "       solmir3-rfbrecorder connect <host> <port> <file> [password]\n";
    return 2;
}
