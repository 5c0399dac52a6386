// Parameter kinds: display texts, two-copy values, bounds, item lists and packed forms.
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

#include <QtTest>

#include <atomic>
#include <limits>
#include <memory>
#include <thread>

namespace {

const QString Caption = QStringLiteral("Параметр");

struct Items
{
    explicit Items(int count)
    {
        for (int i = 0; i < count; ++i)
            list.append(new EnumItem{i * 10, QStringLiteral("item%1").arg(i)});
    }
    ~Items() { qDeleteAll(list); }
    EnumItemList list;
};

} // namespace

class TestParametrs : public QObject
{
    Q_OBJECT
private slots:
    void kindCodes();
    void flagsAndCaption();
    void ownCaptionDecidedAtConstruction();
    void toolTip();

    void doubleText_data();
    void doubleText();
    void doubleBounds();
    void twoCopyValues();
    void intTexts();

    void enumTextAndIndex();
    void enumSetItems();

    void timeText_data();
    void timeText();
    void timeDefaultRange();

    void dateTimeText();
    void dateTimePacking_data();
    void dateTimePacking();

    void multiEnumText();
    void multiEnumSelection();
    void multiEnumUnderThreads();

    void channelStyle();

    void addressFromText_data();
    void addressFromText();
    void textKinds();
};

