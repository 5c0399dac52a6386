// conf.ini: defaults without a file, exact keys on save, hand edits, every kind, warnings.
#include "appfixture.h"

#include "parameters/configurator.h"
#include "parameters/parametrchannelstyle.h"
#include "parameters/parametrdatetime.h"
#include "parameters/parametrdouble.h"
#include "parameters/parametreditableenum.h"
#include "parameters/parametrenum.h"
#include "parameters/parametrint.h"
#include "parameters/parametrip.h"
#include "parameters/parametrmultienum.h"
#include "parameters/parametrpath.h"
#include "parameters/parametrstring.h"
#include "parameters/parametrtime.h"
#include "parameters/settings.h"

#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QStringList warnings;
bool warningHadContext = false;

void capture(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtWarningMsg)
        warnings.append(text);
    // The settings' own record (solmir.settings) carries what Qt gives it; the one warning on
    // the default channel carries nothing.
    if (text == QLatin1String("configureParametr - UNKNOWN PARAMETR TYPE"))
        warningHadContext |= context.file || context.line || context.function;
}

int unknownTypeWarnings()
{
    return warnings.count(QStringLiteral("configureParametr - UNKNOWN PARAMETR TYPE"));
}

const QString Caption = QStringLiteral("Тест");

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content), qint64(content.size()));
}

void pointAt(const QString& path)
{
    Configurator::instance()->confPath()->setValue(path);
}

} // namespace

class TestConfigurator : public QObject
{
    Q_OBJECT

    QString conf() const { return dir->path() + QStringLiteral("/conf.ini"); }

    std::unique_ptr<QTemporaryDir> dir;
    QString defaultFolder;
    Settings* settings = nullptr;

private slots:
    void initTestCase()
    {
        solmirtest::createSingletons();
        settings = Settings::instance();
        defaultFolder = QStandardPaths::writableLocation(QStandardPaths::HomeLocation) +
                        QStringLiteral("/АРМ СОЛМИР-3/Протоколы");
    }

    void init()
    {
        dir.reset(new QTemporaryDir);
        QVERIFY(dir->isValid());
        warnings.clear();
        warningHadContext = false;
        qInstallMessageHandler(capture);
    }

    void cleanup()
    {
        qInstallMessageHandler(nullptr);
        settings->prIP->setAddress(QHostAddress(QStringLiteral("192.168.0.3")));
        settings->prProtocolsPath->setValue(defaultFolder);
    }

    void firstRunThenCyrillicFolder()
    {
        QVERIFY(
            Configurator::instance()->confPath()->value().endsWith(QStringLiteral("/conf.ini")));
        const QString path = dir->path() + QStringLiteral("/нет/такой/папки АРМ/conf.ini");
        pointAt(path);
        Configurator::instance()->load();
        QCOMPARE(settings->prIP->addressText(), QStringLiteral("192.168.0.3"));
        QCOMPARE(settings->prProtocolsPath->value(), defaultFolder);
        QVERIFY(!QFile::exists(path));

        Configurator::instance()->save();
        QSettings stored(path, QSettings::IniFormat);
        QCOMPARE(stored.allKeys(), solmirtest::confKeys);
        QCOMPARE(stored.value(QStringLiteral("prIP")).toString(), QStringLiteral("192.168.0.3"));
        QCOMPARE(stored.value(QStringLiteral("prProtocolsPath")).toString(), defaultFolder);

        const QString folder = dir->path() + QStringLiteral("/Протоколы СОЛМИР-3, смена №2");
        settings->prProtocolsPath->setValue(folder);
        settings->prIP->setAddress(QHostAddress(QStringLiteral("172.16.5.4")));
        Configurator::instance()->save();
        settings->prProtocolsPath->setValue(QStringLiteral("другое"));
        settings->prIP->setAddress(QHostAddress());
        Configurator::instance()->load();
        QCOMPARE(settings->prProtocolsPath->value(), folder);
        QCOMPARE(settings->prIP->addressText(), QStringLiteral("172.16.5.4"));

        // Qt 5's form under either Qt: letters past ASCII as \x escapes, a hex digit right after
        // one escaped too, quoted for the comma.
        QFile written(path);
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QByteArray line = "prProtocolsPath=\"" + dir->path().toUtf8() +
                                "/\\x41f\\x440\\x43e\\x442\\x43e\\x43a\\x43e\\x43b\\x44b "
                                "\\x421\\x41e\\x41b\\x41c\\x418\\x420-3, "
                                "\\x441\\x43c\\x435\\x43d\\x430 \\x2116\\x32\"\n";
        QVERIFY2(written.readAll().contains(line), line.constData());
        // A letter typed into the file as it is reads back as its bytes, a Latin-1 letter each.
        writeFile(path, "[General]\nprProtocolsPath=/\xd0\xb6\n");
        Configurator::instance()->load();
        QCOMPARE(settings->prProtocolsPath->value(), QString::fromLatin1("/\xd0\xb6"));
        QVERIFY(warnings.isEmpty());
    }

