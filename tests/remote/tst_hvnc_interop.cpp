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
        QStringList arguments{QStringLiteral(":%1").arg(display),
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
                              QStringLiteral("-AlwaysShared")};
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
    void securityNoneShowsTheRootColour();
    void vncAuthenticationWithPasswordFile();
};

void TestHvncInterop::securityNoneShowsTheRootColour()
{
    if (!haveTools({QStringLiteral("Xvnc"), QStringLiteral("xsetroot")}))
        QSKIP("Xvnc or xsetroot is not installed (Debian: tigervnc-standalone-server, "
              "x11-xserver-utils)");
    const QString address = QStringLiteral("127.3.200.1");
    XvncPeer xvnc(317, address);
    QVERIFY2(xvnc.start({QStringLiteral("-SecurityTypes"), QStringLiteral("None")}),
             qPrintable(xvnc.output()));
    QVERIFY(xvnc.paint(QStringLiteral("#ff0000")));

    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);
    harness.connectSession();
    QVERIFY(harness.waitForAction(HVNC::Exchange));
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

void TestHvncInterop::vncAuthenticationWithPasswordFile()
{
    if (!haveTools(
            {QStringLiteral("Xvnc"), QStringLiteral("xsetroot"), QStringLiteral("vncpasswd")}))
        QSKIP("Xvnc, xsetroot or vncpasswd is not installed (Debian: tigervnc-standalone-server, "
              "tigervnc-tools, x11-xserver-utils)");
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString passwordFile = folder.filePath(QStringLiteral("passwd"));
    QProcess vncpasswd;
    vncpasswd.setStandardOutputFile(passwordFile);
    vncpasswd.start(QStringLiteral("vncpasswd"), {QStringLiteral("-f")});
    QVERIFY(vncpasswd.waitForStarted(10000));
    vncpasswd.write("pass\n");
    vncpasswd.closeWriteChannel();
    QVERIFY(vncpasswd.waitForFinished(10000));
    QVERIFY(QFileInfo(passwordFile).size() > 0);

    const QString address = QStringLiteral("127.3.200.2");
    XvncPeer xvnc(318, address);
    QVERIFY2(xvnc.start({QStringLiteral("-SecurityTypes"), QStringLiteral("VncAuth"),
                         QStringLiteral("-PasswordFile"), passwordFile}),
             qPrintable(xvnc.output()));
    QVERIFY(xvnc.paint(QStringLiteral("#ff0000")));

    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);
    harness.passwordAnswer = QStringLiteral("wrong");
    harness.connectSession();
    QVERIFY(harness.waitForIdleAfter());
    QVERIFY(boxes.waitForCount(1));
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Введен неверный пароль!")});

    // Xvnc delays a client after a failure; the right password still gets through.
    harness.passwordAnswer = QStringLiteral("pass");
    boxes.clear();
    QElapsedTimer clock;
    clock.start();
    bool through = false;
    while (!through && clock.elapsed() < 60000) {
        harness.actions.clear();
        harness.connectSession();
        QVERIFY(RfbSessionHarness::waitFor(
            [&]() {
                return harness.actions.contains(HVNC::Exchange) ||
                       harness.actions.contains(HVNC::Idle);
            },
            30000));
        through = harness.actions.contains(HVNC::Exchange);
        if (!through) {
            QVERIFY(harness.waitForIdleAfter());
            QTest::qWait(1000);
        }
    }
    QVERIFY(through);
    QVERIFY(harness.passwordRequests >= 2);
    QVERIFY(harness.waitFor([&]() { return harness.pixel(100, 100) == red565; }));
    boxes.clear();
    harness.disconnectSession();
    QVERIFY(harness.waitForIdleAfter());
    QCOMPARE(boxes.count(), 0);
}

QTEST_MAIN(TestHvncInterop)
#include "tst_hvnc_interop.moc"