void TestParametrs::kindCodes()
{
    Items items(2);
    ParametrEnum e(&Caption, &items.list, 0);
    ParametrString s(&Caption, 10, 0);
    ParametrDouble d(&Caption, 0, 1, 0);
    ParametrInt i(&Caption, 0, 1, 0);
    ParametrMultiEnum m(&Caption, &items.list, 0);
    ParametrTime t(&Caption, 0);
    ParametrChannelStyle c(&Caption, 0);
    ParametrDateTime dt(&Caption, 0);
    ParametrPath p(&Caption, 0);
    ParametrEditableEnum ee(&Caption, &items.list, 0);
    ParametrIP ip(&Caption, 0);
    const QList<int> codes = {e.type(), s.type(),  d.type(), i.type(),  m.type(), t.type(),
                              c.type(), dt.type(), p.type(), ee.type(), ip.type()};
    QCOMPARE(codes, (QList<int>{0, 1, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
}

void TestParametrs::flagsAndCaption()
{
    ParametrString s(&Caption, 10, AltEditor);
    QVERIFY(s.testFlag(0x22));
    QVERIFY(!s.testFlag(ShowEditValue));
    s.addFlags(ShowEditValue);
    QCOMPARE(s.flags(), quint8(0x22));
    s.removeFlags(AltEditor);
    QCOMPARE(s.flags(), quint8(ShowEditValue));
    s.setFlags(0);
    QVERIFY(!s.testFlag(0xFF));
    QCOMPARE(s.caption(), Caption);
    ParametrString orphan(nullptr, 1, 0);
    QVERIFY(orphan.caption().isEmpty());
}

void TestParametrs::ownCaptionDecidedAtConstruction()
{
    QString text = QStringLiteral("до");
    ParametrString copied(&text, 5, OwnCaption);
    ParametrString borrowed(&text, 5, 0);
    text = QStringLiteral("после");
    QCOMPARE(copied.caption(), QStringLiteral("до"));
    QCOMPARE(borrowed.caption(), QStringLiteral("после"));

    // A borrowed caption must survive a flag change and the parameter's death.
    {
        auto* late = new ParametrString(&text, 5, 0);
        late->addFlags(OwnCaption);
        delete late;
    }
    QCOMPARE(text, QStringLiteral("после"));
    {
        auto* owner = new ParametrString(&text, 5, OwnCaption);
        owner->removeFlags(OwnCaption);
        QCOMPARE(owner->caption(), QStringLiteral("после"));
        delete owner;
    }
}

void TestParametrs::toolTip()
{
    ParametrInt i(&Caption, 0, 9, 0);
    QVERIFY(i.toolTip().isEmpty());
    i.setToolTip(QStringLiteral("первый"));
    i.setToolTip(QStringLiteral("второй"));
    QCOMPARE(i.toolTip(), QStringLiteral("второй"));
}

void TestParametrs::doubleText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("six significant digits") << 1234.5678 << "1234,57";
    QTest::newRow("half") << 2.5 << "2,5";
    QTest::newRow("whole") << 3.0 << "3";
    QTest::newRow("negative small") << -0.001 << "-0,001";
    QTest::newRow("exponent") << 12345678.0 << "1,23457e+07";
}

void TestParametrs::doubleText()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    ParametrDouble d(&Caption, -99, -99, 0);
    d.setValue(value);
    QCOMPARE(d.valueText(), text);
}

void TestParametrs::doubleBounds()
{
    ParametrDouble open(&Caption, -99, -99, 0);
    QCOMPARE(open.minimum(), std::numeric_limits<double>::lowest());
    QCOMPARE(open.maximum(), std::numeric_limits<double>::max());
    QCOMPARE(open.minimum(), -1.7976931348623157e308);
    ParametrDouble near(&Caption, -98.5, 99, 0);
    QCOMPARE(near.minimum(), -98.5);
    QCOMPARE(near.maximum(), 99.0);
    QCOMPARE(int(near.decimals()), 3);
    ParametrDouble lowOnly(&Caption, -10, -99, 0);
    QCOMPARE(lowOnly.minimum(), -10.0);
    QCOMPARE(lowOnly.maximum(), std::numeric_limits<double>::max());
}

void TestParametrs::twoCopyValues()
{
    ParametrInt i(&Caption, 0, 100, 0);
    QCOMPARE(i.value(), 0);
    i.setValue(5);
    QCOMPARE(i.editValue(), 5);
    i.setEditValue(9);
    QCOMPARE(i.value(), 5);
    QCOMPARE(i.valueText(), QStringLiteral("5"));
    i.addFlags(ShowEditValue);
    QCOMPARE(i.valueText(), QStringLiteral("9"));
    i.revertEdit();
    QCOMPARE(i.editValue(), 5);
    i.setEditValue(7);
    i.applyEdit();
    QCOMPARE(i.value(), 7);

    ParametrDouble d(&Caption, 0, 1, ShowEditValue);
    d.setValue(0.25);
    d.setEditValue(0.5);
    QCOMPARE(d.valueText(), QStringLiteral("0,5"));
    QCOMPARE(d.value(), 0.25);

    ParametrTime t(&Caption, ShowEditValue);
    t.setValue(QTime(1, 0));
    t.setEditValue(QTime(0, 2));
    QCOMPARE(t.valueText(), QStringLiteral("2 мин  "));
    t.revertEdit();
    QCOMPARE(t.valueText(), QStringLiteral("1 час  "));
}

void TestParametrs::intTexts()
{
    ParametrInt i(&Caption, -10, 1000, 0);
    i.setValue(-1);
    QCOMPARE(i.valueText(), QStringLiteral("-1"));
    i.setValue(10);
    QCOMPARE(i.hexText(true), QStringLiteral("0xA"));
    i.setValue(255);
    QCOMPARE(i.hexText(true), QStringLiteral("0xFF"));
    QCOMPARE(i.hexText(false), QStringLiteral("255"));
    QCOMPARE(i.minimum(), -10);
    QCOMPARE(i.maximum(), 1000);
}

void TestParametrs::enumTextAndIndex()
{
    Items items(3);
    ParametrEnum e(&Caption, &items.list, 0);
    e.setValue(20);
    QCOMPARE(e.valueText(), QStringLiteral("item2"));
    QCOMPARE(e.currentIndex(), 2);
    e.setValue(7);
    QCOMPARE(e.valueText(), QStringLiteral("<7>"));
    QCOMPARE(e.currentIndex(), -1);
    e.setEditValue(10);
    QCOMPARE(e.currentIndex(), -1);
    e.addFlags(ShowEditValue);
    QCOMPARE(e.currentIndex(), 1);
    QCOMPARE(e.valueText(), QStringLiteral("item1"));

    ParametrEnum without(&Caption, nullptr, 0);
    without.setValue(-3);
    QCOMPARE(without.valueText(), QStringLiteral("<-3>"));
    QCOMPARE(without.currentIndex(), -1);
}

void TestParametrs::enumSetItems()
{
    Items first(3);
    ParametrEnum e(&Caption, &first.list, 0);
    e.setValue(20);

    Items other(2);
    for (EnumItem* item : other.list)
        item->value += 100;
    e.setItems(&other.list);
    QCOMPARE(e.items(), &other.list);
    QCOMPARE(e.value(), 100);
    QCOMPARE(e.editValue(), 100);

    e.setValue(110);
    e.setEditValue(5);
    e.setItems(&other.list);
    QCOMPARE(e.value(), 110);
    QCOMPARE(e.editValue(), 5);

    EnumItemList empty;
    e.setItems(&empty);
    QCOMPARE(e.value(), 110);
    QCOMPARE(e.valueText(), QStringLiteral("<110>"));
}

void TestParametrs::timeText_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QString>("text");
    QTest::newRow("hour and minutes") << QTime(1, 5, 0) << "1 час  5 мин  ";
    QTest::newRow("seconds and a half") << QTime(0, 0, 30, 500) << "30.5 сек  ";
    QTest::newRow("zero") << QTime(0, 0, 0) << "0 сек  ";
    QTest::newRow("hours only") << QTime(2, 0, 0) << "2 час  ";
    QTest::newRow("all parts") << QTime(1, 2, 3, 250) << "1 час  2 мин  3.25 сек  ";
    QTest::newRow("milliseconds only") << QTime(0, 0, 0, 9) << "0.009 сек  ";
    QTest::newRow("minute and seconds") << QTime(0, 1, 59) << "1 мин  59 сек  ";
}

