// The main window's frame and its conf.ini round trip, and the real executable starting
// headless with and without its icons.
#include "app/mainwindow.h"
#include "appfixture.h"
#include "parameters/configurator.h"
#include "parameters/parametrip.h"
#include "parameters/parametrpath.h"
#include "parameters/settings.h"
#include "shell/messagehandler.h"
#include "shell/statusframe.h"

#include <QDir>
#include <QGridLayout>
#include <QHostAddress>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString builtProgram()
{
#ifdef SOLMIR_ARM_BINARY
    return QStringLiteral(SOLMIR_ARM_BINARY);
#else
    // tests-bin/<name>/ and bin/ are siblings in the build tree.
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../../bin/solmir3-arm");
#endif
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void firstRunHasDefaults();
    void windowFrame();
    void destroyingWindowWritesConfIni();
    void programRunsHeadless_data();
    void programRunsHeadless();

private:
    QTemporaryDir temp;
    QString defaultConf;
};

void TestMainWindow::initTestCase()
{
    QVERIFY(temp.isValid());
    solmirtest::removeConfIni();
    solmirtest::createSingletons();
    defaultConf = Configurator::instance()->confPath()->value();
    QCOMPARE(defaultConf, solmirtest::confIniPath());
}

void TestMainWindow::firstRunHasDefaults()
{
    QVERIFY(!QFileInfo::exists(defaultConf));
    Configurator::instance()->load();
    QCOMPARE(Settings::instance()->prIP->addressText(), QStringLiteral("192.168.0.3"));
    QCOMPARE(Settings::instance()->prProtocolsPath->valueText(),
             QStandardPaths::writableLocation(QStandardPaths::HomeLocation) +
                 QStringLiteral("/АРМ СОЛМИР-3/Протоколы"));
    {
        MainWindow window(nullptr);
        QCOMPARE(Settings::instance()->prIP->addressText(), QStringLiteral("192.168.0.3"));
    }
    // Closing the first run creates the file with the current values.
    QSettings ini(defaultConf, QSettings::IniFormat);
    QCOMPARE(ini.value(QStringLiteral("prIP")).toString(), QStringLiteral("192.168.0.3"));
    QVERIFY(QFile::remove(defaultConf));
}

void TestMainWindow::windowFrame()
{
    MainWindow window(nullptr);
    QCOMPARE(window.windowTitle(), QStringLiteral("АРМ СОЛМИР-3   v1.1"));
    QCOMPARE(window.size(), QSize(900, 600));
    QCOMPARE(window.minimumSize(), QSize(500, 300));
    auto* grid = qobject_cast<QGridLayout*>(window.centralWidget()->layout());
    QVERIFY(grid);
    QCOMPARE(grid->contentsMargins(), QMargins(0, 0, 0, 0));
    QCOMPARE(grid->horizontalSpacing(), 0);
    QCOMPARE(grid->verticalSpacing(), 0);

    StatusFrame* status = StatusFrame::instance();
    QVERIFY(status);
    QCOMPARE(status->parentWidget(), window.centralWidget());
    int row = -1, column = -1, rowSpan = 0, columnSpan = 0;
    grid->getItemPosition(grid->indexOf(status), &row, &column, &rowSpan, &columnSpan);
    QCOMPARE(row, 2);
    QCOMPARE(column, 0);

    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.size(), QSize(900, 600));
    window.resize(100, 100);
    QTRY_COMPARE(window.size(), QSize(500, 300));
    // Status texts sent now reach this window's line.
    MessageHandler::showStatus(QStringLiteral("Нет связи."));
    QCOMPARE(status->text(), QStringLiteral("Нет связи."));
}

void TestMainWindow::destroyingWindowWritesConfIni()
{
    const QString conf = temp.path() + QStringLiteral("/sub/dir/conf.ini");
    Configurator::instance()->confPath()->setValue(conf);
    QVERIFY(!QFileInfo::exists(temp.path() + QStringLiteral("/sub")));
    Settings* settings = Settings::instance();
    {
        MainWindow window(nullptr);
        settings->prIP->setAddress(QHostAddress(QStringLiteral("10.20.30.40")));
        settings->prProtocolsPath->setValue(temp.path() + QStringLiteral("/Протоколы"));
        // Nothing is written while the window lives.
        QVERIFY(!QFileInfo::exists(conf));
    }
    QVERIFY(QFileInfo::exists(conf));
    {
        QSettings ini(conf, QSettings::IniFormat);
        QStringList keys = ini.allKeys();
        keys.sort();
        QCOMPARE(keys, QStringList({QStringLiteral("prIP"), QStringLiteral("prProtocolsPath")}));
        QCOMPARE(ini.value(QStringLiteral("prIP")).toString(), QStringLiteral("10.20.30.40"));
        QCOMPARE(ini.value(QStringLiteral("prProtocolsPath")).toString(),
                 temp.path() + QStringLiteral("/Протоколы"));
    }

    // A stale key from an older file does not survive the next exit.
    {
        QSettings ini(conf, QSettings::IniFormat);
        ini.setValue(QStringLiteral("obsolete"), 1);
    }
    {
        MainWindow window(nullptr);
    }
    QSettings ini(conf, QSettings::IniFormat);
    QVERIFY(!ini.contains(QStringLiteral("obsolete")));
    QCOMPARE(ini.allKeys().size(), 2);
    Configurator::instance()->confPath()->setValue(defaultConf);
}

void TestMainWindow::programRunsHeadless_data()
{
    QTest::addColumn<bool>("withIcons");
    QTest::newRow("with icons") << true;
    QTest::newRow("without icons") << false;
}

void TestMainWindow::programRunsHeadless()
{
    QFETCH(bool, withIcons);
    const QString built = builtProgram();
    QVERIFY2(QFileInfo::exists(built), qPrintable(built));
    // A private copy: the program's conf.ini and icons are those beside it.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString program = dir.path() + QStringLiteral("/solmir3-arm");
    QVERIFY(QFile::copy(built, program));
    if (withIcons) {
        const QDir source(QCoreApplication::applicationDirPath() + QStringLiteral("/icons"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("icons")));
        const QStringList images =
            source.entryList({QStringLiteral("*.png"), QStringLiteral("*.gif")});
        QVERIFY(images.size() >= 8);
        for (const QString& name : images)
            QVERIFY(
                QFile::copy(source.filePath(name), dir.path() + QStringLiteral("/icons/") + name));
    }

    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(dir.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, QStringList());
    QVERIFY2(process.waitForStarted(10000), qPrintable(process.errorString()));
    // Still up after a second on its own: it did not crash or quit during start-up.
    QVERIFY2(!process.waitForFinished(1000), process.readAll().constData());
    QCOMPARE(process.state(), QProcess::Running);
    process.kill();
    QVERIFY(process.waitForFinished(10000));
    // A killed run saves nothing.
    QVERIFY(!QFileInfo::exists(dir.path() + QStringLiteral("/conf.ini")));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
