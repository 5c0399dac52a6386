// The installed application folder, as an operator gets it from `cmake --install` or from the
// TGZ package: complete, runnable from where it was unpacked, and keeping conf.ini beside the
// program even when the session ends with a signal instead of a closed window.
#include "appfixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <csignal>
#include <sys/types.h>

namespace {

const QStringList buttonIcons = {QStringLiteral("connect"),     QStringLiteral("disconnect"),
                                 QStringLiteral("folder_open"), QStringLiteral("file_save"),
                                 QStringLiteral("excel"),       QStringLiteral("check_all"),
                                 QStringLiteral("check_clear")};

struct Run
{
    int exitCode = -1;
    bool finished = false;
    QString output;
};

Run run(const QString& program, const QStringList& arguments, const QString& workDir = QString(),
        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
        int timeoutMs = 240000)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (!workDir.isEmpty())
        process.setWorkingDirectory(workDir);
    process.start(program, arguments);
    Run result;
    result.finished = process.waitForStarted(10000) && process.waitForFinished(timeoutMs);
    if (!result.finished)
        process.kill();
    process.waitForFinished(5000);
    result.output = QString::fromLocal8Bit(process.readAll());
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return result;
}

// True once the process has its own handler for the signal: from then on a signal no longer
// kills it but asks it to quit.
bool catchesSignal(qint64 pid, int signalNumber)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:")) {
            bool ok = false;
            const quint64 mask = line.mid(7).trimmed().toULongLong(&ok, 16);
            return ok && (mask & (quint64(1) << (signalNumber - 1)));
        }
    }
    return false;
}

void checkApplicationFolder(const QString& folder)
{
    const QFileInfo program(folder + QStringLiteral("/solmir3-arm"));
    QVERIFY2(program.isFile() && program.isExecutable(), qPrintable(program.filePath()));
    const QFileInfo simulator(folder + QStringLiteral("/solmir3-sim"));
    QVERIFY2(simulator.isFile() && simulator.isExecutable(), qPrintable(simulator.filePath()));
    const QFileInfo registration(folder + QStringLiteral("/register-launcher.sh"));
    QVERIFY(registration.isFile() && registration.isExecutable());
    QVERIFY(QFileInfo::exists(folder + QStringLiteral("/solmir3-arm.desktop")));
    for (const QString& name : buttonIcons) {
        const QImage icon(folder + QStringLiteral("/icons/%1.png").arg(name));
        QVERIFY2(!icon.isNull(), qPrintable(name));
    }
    QVERIFY(!QImage(folder + QStringLiteral("/icons/solmir3-arm.png")).isNull());
    QVERIFY(QFileInfo(folder + QStringLiteral("/icons/load.gif")).size() > 0);
    // Nothing of a run may come with the package.
    QVERIFY(!QFileInfo::exists(folder + QStringLiteral("/conf.ini")));
    QVERIFY(!QFileInfo::exists(folder + QStringLiteral("/icons/tools")));
}

// Starts the program of the folder headless, sends it the signal once it can take it, and
// reports whether it ended on its own with exit code 0.
bool runUntilSignal(const QString& folder, int signalNumber,
                    const QStringList& arguments = QStringList())
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(folder + QStringLiteral("/solmir3-arm"), arguments);
    if (!process.waitForStarted(10000))
        return false;
    QElapsedTimer clock;
    clock.start();
    while (!catchesSignal(process.processId(), signalNumber) && clock.elapsed() < 30000 &&
           process.state() == QProcess::Running)
        QThread::msleep(20);
    if (process.state() != QProcess::Running || !catchesSignal(process.processId(), signalNumber)) {
        process.kill();
        process.waitForFinished(5000);
        qWarning("the program never installed its handler for signal %d", signalNumber);
        return false;
    }
    // Some start-up work is left after the handler is in place; the signal must be safe then too.
    QThread::msleep(300);
    ::kill(pid_t(process.processId()), signalNumber);
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished(5000);
        qWarning("the program did not end after signal %d", signalNumber);
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace

class TestInstalledFolder : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void folderHoldsTheApplication();
    void signalEndsTheProgramAndSavesConfIni_data();
    void signalEndsTheProgramAndSavesConfIni();
    void commandLineIsNotRead();
    void simulatorHelpListsItsOptions();
    void launcherIsRegisteredForTheFolder();
    void packageUnpacksToARunnableFolder();

private:
    QTemporaryDir root;
    QString installed;
};

void TestInstalledFolder::initTestCase()
{
    QVERIFY(root.isValid());
    installed = root.filePath(QStringLiteral("installed"));
    const Run install = run(QStringLiteral(SOLMIR_CMAKE_COMMAND),
                            {QStringLiteral("--install"), QStringLiteral(SOLMIR_BUILD_DIR),
                             QStringLiteral("--prefix"), installed});
    QVERIFY2(install.finished && install.exitCode == 0, qPrintable(install.output));
}