void TestParametrs::timeText()
{
    QFETCH(QTime, time);
    QFETCH(QString, text);
    ParametrTime t(&Caption, 0);
    t.setValue(time);
    QCOMPARE(t.valueText(), text);
}

void TestParametrs::timeDefaultRange()
{
    ParametrTime t(&Caption, 0);
    QCOMPARE(t.minimum(), QTime(0, 0, 0, 0));
    QCOMPARE(t.maximum(), QTime(23, 59, 59, 9));
    QVERIFY(t.value().isNull());
    QVERIFY(t.valueText().isEmpty());
    ParametrTime ranged(&Caption, QTime(8, 0), QTime(17, 30), 0);
    QCOMPARE(ranged.minimum(), QTime(8, 0));
    QCOMPARE(ranged.maximum(), QTime(17, 30));
}

void TestParametrs::dateTimeText()
{
    ParametrDateTime dt(&Caption, 0);
    QVERIFY(dt.valueText().isEmpty());
    dt.setValue(QDateTime(QDate(2017, 3, 5), QTime(14, 7, 9, 500)));
    QCOMPARE(dt.valueText(), QStringLiteral("5.3.2017  14:7:9.5"));
    dt.setValue(QDateTime(QDate(2020, 12, 31), QTime(0, 0, 0)));
    QCOMPARE(dt.valueText(), QStringLiteral("31.12.2020  0:0:0"));
    const QDateTime low(QDate(2000, 1, 1), QTime(0, 0));
    const QDateTime high(QDate(2099, 1, 1), QTime(0, 0));
    ParametrDateTime ranged(&Caption, low, high, 0);
    QCOMPARE(ranged.minimum(), low);
    QCOMPARE(ranged.maximum(), high);
}

void TestParametrs::dateTimePacking_data()
{
    QTest::addColumn<QDateTime>("value");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("ordinary") << QDateTime(QDate(2017, 3, 5), QTime(14, 7, 9, 500))
                              << QByteArray("\x11\x03\x05\x0e\x07\x09", 6);
    QTest::newRow("before 2000") << QDateTime(QDate(1999, 12, 31), QTime(23, 59, 58))
                                 << QByteArray("\x00\x0c\x1f\x17\x3b\x3a", 6);
    QTest::newRow("past one byte of years") << QDateTime(QDate(2300, 1, 2), QTime(3, 4, 5))
                                            << QByteArray("\xff\x01\x02\x03\x04\x05", 6);
}

void TestParametrs::dateTimePacking()
{
    QFETCH(QDateTime, value);
    QFETCH(QByteArray, bytes);
    ParametrDateTime dt(&Caption, 0);
    dt.setValue(value);
    quint8 out[6] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
    dt.toBytes(out);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(out), 6), bytes);

    ParametrDateTime back(&Caption, 0);
    back.fromBytes(out);
    if (value.date().year() >= 2000 && value.date().year() <= 2255) {
        QDateTime expected = value;
        expected.setTime(QTime(value.time().hour(), value.time().minute(), value.time().second()));
        QCOMPARE(back.value(), expected);
        QCOMPARE(back.value().timeSpec(), Qt::LocalTime);
    }
}

void TestParametrs::multiEnumText()
{
    Items items(12);
    ParametrMultiEnum m(&Caption, &items.list, 0);
    QCOMPARE(m.valueText(), QStringLiteral("Нажмите для выбора"));

    Items three(3);
    ParametrMultiEnum small(&Caption, &three.list, 0);
    small.selectAll();
    QCOMPARE(small.valueText(), QStringLiteral("[1] ,[11] ,[21]"));
    small.setShowNames(true);
    QCOMPARE(small.valueText(), QStringLiteral("[item0] ,[item1] ,[item2]"));

    m.selectAll();
    QString expected;
    for (int i = 0; i < 11; ++i)
        expected += QStringLiteral("[%1] ,").arg(i * 10 + 1);
    QCOMPARE(m.valueText(), expected);

    QCOMPARE(m.itemText(10), QStringLiteral("11"));
    QCOMPARE(m.itemText(5), QString());
}

