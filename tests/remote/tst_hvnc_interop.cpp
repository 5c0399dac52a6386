// The session against real VNC servers (TigerVNC's Xvnc, x11vnc), painted a known colour with
// xsetroot.
#include "messageboxwatcher.h"
#include "remote/inputledger.h"
#include "rfbsessionharness.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr quint16 red565 = 0xF800;
constexpr quint16 green565 = 0x07E0;

// A VNC server on its own display, listening on one loopback address: TigerVNC's Xvnc, or
// x11vnc (libvncserver) serving an Xvfb. Stopped with the object.
class VncPeer
{
public:
    enum Kind
    {
        Xvnc,
        X11vnc
    };
    VncPeer(Kind kind, int display, QString address)
        : kind(kind), display(display), address(std::move(address))
    {
    }
    ~VncPeer()
    {
        stop(server);
        stop(xserver);
    }

    // A display or address may be in use (the same suite may run from another checkout at the
    // same moment), so a failed start is retried for a while.
    bool start(const QString& passwordFile)
    {
        QElapsedTimer clock;
        clock.start();
        while (!startOnce(passwordFile)) {
            if (clock.elapsed() > 120000)
                return false;
            QTest::qWait(1000);
        }
        return true;
    }

    bool paint(const QString& colour)
    {
        QProcess xsetroot;
        xsetroot.start(QStringLiteral("xsetroot"), {QStringLiteral("-display"), displayName(),
                                                    QStringLiteral("-solid"), colour});
        return xsetroot.waitForFinished(15000) && xsetroot.exitCode() == 0;
    }

    QString output()
    {
        QByteArray text;
        for (QProcess* process : {&xserver, &server}) {
            if (process->isOpen())
                text += process->readAll();
        }
        return QString::fromLocal8Bit(text);
    }

private:
    QString displayName() const { return QStringLiteral(":%1").arg(display); }

    static void stop(QProcess& process)
    {
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            if (!process.waitForFinished(5000)) {
                process.kill();
                process.waitForFinished(5000);
            }
        }
    }

    bool startOnce(const QString& passwordFile)
    {
        stop(server);
        stop(xserver);
        server.setProcessChannelMode(QProcess::MergedChannels);
        xserver.setProcessChannelMode(QProcess::MergedChannels);
        if (kind == Xvnc) {
            QStringList arguments{displayName(),
                                  QStringLiteral("-interface"),
                                  address,
                                  QStringLiteral("-rfbport"),
                                  QStringLiteral("5900"),
                                  QStringLiteral("-geometry"),
                                  QStringLiteral("640x480"),
                                  QStringLiteral("-depth"),
                                  QStringLiteral("24"),
                                  QStringLiteral("-nolisten"),
                                  QStringLiteral("tcp"),
                                  QStringLiteral("-AlwaysShared"),
                                  QStringLiteral("-SecurityTypes")};
            if (passwordFile.isEmpty())
                arguments << QStringLiteral("None");
            else
                arguments << QStringLiteral("VncAuth") << QStringLiteral("-PasswordFile")
                          << passwordFile;
            server.start(QStringLiteral("Xvnc"), arguments);
            return server.waitForStarted(10000) && waitForPort(server);
        }
        xserver.start(QStringLiteral("Xvfb"), {displayName(), QStringLiteral("-screen"),
                                               QStringLiteral("0"), QStringLiteral("640x480x24"),
                                               QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (!xserver.waitForStarted(10000) || !waitForDisplay())
            return false;
        // Told the link is a LAN, x11vnc skips the seconds it would spend measuring it, during
        // which it sends no screen changes.
        QStringList arguments{QStringLiteral("-display"), displayName(),
                              QStringLiteral("-listen"),  address,
                              QStringLiteral("-rfbport"), QStringLiteral("5900"),
                              QStringLiteral("-forever"), QStringLiteral("-shared"),
                              QStringLiteral("-speeds"),  QStringLiteral("lan")};
        if (passwordFile.isEmpty())
            arguments << QStringLiteral("-nopw");
        else
            arguments << QStringLiteral("-rfbauth") << passwordFile;
        server.start(QStringLiteral("x11vnc"), arguments);
        return server.waitForStarted(10000) && waitForPort(server);
    }

    // Xvfb is ready once an X client can talk to it.
    bool waitForDisplay()
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 15000 && xserver.state() == QProcess::Running) {
            QProcess probe;
            probe.start(QStringLiteral("xsetroot"), {QStringLiteral("-display"), displayName()});
            if (probe.waitForFinished(5000) && probe.exitStatus() == QProcess::NormalExit &&
                probe.exitCode() == 0)
                return true;
            QTest::qWait(100);
        }
        return false;
    }

    // The server is ready once its RFB port accepts a connection.
    bool waitForPort(const QProcess& process)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 15000 && process.state() == QProcess::Running) {
            QTcpSocket probe;
            probe.connectToHost(address, 5900);
            if (probe.waitForConnected(500)) {
                probe.abort();
                return true;
            }
            QTest::qWait(100);
        }
        return false;
    }

    Kind kind;
    int display;
    QString address;
    QProcess xserver;
    QProcess server;
};