void TestInstalledFolder::folderHoldsTheApplication()
{
    checkApplicationFolder(installed);
    QFile desktop(installed + QStringLiteral("/solmir3-arm.desktop"));
    QVERIFY(desktop.open(QIODevice::ReadOnly));
    const QString entry = QString::fromUtf8(desktop.readAll());
    QVERIFY(entry.startsWith(QStringLiteral("[Desktop Entry]")));
    QVERIFY(entry.contains(QStringLiteral("\nType=Application\n")));
    QVERIFY(entry.contains(QStringLiteral("\nName=АРМ СОЛМИР-3\n")));
    QVERIFY(entry.contains(QStringLiteral("\nExec=\"@APPDIR@/solmir3-arm\"\n")));
    QVERIFY(entry.contains(QStringLiteral("\nIcon=@APPDIR@/icons/solmir3-arm.png\n")));
}

void TestInstalledFolder::signalEndsTheProgramAndSavesConfIni_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<bool>("edited");
    QTest::newRow("SIGTERM, first run") << int(SIGTERM) << false;
    QTest::newRow("SIGHUP, kept settings") << int(SIGHUP) << true;
    QTest::newRow("SIGINT, kept settings") << int(SIGINT) << true;
}

void TestInstalledFolder::signalEndsTheProgramAndSavesConfIni()
{
    QFETCH(int, signalNumber);
    QFETCH(bool, edited);
    const QString confIni = installed + QStringLiteral("/conf.ini");
    QFile::remove(confIni);
    const QString folder = root.filePath(QStringLiteral("Протоколы цеха 2"));
    if (edited) {
        // As Qt 5 writes it (and the program under either Qt): letters as \x escapes.
        QFile before(confIni);
        QVERIFY(before.open(QIODevice::WriteOnly));
        before.write("[General]\nprIP=127.7.9.9\nprProtocolsPath=" + root.path().toUtf8() +
                     "/\\x41f\\x440\\x43e\\x442\\x43e\\x43a\\x43e\\x43b\\x44b "
                     "\\x446\\x435\\x445\\x430 2\nstray=gone after the save\n");
    }

    QVERIFY(runUntilSignal(installed, signalNumber));

    QVERIFY(QFileInfo::exists(confIni));
    QSettings after(confIni, QSettings::IniFormat);
    QCOMPARE(after.allKeys(), solmirtest::confKeys);
    if (edited) {
        QCOMPARE(after.value(QStringLiteral("prIP")).toString(), QStringLiteral("127.7.9.9"));
        QCOMPARE(after.value(QStringLiteral("prProtocolsPath")).toString(), folder);
    } else {
        QCOMPARE(after.value(QStringLiteral("prIP")).toString(), QStringLiteral("192.168.0.3"));
        QVERIFY(!after.value(QStringLiteral("prProtocolsPath")).toString().isEmpty());
    }
    QFile::remove(confIni);
}

void TestInstalledFolder::commandLineIsNotRead()
{
    const QString confIni = installed + QStringLiteral("/conf.ini");
    QFile::remove(confIni);
    QVERIFY(runUntilSignal(installed, SIGTERM,
                           {QStringLiteral("--help"), QStringLiteral("prIP=127.7.9.10"),
                            QStringLiteral("--prIP=127.7.9.11")}));
    QSettings after(confIni, QSettings::IniFormat);
    QCOMPARE(after.value(QStringLiteral("prIP")).toString(), QStringLiteral("192.168.0.3"));
    QFile::remove(confIni);
}

void TestInstalledFolder::simulatorHelpListsItsOptions()
{
    const Run help = run(installed + QStringLiteral("/solmir3-sim"), {QStringLiteral("--help")});
    QVERIFY(help.finished);
    QCOMPARE(help.exitCode, 0);
    const QStringList options = {
        "--listen",      "--rfb-port",       "--http-port",        "--size",
        "--password",    "--offer-none-too", "--protocol-version", "--no-security-types",
        "--odd-reply",   "--odd-from",       "--odd-count",        "--rects-per-update",
        "--close-after", "--stall-after",    "--one-byte-writes",  "--huge-desktop-name",
        "--bpp",         "--static",         "--protocols-dir"};
    for (const QString& option : options)
        QVERIFY2(help.output.contains(option), qPrintable(option + QStringLiteral(" missing")));
}