void TestParametrs::multiEnumSelection()
{
    Items items(3);
    ParametrMultiEnum m(&Caption, &items.list, 0);
    QVERIFY(!m.isSelected(10));
    m.selectAll();
    QVERIFY(m.isSelected(10));
    QVERIFY(!m.isSelected(11));
    m.selectAll();
    QCOMPARE(m.valueText(), QStringLiteral("[1] ,[11] ,[21] ,[1] ,[11] ,[21]"));
    m.clearSelection();
    QVERIFY(!m.isSelected(0));
    m.lock();
    m.unlock();
    ParametrMultiEnum none(&Caption, nullptr, 0);
    none.selectAll();
    QCOMPARE(none.valueText(), QStringLiteral("Нажмите для выбора"));
}

void TestParametrs::multiEnumUnderThreads()
{
    Items items(5);
    ParametrMultiEnum m(&Caption, &items.list, 0);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int i = 0; i < 2000; ++i) {
            m.selectAll();
            m.clearSelection();
        }
        stop = true;
    });
    while (!stop) {
        const bool selected = m.isSelected(20);
        Q_UNUSED(selected);
        const QString text = m.valueText();
        QVERIFY(text.startsWith(QLatin1Char('[')) || text == QStringLiteral("Нажмите для выбора"));
    }
    writer.join();
    QVERIFY(!m.isSelected(20));
}

void TestParametrs::channelStyle()
{
    ParametrChannelStyle c(&Caption, 0);
    QCOMPARE(c.lineColor(), QColor(Qt::black));
    QCOMPARE(c.fillColor(), QColor(Qt::transparent));
    QCOMPARE(int(c.lineWidth()), 1);
    QCOMPARE(c.lineWidthF(), 1.0f);
    c.setLineWidth(0);
    QCOMPARE(c.lineWidthF(), 0.5f);
    c.setLineWidth(3);
    QCOMPARE(c.lineWidthF(), 3.0f);
    c.setLineColor(Qt::red);
    c.setFillColor(Qt::blue);
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        QCOMPARE(c.palette().brush(group, QPalette::WindowText).color(), QColor(Qt::red));
        QCOMPARE(c.palette().brush(group, QPalette::Window).color(), QColor(Qt::blue));
        QCOMPARE(c.palette().brush(group, QPalette::Window).style(), Qt::SolidPattern);
    }
    QPalette p;
    p.setColor(QPalette::WindowText, Qt::green);
    c.setPalette(p);
    QCOMPARE(c.lineColor(), QColor(Qt::green));
}

void TestParametrs::addressFromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("address");
    QTest::newRow("plain") << "10.0.0.7"
                           << "10.0.0.7";
    QTest::newRow("leading zeros are decimal") << "010.000.000.007"
                                               << "10.0.0.7";
    QTest::newRow("top") << "255.255.255.255"
                         << "255.255.255.255";
    QTest::newRow("surrounding blanks") << " 192.168.0.3 "
                                        << "192.168.0.3";
    QTest::newRow("one octet") << "192"
                               << "";
    QTest::newRow("two octets") << "192.168"
                                << "";
    QTest::newRow("trailing dot") << "192.168.0."
                                  << "";
    QTest::newRow("octet too big") << "192.168.0.300"
                                   << "";
    QTest::newRow("five octets") << "1.2.3.4.5"
                                 << "";
    QTest::newRow("four digits") << "1.2.3.0004"
                                 << "";
    QTest::newRow("hex") << "0x0a.0.0.1"
                         << "";
    QTest::newRow("sign") << "+1.2.3.4"
                          << "";
    QTest::newRow("ipv6") << "fe80::1"
                          << "";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("arabic-indic digits") << QString::fromUtf8("١.٢.٣.٤") << "";
}

void TestParametrs::addressFromText()
{
    QFETCH(QString, text);
    QFETCH(QString, address);
    ParametrIP ip(&Caption, 0);
    ip.setAddress(ParametrIP::addressFromText(text));
    QCOMPARE(ip.addressText(), address);
    QCOMPARE(ip.address().isNull(), address.isEmpty());
    QVERIFY(ip.valueText().isEmpty());
}

void TestParametrs::textKinds()
{
    Items items(2);
    ParametrEditableEnum ee(&Caption, &items.list, 0);
    QVERIFY(ee.valueText().isEmpty());
    ee.setValue(QStringLiteral("свой текст"));
    QCOMPARE(ee.valueText(), QStringLiteral("свой текст"));
    QCOMPARE(ee.items(), &items.list);

    ParametrPath p(&Caption, 0);
    QCOMPARE(p.filters(), QStringList{QStringLiteral("*")});
    p.setValue(QStringLiteral("/дом/файл.xlsx"));
    QCOMPARE(p.valueText(), QStringLiteral("/дом/файл.xlsx"));

    ParametrString s(&Caption, 50, 0);
    QCOMPARE(s.maxLength(), 50);
    s.setValue(QStringLiteral("поиск"));
    QCOMPARE(s.valueText(), QStringLiteral("поиск"));
}

QTEST_GUILESS_MAIN(TestParametrs)
#include "tst_parametrs.moc"