    // Each file also carries stray keys, which the next save must drop.
    void handEditedFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("loaded");
        const QByteArray stray = "prStale=old\n[Group]\nother=1\n";
        QTest::newRow("valid") << "[General]\nprIP=10.0.0.7\n" + stray << "10.0.0.7";
        QTest::newRow("octet too big") << "[General]\nprIP=10.0.0.300\n" + stray << "";
        QTest::newRow("octet 256") << "[General]\nprIP=10.0.0.256\n" + stray << "";
        QTest::newRow("partial") << "[General]\nprIP=10.7\n" + stray << "";
        QTest::newRow("no address") << "[General]\n" + stray << "192.168.0.3";
        QTest::newRow("empty file") << QByteArray() << "192.168.0.3";
        QTest::newRow("garbage") << QByteArray("\x00\xff garbage [[[ =\n=\n", 20) << "192.168.0.3";
    }

    void handEditedFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, loaded);
        const QString path = conf();
        writeFile(path, content);
        pointAt(path);
        Configurator::instance()->load();
        QCOMPARE(settings->prIP->addressText(), loaded);
        QCOMPARE(settings->prProtocolsPath->value(), defaultFolder);

        Configurator::instance()->save();
        QSettings stored(path, QSettings::IniFormat);
        QCOMPARE(stored.allKeys(), solmirtest::confKeys);
        QCOMPARE(stored.value(QStringLiteral("prIP")).toString(), loaded);
    }

    // The value copy is written, both copies are read back.
    void everyStorableKindRoundTrips()
    {
        struct Set
        {
            ParametrEnum e{&Caption, nullptr, 0};
            ParametrString s{&Caption, 100, 0};
            ParametrDouble d{&Caption, -99, -99, 0};
            ParametrInt i{&Caption, -100, 100, 0};
            ParametrTime t{&Caption, 0};
            ParametrPath p{&Caption, 0};
            ParametrEditableEnum ee{&Caption, nullptr, 0};
            ParametrIP ip{&Caption, 0};
            void configure(const QString& path, int mode)
            {
                QSettings settings(path, QSettings::IniFormat);
                const QList<HAbstractParametr*> all = {&e, &s, &d, &i, &t, &p, &ee, &ip};
                for (int n = 0; n < all.size(); ++n)
                    Configurator::configureParametr(settings, all[n], QString::number(n), mode);
            }
        } out, in;
        out.e.setValue(8);
        out.s.setValue(QStringLiteral("строка = с [скобками]; и \"кавычками\""));
        out.d.setValue(-1234.5678);
        out.d.setEditValue(1);
        out.i.setValue(-42);
        out.t.setValue(QTime(13, 14, 15, 16));
        out.p.setValue(QStringLiteral("C:/Протоколы/файл.xlsx"));
        out.ee.setValue(QStringLiteral("введено"));
        out.ip.setAddress(QHostAddress(QStringLiteral("127.0.0.1")));
        out.configure(conf(), Save);
        in.configure(conf(), Load);
        QCOMPARE(in.e.editValue(), 8);
        QCOMPARE(in.s.value(), out.s.value());
        QCOMPARE(in.d.value(), -1234.5678);
        QCOMPARE(in.d.editValue(), -1234.5678);
        QCOMPARE(in.i.editValue(), -42);
        QCOMPARE(in.t.editValue(), QTime(13, 14, 15, 16));
        QCOMPARE(in.p.value(), out.p.value());
        QCOMPARE(in.ee.value(), QStringLiteral("введено"));
        QCOMPARE(in.ip.addressText(), QStringLiteral("127.0.0.1"));
        QVERIFY(warnings.isEmpty());
    }

    // Registered for the rest of the process from here on: they live as long as the store.
    void unstorableKindsWarn()
    {
        EnumItem a{0, QStringLiteral("a")};
        EnumItemList items{&a};
        static ParametrMultiEnum multi(&Caption, &items, 0);
        static ParametrChannelStyle style(&Caption, 0);
        static ParametrDateTime stamp(&Caption, 0);
        Configurator::instance()->addParametr(&multi, QStringLiteral("prMulti"));
        Configurator::instance()->addParametr(&style, QStringLiteral("prStyle"));
        Configurator::instance()->addParametr(&stamp, QStringLiteral("prStamp"));
        const QString path = conf();
        pointAt(path);

        Configurator::instance()->load();
        QCOMPARE(unknownTypeWarnings(), 0);
        Configurator::instance()->save();
        QCOMPARE(unknownTypeWarnings(), 3);
        QVERIFY(!warningHadContext);
        QCOMPARE(QSettings(path, QSettings::IniFormat).allKeys(), solmirtest::confKeys);

        warnings.clear();
        writeFile(path, "[General]\nprMulti=1\nprIP=10.9.9.9\n");
        Configurator::instance()->load();
        QCOMPARE(unknownTypeWarnings(), 1);
        QCOMPARE(settings->prIP->addressText(), QStringLiteral("10.9.9.9"));
        QVERIFY(!multi.isSelected(0));
        Configurator::instance()->save();
        QCOMPARE(unknownTypeWarnings(), 4);
        QCOMPARE(QSettings(path, QSettings::IniFormat).allKeys(), solmirtest::confKeys);
    }

    void sameKeyTwiceLaterWinsOnSave()
    {
        static ParametrString first(&Caption, 20, 0);
        static ParametrString second(&Caption, 20, 0);
        Configurator::instance()->addParametr(&first, QStringLiteral("prTwice"));
        Configurator::instance()->addParametr(&second, QStringLiteral("prTwice"));
        pointAt(conf());
        writeFile(conf(), "[General]\nprTwice=abc\n");
        Configurator::instance()->load();
        QCOMPARE(first.value() + second.value(), QStringLiteral("abcabc"));
        first.setValue(QStringLiteral("один"));
        second.setValue(QStringLiteral("два"));
        Configurator::instance()->save();
        QCOMPARE(
            QSettings(conf(), QSettings::IniFormat).value(QStringLiteral("prTwice")).toString(),
            QStringLiteral("два"));
    }
};

QTEST_MAIN(TestConfigurator)
#include "tst_configurator.moc"
