// solmir3-sim: a stand-alone simulated СОЛМИР-3 device for demos and manual checks.
#include "parameters/configurator.h"
#include "parameters/parametrcaptions.h"
#include "parameters/parametrip.h"
#include "parameters/parametrpath.h"
#include "parameters/settings.h"
#include "shell/logfile.h"
#include "simulator/httpserver.h"
#include "simulator/rfbserver.h"
#include "simulator/simoptions.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTextStream>
#include <csignal>
#include <unistd.h>

namespace {

int quitPipe[2] = {-1, -1};

// The workstation's conf.ini for this device, written by the workstation's own store: the file
// is exactly what the program writes at exit, its escaping left to Qt.
bool writeWorkstationConf(const QString& file, const QHostAddress& device)
{
    new Configurator(nullptr);
    new ParametrCaptions();
    new Settings(nullptr);
    Configurator::instance()->confPath()->setValue(file);
    Settings::instance()->prIP->setAddress(device);
    Settings::instance()->prProtocolsPath->setValue(QFileInfo(file).absolutePath() +
                                                    QStringLiteral("/protocols"));
    Configurator::instance()->save();
    return QFileInfo(file).isFile();
}

// SIGTERM/SIGINT end the event loop normally, so the generated protocols folder is removed.
extern "C" void onQuitSignal(int)
{
    const char byte = 1;
    if (::write(quitPipe[1], &byte, 1) < 0)
        return;
}

bool parseOdd(const QString& text, SimOptions::Odd* odd)
{
    using Odd = SimOptions::Odd;
    static const QMap<QString, Odd> names = {
        {"bell", Odd::Bell},           {"cuttext", Odd::CutText},
        {"colourmap", Odd::ColourMap}, {"unknown", Odd::Unknown},
        {"copyrect", Odd::CopyRect},   {"zerorects", Odd::ZeroRects},
        {"hugerect", Odd::HugeRect},   {"hugecuttext", Odd::HugeCutText}};
    if (!names.contains(text))
        return false;
    *odd = names.value(text);
    return true;
}

bool parseInt(const QString& text, int low, int high, int* value)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < low || v > high)
        return false;
    *value = v;
    return true;
}

bool fail(QString* error, const QString& text)
{
    *error = text;
    return false;
}

int fail(QTextStream& err, const QString& text)
{
    err << "solmir3-sim: " << text << "\n";
    err.flush();
    return 2;
}

void addOptions(QCommandLineParser& parser)
{
    parser.setApplicationDescription(
        QStringLiteral("Simulated SOLMIR-3 measuring device: RFB 3.8 screen and HTTP protocols."));
    parser.addHelpOption();
    const QList<QCommandLineOption> options = {
        {"listen", "Address to listen on (default 127.0.0.1).", "ADDR", "127.0.0.1"},
        {"rfb-port", "RFB port (default 5900; 0 = any free port).", "N", "5900"},
        {"http-port", "HTTP port (default 80; 0 = no HTTP server).", "N", "80"},
        {"size", "Screen size (default 800x480).", "WxH", "800x480"},
        {"password", "Demand VNC Authentication with this password.", "TEXT"},
        {"offer-none-too", "With --password, offer security type None as well."},
        {"protocol-version", "Announced RFB version: 3.3, 3.7 or 3.8 (default).", "V", "3.8"},
        {"no-security-types", "Refuse every client with an empty security type list."},
        {"odd-reply",
         "Answer update requests with something else: bell, cuttext, colourmap, unknown, "
         "copyrect, zerorects, hugerect or hugecuttext.",
         "KIND"},
        {"odd-from", "First update request (1-based, per connection) given the odd reply.", "N",
         "1"},
        {"odd-count", "Number of consecutive requests given the odd reply (default 1).", "N", "1"},
        {"rects-per-update", "Split every update into N horizontal bands.", "N", "1"},
        {"close-after", "Close each connection after N updates.", "N"},
        {"stall-after", "Stop answering each connection after N updates.", "N"},
        {"one-byte-writes", "Deliver every server byte in a write of its own."},
        {"huge-desktop-name", "Announce a desktop name of 0xFFFFFFF0 bytes and send none."},
        {"bpp", "Pixel size announced in ServerInit: 16 (5-6-5) or 32 (8-8-8).", "N", "16"},
        {"static", "No animation: the screen changes only on input."},
        {"protocols-dir", "Folder of .xlsx files to publish (default: a generated set).", "DIR"},
        {"write-conf",
         "Write the workstation's conf.ini FILE for this device (--listen), with the protocols "
         "folder \"protocols\" beside FILE, and exit.",
         "FILE"},
    };
    parser.addOptions(options);
}

