// conf.ini: defaults without a file, exact keys on save, stray keys, hand edits, every kind.
#include "appfixture.h"

#include "parameters/configurator.h"
#include "parameters/enumitem.h"
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

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Captured
{
    QtMsgType type;
    QString text;
    bool hasContext;
};

QList<Captured> captured;

void capture(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    captured.append(
        {type, text, context.file != nullptr || context.line != 0 || context.function != nullptr});
}

int warningsAbout(const QString& text)
{
    int n = 0;
    for (const Captured& c : qAsConst(captured)) {
        if (c.type == QtWarningMsg && c.text == text)
            ++n;
    }
    return n;
}

const QString UnknownWarning = QStringLiteral("configureParametr - UNKNOWN PARAMETR TYPE");
const QString Caption = QStringLiteral("Тест");

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content), qint64(content.size()));
}

} // namespace

class TestConfigurator : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void firstRunKeepsDefaultsAndSavesTwoKeys();
    void strayKeyDropped();
    void handEditedAddress_data();
    void handEditedAddress();
    void cyrillicFolderRoundTrip();
    void emptyFileKeepsDefaults();
    void everyStorableKindRoundTrips();
    void unstorableKindsWarn();
    void sameKeyTwice();

private:
    QString conf(const QString& relative = QStringLiteral("conf.ini")) const
    {
        return dir->path() + QLatin1Char('/') + relative;
    }
    void pointAt(const QString& path) { Configurator::instance()->confPath()->setValue(path); }

    std::unique_ptr<QTemporaryDir> dir;
    QString defaultFolder;
};

void TestConfigurator::initTestCase()
{
    solmirtest::createSingletons();
    defaultFolder = QStandardPaths::writableLocation(QStandardPaths::HomeLocation) +
                    QStringLiteral("/АРМ СОЛМИР-3/Протоколы");
}

void TestConfigurator::init()
{
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
    captured.clear();
    qInstallMessageHandler(capture);
}

void TestConfigurator::cleanup()
{
    qInstallMessageHandler(nullptr);
    Settings::instance()->prIP->setAddress(QHostAddress(QStringLiteral("192.168.0.3")));
    Settings::instance()->prProtocolsPath->setValue(defaultFolder);
}

void TestConfigurator::firstRunKeepsDefaultsAndSavesTwoKeys()
{
    QVERIFY(Configurator::instance()->confPath()->value().endsWith(QStringLiteral("/conf.ini")));
    const QString path = conf(QStringLiteral("нет/такой/папки/conf.ini"));
    pointAt(path);
    Configurator::instance()->load();
    QCOMPARE(Settings::instance()->prIP->addressText(), QStringLiteral("192.168.0.3"));
    QCOMPARE(Settings::instance()->prProtocolsPath->value(), defaultFolder);
    QVERIFY(!QFile::exists(path));

    Configurator::instance()->save();
    QVERIFY(QFile::exists(path));
    QSettings stored(path, QSettings::IniFormat);
    QCOMPARE(stored.allKeys(),
             (QStringList{QStringLiteral("prIP"), QStringLiteral("prProtocolsPath")}));
    QCOMPARE(stored.value(QStringLiteral("prIP")).toString(), QStringLiteral("192.168.0.3"));
    QCOMPARE(stored.value(QStringLiteral("prProtocolsPath")).toString(), defaultFolder);
    QCOMPARE(captured.size(), 0);
}

void TestConfigurator::strayKeyDropped()
{
    const QString path = conf();
    writeFile(path, "[General]\nprIP=10.1.2.3\nprStale=old\n\n[Group]\nother=1\n");
    pointAt(path);
    Configurator::instance()->load();
    QCOMPARE(Settings::instance()->prIP->addressText(), QStringLiteral("10.1.2.3"));
    QCOMPARE(Settings::instance()->prProtocolsPath->value(), defaultFolder);
    Configurator::instance()->save();
    QSettings stored(path, QSettings::IniFormat);
    QCOMPARE(stored.allKeys(),
             (QStringList{QStringLiteral("prIP"), QStringLiteral("prProtocolsPath")}));
    QCOMPARE(stored.value(QStringLiteral("prIP")).toString(), QStringLiteral("10.1.2.3"));
}

