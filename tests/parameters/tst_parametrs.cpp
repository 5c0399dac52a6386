// Parameter kinds: display texts, the shown copy, item lists, packed date-times, address parsing.
#include "parameters/enumitem.h"
#include "parameters/parametrchannelstyle.h"
#include "parameters/parametrdatetime.h"
#include "parameters/parametrdouble.h"
#include "parameters/parametrenum.h"
#include "parameters/parametrint.h"
#include "parameters/parametrip.h"
#include "parameters/parametrmultienum.h"
#include "parameters/parametrstring.h"
#include "parameters/parametrtime.h"

#include <QtTest>

#include <atomic>
#include <limits>
#include <thread>

namespace {

const QString Caption = QStringLiteral("Параметр");

// Items with values 0, 10, 20, ... and texts item0, item1, ...
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
    void captionOwnershipAndFlags()
    {
        QString text = QStringLiteral("до");
        ParametrString copied(&text, 5, OwnCaption);
        ParametrString borrowed(&text, 5, AltEditor);
        text = QStringLiteral("после");
        QCOMPARE(copied.caption(), QStringLiteral("до"));
        QCOMPARE(borrowed.caption(), QStringLiteral("после"));
        QVERIFY(borrowed.testFlag(0x22));
        QVERIFY(ParametrString(nullptr, 1, 0).caption().isEmpty());

        // Ownership is fixed at construction: a later flag change neither frees a borrowed caption
        // nor leaks an owned one (the sanitizers watch both).
        auto* late = new ParametrString(&text, 5, 0);
        late->addFlags(OwnCaption);
        delete late;
        auto* owner = new ParametrString(&text, 5, OwnCaption);
        owner->removeFlags(OwnCaption);
        QCOMPARE(owner->caption(), QStringLiteral("после"));
        delete owner;
        QCOMPARE(text, QStringLiteral("после"));
    }