// The device's options from the command line; false, with the reason, for a value out of range.
bool parseOptions(const QCommandLineParser& parser, SimOptions* options, QString* error)
{
    SimOptions& o = *options;
    int value = 0;
    if (!o.address.setAddress(parser.value("listen")))
        return fail(error,
                    QStringLiteral("invalid --listen address: %1").arg(parser.value("listen")));
    if (!parseInt(parser.value("rfb-port"), 0, 65535, &value))
        return fail(error, QStringLiteral("invalid --rfb-port"));
    o.rfbPort = static_cast<quint16>(value);
    if (!parseInt(parser.value("http-port"), 0, 65535, &value))
        return fail(error, QStringLiteral("invalid --http-port"));
    o.httpPort = static_cast<quint16>(value);
    const QRegularExpressionMatch size =
        QRegularExpression(QStringLiteral("^(\\d{1,4})x(\\d{1,4})$")).match(parser.value("size"));
    if (!size.hasMatch() || size.captured(1).toInt() < 16 || size.captured(2).toInt() < 16)
        return fail(error, QStringLiteral("invalid --size (WxH, 16..9999 each)"));
    o.screenSize = QSize(size.captured(1).toInt(), size.captured(2).toInt());
    o.password = parser.value("password");
    o.offerNoneToo = parser.isSet("offer-none-too");
    const QString version = parser.value("protocol-version");
    if (version != "3.3" && version != "3.7" && version != "3.8")
        return fail(error, QStringLiteral("--protocol-version must be 3.3, 3.7 or 3.8"));
    o.version = "RFB 003.00" + version.right(1).toLatin1() + "\n";
    o.noSecurityTypes = parser.isSet("no-security-types");
    if (parser.isSet("odd-reply") && !parseOdd(parser.value("odd-reply"), &o.oddReply))
        return fail(error,
                    QStringLiteral("unknown --odd-reply kind: %1").arg(parser.value("odd-reply")));
    if (o.oddReply != SimOptions::Odd::None) {
        if (!parseInt(parser.value("odd-from"), 1, 1000000000, &o.oddFrom))
            return fail(error, QStringLiteral("invalid --odd-from"));
        if (!parseInt(parser.value("odd-count"), 1, 1000000000, &o.oddCount))
            return fail(error, QStringLiteral("invalid --odd-count"));
    }
    if (!parseInt(parser.value("rects-per-update"), 1, 65535, &o.rectsPerUpdate))
        return fail(error, QStringLiteral("invalid --rects-per-update"));
    if (parser.isSet("close-after") &&
        !parseInt(parser.value("close-after"), 0, 1000000000, &o.closeAfterUpdates))
        return fail(error, QStringLiteral("invalid --close-after"));
    if (parser.isSet("stall-after") &&
        !parseInt(parser.value("stall-after"), 0, 1000000000, &o.stallAfterUpdates))
        return fail(error, QStringLiteral("invalid --stall-after"));
    o.oneBytePerWrite = parser.isSet("one-byte-writes");
    o.hugeDesktopName = parser.isSet("huge-desktop-name");
    if (!parseInt(parser.value("bpp"), 16, 32, &value) || (value != 16 && value != 32))
        return fail(error, QStringLiteral("--bpp must be 16 or 32"));
    o.serverBitsPerPixel = static_cast<quint8>(value);
    o.animate = !parser.isSet("static");
    o.protocolsDir = parser.value("protocols-dir");
    return true;
}

// Runs the device until SIGTERM or SIGINT.
int serve(QGuiApplication& app, const SimOptions& o)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    RfbServer rfb(o);
    if (!rfb.start())
        return fail(err, QStringLiteral("cannot listen for RFB on %1:%2: %3")
                             .arg(o.address.toString())
                             .arg(o.rfbPort)
                             .arg(rfb.errorString()));
    out << "RFB on " << o.address.toString() << ":" << rfb.port() << "\n";
    HttpServer* http = nullptr;
    if (o.httpPort != 0) {
        http = new HttpServer(o, &app);
        if (!http->start())
            return fail(err, QStringLiteral("cannot start HTTP on %1:%2: %3")
                                 .arg(o.address.toString())
                                 .arg(o.httpPort)
                                 .arg(http->errorString()));
        out << "HTTP on " << o.address.toString() << ":" << http->port() << "\n";
        out << "Protocols in " << http->folder() << "\n";
    }
    out.flush();
    if (::pipe(quitPipe) == 0) {
        auto* notifier = new QSocketNotifier(quitPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
        std::signal(SIGTERM, onQuitSignal);
        std::signal(SIGINT, onQuitSignal);
    }
    const int code = QGuiApplication::exec();
    delete http;
    return code;
}

} // namespace

int main(int argc, char* argv[])
{
    // Fonts need a GUI application, but the device has no screen of its own.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("solmir3-sim"));
    // The record goes to standard error only, in the workstation's pattern.
    LogFile::install(QString());
    QTextStream err(stderr);
    QCommandLineParser parser;
    addOptions(parser);
    parser.process(app);
    SimOptions o;
    QString error;
    if (!parseOptions(parser, &o, &error))
        return fail(err, error);
    if (parser.isSet("write-conf")) {
        const QString file = parser.value("write-conf");
        if (!writeWorkstationConf(file, o.address))
            return fail(err, QStringLiteral("cannot write %1").arg(file));
        return 0;
    }
    return serve(app, o);
}
