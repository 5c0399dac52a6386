// The session against a real VNC server, TigerVNC's Xvnc, painted a known colour with xsetroot.
#include "messageboxwatcher.h"
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

// One Xvnc on its own display, listening on one loopback address; stopped with the object.
class XvncPeer
{
public:
    XvncPeer(int display, QString address) : display(display), address(std::move(address)) {}
    ~XvncPeer()
    {
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            if (!process.waitForFinished(5000)) {
                process.kill();
                process.waitForFinished(5000);
            }
        }
    }

    // Xvnc refuses a display or address in use (the same suite may run from another
    // checkout at the same moment), so a failed start is retried for a while.
    bool start(const QStringList& security)
    {
        QElapsedTimer clock;
        clock.start();
        while (!startOnce(security)) {
            if (clock.elapsed() > 120000)
                return false;
            QTest::qWait(1000);
        }
        return true;
    }

    bool startOnce(const QStringList& security)
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
        QStringList arguments =
            QStringLiteral(":%1 -interface %2 -rfbport 5900 -geometry 640x480 -depth 24 "
                           "-nolisten tcp -AlwaysShared")
                .arg(display)
                .arg(address)
                .split(QLatin1Char(' '));
        arguments << security;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral("Xvnc"), arguments);
        if (!process.waitForStarted(10000))
            return false;
        // Ready once its RFB port accepts a connection.
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

    bool paint(const QString& colour)
    {
        QProcess xsetroot;
        xsetroot.start(QStringLiteral("xsetroot"),
                       {QStringLiteral("-display"), QStringLiteral(":%1").arg(display),
                        QStringLiteral("-solid"), colour});
        return xsetroot.waitForFinished(15000) && xsetroot.exitCode() == 0;
    }

    QString output() { return QString::fromLocal8Bit(process.readAll()); }

private:
    int display;
    QString address;
    QProcess process;
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
    QTest::addColumn<int>("display");
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("vncAuth");
    QTest::newRow("None") << 317 << QStringLiteral("127.3.200.1") << false;
    QTest::newRow("VncAuth") << 318 << QStringLiteral("127.3.200.2") << true;
}

void TestHvncInterop::reachesTheRootColour()
{
    QFETCH(int, display);
    QFETCH(QString, address);
    QFETCH(bool, vncAuth);
    if (!haveTools(
            {QStringLiteral("Xvnc"), QStringLiteral("xsetroot"), QStringLiteral("vncpasswd")}))
        QSKIP("Xvnc, xsetroot or vncpasswd is not installed (Debian: tigervnc-standalone-server, "
              "tigervnc-tools, x11-xserver-utils)");
    QStringList security{QStringLiteral("-SecurityTypes"), QStringLiteral("None")};
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    if (vncAuth) {
        const QString passwordFile = folder.filePath(QStringLiteral("passwd"));
        QProcess vncpasswd;
        vncpasswd.setStandardOutputFile(passwordFile);
        vncpasswd.start(QStringLiteral("vncpasswd"), {QStringLiteral("-f")});
        QVERIFY(vncpasswd.waitForStarted(10000));
        vncpasswd.write("pass\n");
        vncpasswd.closeWriteChannel();
        QVERIFY(vncpasswd.waitForFinished(10000));
        QVERIFY(QFileInfo(passwordFile).size() > 0);
        security = QStringList{QStringLiteral("-SecurityTypes"), QStringLiteral("VncAuth"),
                               QStringLiteral("-PasswordFile"), passwordFile};
    }
    XvncPeer xvnc(display, address);
    QVERIFY2(xvnc.start(security), qPrintable(xvnc.output()));
    QVERIFY(xvnc.paint(QStringLiteral("#ff0000")));

    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);
    harness.passwordAnswer = QStringLiteral("pass");
    harness.connectSession();
    QVERIFY(harness.waitForAction(HVNC::Exchange));
    QCOMPARE(harness.passwordRequests, vncAuth ? 1 : 0);
    QCOMPARE(harness.session->frameSize(), QSize(640, 480));
    QVERIFY(harness.waitFor([&]() { return harness.pixel(320, 240) == red565; }));
    QCOMPARE(harness.pixel(0, 0), red565);
    QCOMPARE(harness.pixel(639, 479), red565);

    // The screen follows the server's changes while connected.
    QVERIFY(xvnc.paint(QStringLiteral("#00ff00")));
    QVERIFY(harness.waitFor([&]() { return harness.pixel(10, 470) == green565; }));
    harness.disconnectSession();
    QVERIFY(harness.waitForIdleAfter());
    QCOMPARE(boxes.count(), 0);
}

QTEST_MAIN(TestHvncInterop)
#include "tst_hvnc_interop.moc"
