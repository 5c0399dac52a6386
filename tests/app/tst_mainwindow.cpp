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
#include <QTemporaryDir>
#include <QtTest>

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void windowFrameAndConfIni();
    void programRunsHeadless_data();
    void programRunsHeadless();
};

void TestMainWindow::initTestCase()
{
    solmirtest::createSingletons();
}

void TestMainWindow::windowFrameAndConfIni()
{
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const QString defaultConf = Configurator::instance()->confPath()->value();
    const QString conf = temp.path() + QStringLiteral("/sub/dir/conf.ini");
    Configurator::instance()->confPath()->setValue(conf);
    Settings* settings = Settings::instance();
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
        QVERIFY(status && grid->itemAtPosition(2, 0));
        QCOMPARE(grid->itemAtPosition(2, 0)->widget(), status);
        // Status texts sent now reach this window's line.
        MessageHandler::showStatus(QStringLiteral("Нет связи."));
        QCOMPARE(status->text(), QStringLiteral("Нет связи."));

        settings->prIP->setAddress(QHostAddress(QStringLiteral("10.20.30.40")));
        settings->prProtocolsPath->setValue(temp.path() + QStringLiteral("/Протоколы"));
        QVERIFY(!QFileInfo::exists(conf));
    }
    // Closing the window writes exactly the two settings, creating the folder on the way.
    {
        QSettings ini(conf, QSettings::IniFormat);
        QCOMPARE(ini.allKeys(), solmirtest::confKeys);
        QCOMPARE(ini.value(QStringLiteral("prIP")).toString(), QStringLiteral("10.20.30.40"));
        QCOMPARE(ini.value(QStringLiteral("prProtocolsPath")).toString(),
                 temp.path() + QStringLiteral("/Протоколы"));
        // A stale key from an older file does not survive the next exit.
        ini.setValue(QStringLiteral("obsolete"), 1);
    }
    {
        MainWindow window(nullptr);
    }
    QSettings ini(conf, QSettings::IniFormat);
    QVERIFY(!ini.contains(QStringLiteral("obsolete")));
    QCOMPARE(ini.allKeys(), solmirtest::confKeys);
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
    // A private copy: the program's conf.ini and icons are those beside it.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString program = dir.path() + QStringLiteral("/solmir3-arm");
    const QFileInfo built(QStringLiteral(SOLMIR_ARM_BINARY));
    QVERIFY(QFile::copy(built.filePath(), program));
    if (withIcons) {
        const QDir source(built.absolutePath() + QStringLiteral("/icons"));
        QVERIFY(source.exists(QStringLiteral("connect.png")));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("icons")));
        for (const QString& name : source.entryList(QDir::Files))
            QVERIFY(
                QFile::copy(source.filePath(name), dir.filePath(QStringLiteral("icons/") + name)));
    }
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, {QStringLiteral("-platform"), QStringLiteral("offscreen")});
    QVERIFY2(process.waitForStarted(10000), qPrintable(process.errorString()));
    // Still up after a second on its own: it did not crash or quit during start-up.
    QVERIFY2(!process.waitForFinished(1000), process.readAll().constData());
    process.kill();
    QVERIFY(process.waitForFinished(10000));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