void TestConfigurator::handEditedAddress_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("loaded");
    QTest::newRow("valid") << QByteArray("prIP=10.0.0.7") << "10.0.0.7";
    QTest::newRow("octet too big") << QByteArray("prIP=10.0.0.300") << "";
    QTest::newRow("words") << QByteArray("prIP=device") << "";
    QTest::newRow("partial") << QByteArray("prIP=10.7") << "";
    QTest::newRow("empty") << QByteArray("prIP=") << "";
    QTest::newRow("leading zeros") << QByteArray("prIP=010.000.000.010") << "10.0.0.10";
}

void TestConfigurator::handEditedAddress()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, loaded);
    const QString path = conf();
    writeFile(path, "[General]\n" + line + "\n");
    pointAt(path);
    Configurator::instance()->load();
    QCOMPARE(Settings::instance()->prIP->addressText(), loaded);
    QCOMPARE(Settings::instance()->prIP->address().isNull(), loaded.isEmpty());
    QCOMPARE(Settings::instance()->prProtocolsPath->value(), defaultFolder);
}

void TestConfigurator::cyrillicFolderRoundTrip()
{
    const QString path = conf(QStringLiteral("Настройки АРМ/conf.ini"));
    const QString folder = dir->path() + QStringLiteral("/Протоколы СОЛМИР-3, смена №2");
    pointAt(path);
    Settings::instance()->prProtocolsPath->setValue(folder);
    Settings::instance()->prIP->setAddress(QHostAddress(QStringLiteral("172.16.5.4")));
    Configurator::instance()->save();

    Settings::instance()->prProtocolsPath->setValue(QStringLiteral("другое"));
    Settings::instance()->prIP->setAddress(QHostAddress());
    Configurator::instance()->load();
    QCOMPARE(Settings::instance()->prProtocolsPath->value(), folder);
    QCOMPARE(Settings::instance()->prIP->addressText(), QStringLiteral("172.16.5.4"));
}

void TestConfigurator::emptyFileKeepsDefaults()
{
    const QString path = conf();
    writeFile(path, QByteArray());
    pointAt(path);
    Configurator::instance()->load();
    QCOMPARE(Settings::instance()->prIP->addressText(), QStringLiteral("192.168.0.3"));
    QCOMPARE(Settings::instance()->prProtocolsPath->value(), defaultFolder);

    writeFile(path, QByteArray("\x00\xff garbage [[[ =\n=\n", 20));
    Configurator::instance()->load();
    QCOMPARE(Settings::instance()->prIP->addressText(), QStringLiteral("192.168.0.3"));
}

void TestConfigurator::everyStorableKindRoundTrips()
{
    EnumItem a{3, QStringLiteral("три")};
    EnumItem b{8, QStringLiteral("восемь")};
    EnumItemList items{&a, &b};
    ParametrEnum e(&Caption, &items, 0);
    ParametrString s(&Caption, 100, 0);
    ParametrDouble d(&Caption, -99, -99, 0);
    ParametrInt i(&Caption, -100, 100, 0);
    ParametrTime t(&Caption, 0);
    ParametrPath p(&Caption, 0);
    ParametrEditableEnum ee(&Caption, &items, 0);
    ParametrIP ip(&Caption, 0);
    e.setValue(8);
    e.setEditValue(3);
    s.setValue(QStringLiteral("строка = с [скобками]; и \"кавычками\""));
    d.setValue(-1234.5678);
    d.setEditValue(1);
    i.setValue(-42);
    t.setValue(QTime(13, 14, 15, 16));
    p.setValue(QStringLiteral("C:/Протоколы/файл.xlsx"));
    ee.setValue(QStringLiteral("введено"));
    ip.setAddress(QHostAddress(QStringLiteral("127.0.0.1")));
    const QList<QPair<HAbstractParametr*, QString>> all = {
        {&e, "kEnum"}, {&s, "kString"}, {&d, "kDouble"},        {&i, "kInt"},
        {&t, "kTime"}, {&p, "kPath"},   {&ee, "kEditableEnum"}, {&ip, "kIP"}};
    {
        QSettings out(conf(), QSettings::IniFormat);
        for (const auto& entry : all)
            Configurator::configureParametr(out, entry.first, entry.second, Save);
    }
    QSettings check(conf(), QSettings::IniFormat);
    QCOMPARE(check.value(QStringLiteral("kEnum")).toInt(), 8);
    QCOMPARE(check.value(QStringLiteral("kDouble")).toDouble(), -1234.5678);

    ParametrEnum e2(&Caption, &items, 0);
    ParametrString s2(&Caption, 100, 0);
    ParametrDouble d2(&Caption, -99, -99, 0);
    ParametrInt i2(&Caption, -100, 100, 0);
    ParametrTime t2(&Caption, 0);
    ParametrPath p2(&Caption, 0);
    ParametrEditableEnum ee2(&Caption, &items, 0);
    ParametrIP ip2(&Caption, 0);
    e2.setEditValue(99);
    d2.setEditValue(99);
    const QList<QPair<HAbstractParametr*, QString>> back = {
        {&e2, "kEnum"}, {&s2, "kString"}, {&d2, "kDouble"},        {&i2, "kInt"},
        {&t2, "kTime"}, {&p2, "kPath"},   {&ee2, "kEditableEnum"}, {&ip2, "kIP"}};
    {
        QSettings in(conf(), QSettings::IniFormat);
        for (const auto& entry : back)
            Configurator::configureParametr(in, entry.first, entry.second, Load);
        // A mode that is neither load nor save touches nothing.
        for (const auto& entry : back)
            Configurator::configureParametr(in, entry.first, entry.second, 7);
    }
    QCOMPARE(e2.value(), 8);
    QCOMPARE(e2.editValue(), 8);
    QCOMPARE(s2.value(), s.value());
    QCOMPARE(d2.value(), -1234.5678);
    QCOMPARE(d2.editValue(), -1234.5678);
    QCOMPARE(i2.value(), -42);
    QCOMPARE(i2.editValue(), -42);
    QCOMPARE(t2.value(), QTime(13, 14, 15, 16));
    QCOMPARE(t2.editValue(), QTime(13, 14, 15, 16));
    QCOMPARE(p2.value(), p.value());
    QCOMPARE(ee2.value(), QStringLiteral("введено"));
    QCOMPARE(ip2.addressText(), QStringLiteral("127.0.0.1"));
    QCOMPARE(captured.size(), 0);
}