void TestInstalledFolder::launcherIsRegisteredForTheFolder()
{
    const QString dataHome = root.filePath(QStringLiteral("xdg-data"));
    const QString launcherPath = dataHome + QStringLiteral("/applications/solmir3-arm.desktop");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    const Run registration =
        run(installed + QStringLiteral("/register-launcher.sh"), {}, root.path(), environment);
    QVERIFY2(registration.finished && registration.exitCode == 0, qPrintable(registration.output));

    QFile launcher(launcherPath);
    QVERIFY(launcher.open(QIODevice::ReadOnly));
    const QString entry = QString::fromUtf8(launcher.readAll());
    launcher.close();
    QVERIFY(!entry.contains(QStringLiteral("@APPDIR@")));
    QVERIFY(entry.contains(QStringLiteral("\nExec=\"") + installed +
                           QStringLiteral("/solmir3-arm\"\n")));
    QVERIFY(entry.contains(QStringLiteral("\nPath=") + installed + QStringLiteral("\n")));
    const QString icon = installed + QStringLiteral("/icons/solmir3-arm.png");
    QVERIFY(entry.contains(QStringLiteral("\nIcon=") + icon + QStringLiteral("\n")));
    QVERIFY(!QImage(icon).isNull());

    // Unpacked where a folder name holds what Exec and string values must escape: the desktop
    // validator accepts the launcher, and GLib starts the program in its folder. A stand-in
    // program records where it was started from and as what.
    const QString odd = root.filePath(QStringLiteral("Мои программы #1 & \\ \"x\" 'y' `z` $HOME"));
    QVERIFY(QDir().mkpath(odd + QStringLiteral("/icons")));
    for (const QString& file :
         {QStringLiteral("register-launcher.sh"), QStringLiteral("solmir3-arm.desktop"),
          QStringLiteral("icons/solmir3-arm.png")})
        QVERIFY(QFile::copy(installed + QLatin1Char('/') + file, odd + QLatin1Char('/') + file));
    const QString record = root.filePath(QStringLiteral("launched.txt"));
    QFile standIn(odd + QStringLiteral("/solmir3-arm"));
    QVERIFY(standIn.open(QIODevice::WriteOnly));
    standIn.write("#!/bin/sh\npwd > \"$SOLMIR_LAUNCH_RECORD.new\"\n"
                  "printf '%s\\n' \"$0\" >> \"$SOLMIR_LAUNCH_RECORD.new\"\n"
                  "mv \"$SOLMIR_LAUNCH_RECORD.new\" \"$SOLMIR_LAUNCH_RECORD\"\n");
    standIn.close();
    QVERIFY(standIn.setPermissions(standIn.permissions() | QFileDevice::ExeOwner));
    const Run oddRegistration =
        run(odd + QStringLiteral("/register-launcher.sh"), {}, root.path(), environment);
    QVERIFY2(oddRegistration.finished && oddRegistration.exitCode == 0,
             qPrintable(oddRegistration.output));

    QStringList missing;
    const QString validator =
        QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (validator.isEmpty()) {
        missing << QStringLiteral("desktop-file-validate (desktop-file-utils)");
    } else {
        const Run validation = run(validator, {launcherPath});
        QVERIFY(validation.finished);
        // It prints hints and warnings as well as errors: a clean launcher says nothing.
        QVERIFY2(validation.exitCode == 0 && validation.output.trimmed().isEmpty(),
                 qPrintable(validation.output));
    }
    const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
    if (gio.isEmpty()) {
        missing << QStringLiteral("gio (libglib2.0-bin)");
    } else {
        environment.insert(QStringLiteral("SOLMIR_LAUNCH_RECORD"), record);
        const Run launch =
            run(gio, {QStringLiteral("launch"), launcherPath}, root.path(), environment);
        QVERIFY2(launch.finished && launch.exitCode == 0, qPrintable(launch.output));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(record), 30000);
        QFile recorded(record);
        QVERIFY(recorded.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(recorded.readAll()),
                 odd + QLatin1Char('\n') + odd + QStringLiteral("/solmir3-arm\n"));
    }
    if (!missing.isEmpty())
        QSKIP(qPrintable(QStringLiteral("not checked, missing: ") + missing.join(", ")));
}

void TestInstalledFolder::packageUnpacksToARunnableFolder()
{
    const QString packages = root.filePath(QStringLiteral("packages"));
    const Run cpack =
        run(QStringLiteral(SOLMIR_CPACK_COMMAND),
            {QStringLiteral("-G"), QStringLiteral("TGZ"), QStringLiteral("-B"), packages,
             QStringLiteral("--config"), QStringLiteral(SOLMIR_BUILD_DIR "/CPackConfig.cmake")},
            QStringLiteral(SOLMIR_BUILD_DIR));
    QVERIFY2(cpack.finished && cpack.exitCode == 0, qPrintable(cpack.output));
    const QStringList archives =
        QDir(packages).entryList({QStringLiteral("*.tar.gz")}, QDir::Files);
    QCOMPARE(archives.size(), 1);

    const QString unpacked = root.filePath(QStringLiteral("операторы/opt"));
    QVERIFY(QDir().mkpath(unpacked));
    const Run tar = run(QStringLiteral("tar"),
                        {QStringLiteral("-xzf"), packages + QLatin1Char('/') + archives.first(),
                         QStringLiteral("-C"), unpacked});
    QVERIFY2(tar.finished && tar.exitCode == 0, qPrintable(tar.output));
    // One application folder at the top, nothing scattered beside it.
    const QStringList top = QDir(unpacked).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    QCOMPARE(top.size(), 1);
    QCOMPARE(top.first() + QStringLiteral(".tar.gz"), archives.first());
    const QString folder = unpacked + QLatin1Char('/') + top.first();
    checkApplicationFolder(folder);

    QVERIFY(runUntilSignal(folder, SIGTERM));
    QSettings after(folder + QStringLiteral("/conf.ini"), QSettings::IniFormat);
    QCOMPARE(after.value(QStringLiteral("prIP")).toString(), QStringLiteral("192.168.0.3"));
}

QTEST_GUILESS_MAIN(TestInstalledFolder)
#include "tst_installedfolder.moc"