    void doubleText_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("six significant digits") << 1234.5678 << "1234,57";
        QTest::newRow("half") << 2.5 << "2,5";
        QTest::newRow("whole") << 3.0 << "3";
        QTest::newRow("negative small") << -0.001 << "-0,001";
        QTest::newRow("exponent") << 12345678.0 << "1,23457e+07";
    }

    void doubleText()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        ParametrDouble d(&Caption, -99, -99, 0);
        d.setValue(value);
        QCOMPARE(d.valueText(), text);
    }

    void numbersAndShownCopy()
    {
        ParametrDouble open(&Caption, -99, -99, 0);
        QCOMPARE(open.minimum(), std::numeric_limits<double>::lowest());
        QCOMPARE(open.maximum(), std::numeric_limits<double>::max());
        ParametrDouble near(&Caption, -98.5, -99, 0);
        QCOMPARE(near.minimum(), -98.5);
        QCOMPARE(near.maximum(), std::numeric_limits<double>::max());

        ParametrInt i(&Caption, -10, 1000, 0);
        i.setValue(-1);
        QCOMPARE(i.valueText(), QStringLiteral("-1"));
        i.setValue(255);
        QCOMPARE(i.hexText(true), QStringLiteral("0xFF"));
        QCOMPARE(i.hexText(false), QStringLiteral("255"));
        i.setValue(5);
        QCOMPARE(i.editValue(), 5);
        i.setEditValue(9);
        QCOMPARE(i.value(), 5);
        QCOMPARE(i.valueText(), QStringLiteral("5"));
        i.addFlags(ShowEditValue);
        QCOMPARE(i.valueText(), QStringLiteral("9"));
        QCOMPARE(i.hexText(true), QStringLiteral("0x9"));

        ParametrDouble d(&Caption, 0, 1, ShowEditValue);
        d.setValue(0.25);
        d.setEditValue(0.5);
        QCOMPARE(d.valueText(), QStringLiteral("0,5"));

        ParametrTime t(&Caption, ShowEditValue);
        t.setValue(QTime(1, 0));
        t.setEditValue(QTime(0, 2));
        QCOMPARE(t.valueText(), QStringLiteral("2 мин  "));
    }

    void enumItems()
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

        // A list without the value moves both copies to its first item; one with it keeps them.
        Items other(2);
        for (EnumItem* item : other.list)
            item->value += 100;
        e.setItems(&other.list);
        QCOMPARE(e.value(), 100);
        QCOMPARE(e.editValue(), 100);
        e.setValue(110);
        e.setItems(&other.list);
        QCOMPARE(e.value(), 110);
        EnumItemList empty;
        e.setItems(&empty);
        QCOMPARE(e.value(), 110);

        ParametrEnum without(&Caption, nullptr, 0);
        without.setValue(-3);
        QCOMPARE(without.valueText(), QStringLiteral("<-3>"));
    }

    void timeText_data()
    {
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QString>("text");
        QTest::newRow("hour and minutes") << QTime(1, 5, 0) << "1 час  5 мин  ";
        QTest::newRow("seconds and a half") << QTime(0, 0, 30, 500) << "30.5 сек  ";
        QTest::newRow("zero") << QTime(0, 0, 0) << "0 сек  ";
        QTest::newRow("hours only") << QTime(2, 0, 0) << "2 час  ";
        QTest::newRow("all parts") << QTime(1, 2, 3, 250) << "1 час  2 мин  3.25 сек  ";
        QTest::newRow("milliseconds only") << QTime(0, 0, 0, 9) << "0.009 сек  ";
        QTest::newRow("never set") << QTime() << "";
    }

    void timeText()
    {
        QFETCH(QTime, time);
        QFETCH(QString, text);
        ParametrTime t(&Caption, 0);
        t.setValue(time);
        QCOMPARE(t.valueText(), text);
    }

    void dateTimeTextAndBytes_data()
    {
        QTest::addColumn<QDateTime>("value");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("ordinary") << QDateTime(QDate(2017, 3, 5), QTime(14, 7, 9, 500))
                                  << "5.3.2017  14:7:9.5"
                                  << QByteArray("\x11\x03\x05\x0e\x07\x09", 6);
        QTest::newRow("before 2000")
            << QDateTime(QDate(1999, 12, 31), QTime(23, 59, 58)) << "31.12.1999  23:59:58"
            << QByteArray("\x00\x0c\x1f\x17\x3b\x3a", 6);
        // Pinned at the last year a byte holds rather than wrapped to an early one.
        QTest::newRow("past one byte of years")
            << QDateTime(QDate(2300, 1, 2), QTime(3, 4, 5)) << "2.1.2300  3:4:5"
            << QByteArray("\xff\x01\x02\x03\x04\x05", 6);
    }

    void dateTimeTextAndBytes()
    {
        QFETCH(QDateTime, value);
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        ParametrDateTime dt(&Caption, 0);
        QVERIFY(dt.valueText().isEmpty());
        dt.setValue(value);
        QCOMPARE(dt.valueText(), text);
        quint8 out[6] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
        dt.toBytes(out);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(out), 6), bytes);

        ParametrDateTime back(&Caption, 0);
        back.fromBytes(out);
        if (value.date().year() >= 2000 && value.date().year() <= 2255) {
            const QTime t = value.time();
            QCOMPARE(back.value(),
                     QDateTime(value.date(), QTime(t.hour(), t.minute(), t.second())));
            QCOMPARE(back.value().timeSpec(), Qt::LocalTime);
        }
    }

    void multiEnumText()
    {
        Items twelve(12);
        ParametrMultiEnum m(&Caption, &twelve.list, 0);
        QCOMPARE(m.valueText(), QStringLiteral("Нажмите для выбора"));
        m.selectAll();
        QString expected;
        for (int i = 0; i < 11; ++i)
            expected += QStringLiteral("[%1] ,").arg(i * 10 + 1);
        QCOMPARE(m.valueText(), expected);

        Items three(3);
        ParametrMultiEnum small(&Caption, &three.list, 0);
        small.selectAll();
        QCOMPARE(small.valueText(), QStringLiteral("[1] ,[11] ,[21]"));
        small.setShowNames(true);
        QCOMPARE(small.valueText(), QStringLiteral("[item0] ,[item1] ,[item2]"));

        ParametrMultiEnum none(&Caption, nullptr, 0);
        none.selectAll();
        QCOMPARE(none.valueText(), QStringLiteral("Нажмите для выбора"));
    }

    // The selection is the one value shared across threads; the thread sanitizer judges this.
    void multiEnumUnderThreads()
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
            m.isSelected(20);
            const QString text = m.valueText();
            QVERIFY(text.startsWith(QLatin1Char('[')) ||
                    text == QStringLiteral("Нажмите для выбора"));
        }
        writer.join();
        QVERIFY(!m.isSelected(20));
    }

    void channelStyle()
    {
        ParametrChannelStyle c(&Caption, 0);
        c.setLineWidth(0);
        QCOMPARE(c.lineWidthF(), 0.5f);
        c.setLineColor(Qt::red);
        c.setFillColor(Qt::blue);
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            QCOMPARE(c.palette().brush(group, QPalette::WindowText).color(), QColor(Qt::red));
            QCOMPARE(c.palette().brush(group, QPalette::Window).color(), QColor(Qt::blue));
            QCOMPARE(c.palette().brush(group, QPalette::Window).style(), Qt::SolidPattern);
        }
    }

    void addressFromText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("address");
        const auto row = [](const char* text, const char* address) {
            QTest::newRow(text) << QString::fromUtf8(text) << QString(address);
        };
        row("10.0.0.7", "10.0.0.7");
        row("010.000.000.007", "10.0.0.7");
        row(" 192.168.0.3 ", "192.168.0.3");
        row("255.255.255.255", "255.255.255.255");
        for (const char* bad : {"192.168", "192.168.0.", "192.168.0.300", "1.2.3.256", "1.2.3.4.5",
                                "1.2.3.0004", "0x0a.0.0.1", "+1.2.3.4", "fe80::1", "", "١.٢.٣.٤"})
            row(bad, "");
    }

    void addressFromText()
    {
        QFETCH(QString, text);
        QFETCH(QString, address);
        ParametrIP ip(&Caption, 0);
        ip.setAddress(ParametrIP::addressFromText(text));
        QCOMPARE(ip.addressText(), address);
        QCOMPARE(ip.address().isNull(), address.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestParametrs)
#include "tst_parametrs.moc"