void TestConfigurator::unstorableKindsWarn()
{
    EnumItem a{0, QStringLiteral("a")};
    EnumItemList items{&a};
    // Registered for the rest of the process: they live as long as the store.
    static ParametrMultiEnum multi(&Caption, &items, 0);
    static ParametrChannelStyle style(&Caption, 0);
    static ParametrDateTime stamp(&Caption, 0);
    Configurator::instance()->addParametr(&multi, QStringLiteral("prMulti"));
    Configurator::instance()->addParametr(&style, QStringLiteral("prStyle"));
    Configurator::instance()->addParametr(&stamp, QStringLiteral("prStamp"));
    const QString path = conf();
    pointAt(path);

    Configurator::instance()->load();
    QCOMPARE(warningsAbout(UnknownWarning), 0);

    Configurator::instance()->save();
    QCOMPARE(warningsAbout(UnknownWarning), 3);
    for (const Captured& c : qAsConst(captured))
        QVERIFY2(!c.hasContext, qPrintable(c.text));
    {
        QSettings stored(path, QSettings::IniFormat);
        QCOMPARE(stored.allKeys().size(), 2);
    }

    captured.clear();
    writeFile(path, "[General]\nprMulti=1\nprIP=10.9.9.9\n");
    Configurator::instance()->load();
    QCOMPARE(warningsAbout(UnknownWarning), 1);
    QCOMPARE(Settings::instance()->prIP->addressText(), QStringLiteral("10.9.9.9"));
    QVERIFY(!multi.isSelected(0));

    captured.clear();
    Configurator::instance()->save();
    QCOMPARE(warningsAbout(UnknownWarning), 3);
    QSettings stored(path, QSettings::IniFormat);
    QVERIFY(!stored.contains(QStringLiteral("prMulti")));
}

void TestConfigurator::sameKeyTwice()
{
    static ParametrString first(&Caption, 20, 0);
    static ParametrString second(&Caption, 20, 0);
    Configurator::instance()->addParametr(&first, QStringLiteral("prTwice"));
    Configurator::instance()->addParametr(&second, QStringLiteral("prTwice"));
    const QString path = conf();
    writeFile(path, "[General]\nprTwice=abc\n");
    pointAt(path);
    Configurator::instance()->load();
    QCOMPARE(first.value(), QStringLiteral("abc"));
    QCOMPARE(second.value(), QStringLiteral("abc"));

    first.setValue(QStringLiteral("один"));
    second.setValue(QStringLiteral("два"));
    Configurator::instance()->save();
    QSettings stored(path, QSettings::IniFormat);
    QCOMPARE(stored.value(QStringLiteral("prTwice")).toString(), QStringLiteral("два"));
}

QTEST_MAIN(TestConfigurator)
#include "tst_configurator.moc"