bool haveTools(const QStringList& tools)
{
    for (const QString& tool : tools) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            return false;
    }
    return true;
}

} // namespace

class TestHvncInterop : public QObject
{
    Q_OBJECT
private slots:
    void reachesTheRootColour_data();
    void reachesTheRootColour();
};

void TestHvncInterop::reachesTheRootColour_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("display");
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("vncAuth");
    QTest::newRow("Xvnc None") << int(VncPeer::Xvnc) << 317 << QStringLiteral("127.3.200.1")
                               << false;
    QTest::newRow("Xvnc VncAuth") << int(VncPeer::Xvnc) << 318 << QStringLiteral("127.3.200.2")
                                  << true;
    QTest::newRow("x11vnc None") << int(VncPeer::X11vnc) << 319 << QStringLiteral("127.3.200.3")
                                 << false;
    QTest::newRow("x11vnc VncAuth")
        << int(VncPeer::X11vnc) << 320 << QStringLiteral("127.3.200.4") << true;
}

void TestHvncInterop::reachesTheRootColour()
{
    QFETCH(int, kind);
    QFETCH(int, display);
    QFETCH(QString, address);
    QFETCH(bool, vncAuth);
    const QString server =
        kind == VncPeer::Xvnc ? QStringLiteral("Xvnc") : QStringLiteral("x11vnc");
    QStringList tools{server, QStringLiteral("xsetroot"), QStringLiteral("vncpasswd")};
    if (kind == VncPeer::X11vnc)
        tools << QStringLiteral("Xvfb");
    if (!haveTools(tools))
        QSKIP(qPrintable(tools.join(QStringLiteral(", ")) +
                         QStringLiteral(": not all installed (Debian: tigervnc-standalone-server, "
                                        "tigervnc-tools, x11vnc, xvfb, x11-xserver-utils)")));
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    QString passwordFile;
    if (vncAuth) {
        passwordFile = folder.filePath(QStringLiteral("passwd"));
        QProcess vncpasswd;
        vncpasswd.setStandardOutputFile(passwordFile);
        vncpasswd.start(QStringLiteral("vncpasswd"), {QStringLiteral("-f")});
        QVERIFY(vncpasswd.waitForStarted(10000));
        vncpasswd.write("pass\n");
        vncpasswd.closeWriteChannel();
        QVERIFY(vncpasswd.waitForFinished(10000));
        QVERIFY(QFileInfo(passwordFile).size() > 0);
    }
    VncPeer peer(VncPeer::Kind(kind), display, address);
    QVERIFY2(peer.start(passwordFile), qPrintable(peer.output()));
    QVERIFY(peer.paint(QStringLiteral("#ff0000")));

    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);
    harness.passwordAnswer = QStringLiteral("pass");
    harness.connectSession();
    QVERIFY(harness.waitForAction(HVNC::Exchange));
    QCOMPARE(harness.passwordRequests, vncAuth ? 1 : 0);
    QCOMPARE(harness.session->frameSize(), QSize(640, 480));
    // Away from the screen centre, where x11vnc draws the X pointer into the picture. x11vnc
    // polls the X screen, so the colour may reach the picture a piece at a time.
    QVERIFY(harness.waitFor([&]() {
        return harness.pixel(200, 100) == red565 && harness.pixel(0, 0) == red565 &&
               harness.pixel(639, 479) == red565;
    }));

    if (kind == VncPeer::Xvnc && !vncAuth && haveTools({QStringLiteral("xev")})) {
        // Three wheel notches are three scrolls to the X server: button 4 down and up each time.
        QProcess xev;
        xev.start(QStringLiteral("xev"),
                  {QStringLiteral("-display"), QStringLiteral(":%1").arg(display),
                   QStringLiteral("-root"), QStringLiteral("-event"), QStringLiteral("button")});
        QVERIFY(xev.waitForStarted(5000));
        QTest::qWait(1000); // until xev has selected the root window's button events
        InputLedger ledger(
            [&](const QByteArray& message, int kind, QList<QByteArray>* dropped) {
                return harness.session->sendMessage(message, kind, dropped);
            },
            [&]() { return harness.session->isReady(); });
        for (int notch = 0; notch < 3; ++notch)
            ledger.wheelNotch(true, 20, 20);
        QByteArray seen;
        QVERIFY(harness.waitFor([&]() {
            seen += xev.readAllStandardOutput();
            return seen.count("ButtonRelease event") >= 3;
        }));
        QTest::qWait(200);
        seen += xev.readAllStandardOutput();
        xev.kill();
        xev.waitForFinished(5000);
        QCOMPARE(seen.count("ButtonPress event"), 3);
        QCOMPARE(seen.count("ButtonRelease event"), 3);
        QCOMPARE(seen.count("button 4,"), 6);
    }

    // The screen follows the server's changes while connected.
    QVERIFY(peer.paint(QStringLiteral("#00ff00")));
    QVERIFY(harness.waitFor([&]() { return harness.pixel(10, 470) == green565; }));
    harness.disconnectSession();
    QVERIFY(harness.waitForIdleAfter());
    QCOMPARE(boxes.count(), 0);
}

QTEST_MAIN(TestHvncInterop)
#include "tst_hvnc_interop.moc"
