// A misbehaving device: hostile lengths and sizes end the attempt without a crash or a large
// allocation. How each layout is read is tst_serverreader's; these are the session's answers.
#include "messageboxwatcher.h"
#include "parameters/parametrip.h"
#include "parameters/settings.h"
#include "rfbfakeserver.h"
#include "rfbsessionharness.h"

#include <QtTest>

#if defined(__SANITIZE_ADDRESS__)
// ASan keeps freed memory in a quarantine (256 MB by default), which would count as resident
// memory here; a small one keeps the peak measurement about this program.
extern "C" const char* __asan_default_options()
{
    return "quarantine_size_mb=4:thread_local_quarantine_size_kb=64";
}
#endif

namespace {

constexpr int firstExchangeRequest = 4;
// Peak memory may grow by this much at most while a hostile server is served.
constexpr qint64 allowedGrowthKiB = 64 * 1024;

} // namespace

class TestHvncHostile : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void hugeRectangleEndsTheExchange();
    void unshowableScreenIsRefused();
    void trickledFieldEndsAtItsTimeout_data();
    void trickledFieldEndsAtItsTimeout();
    void peakMemoryStayedSmall();

private:
    qint64 startPeak = 0;
};

void TestHvncHostile::initTestCase()
{
    startPeak = RfbSessionHarness::peakRssKiB();
    QVERIFY(startPeak > 0);
}

void TestHvncHostile::hugeRectangleEndsTheExchange()
{
    const QString address = QStringLiteral("127.3.3.2");
    // 8 MB of pixel data behind an 8 GB rectangle, then silence.
    const QByteArray reply =
        RfbFakeServer::update({RfbFakeServer::rectangleHeader(0, 0, 65535, 65535, 0)}) +
        QByteArray(8 * 1024 * 1024, '\x5a');
    RfbFakeServer server;
    server.reply = [reply](int request) {
        return request < firstExchangeRequest + 1 ? QByteArray() : reply;
    };
    QVERIFY(server.listen(QHostAddress(address)));
    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);
    harness.session->setTimeout(300);
    harness.connectSession();
    QVERIFY(harness.waitForAction(HVNC::Exchange));
    QVERIFY(harness.waitForIdleAfter(60000));
    QVERIFY(boxes.waitForCount(1));
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Ошибка обмена!")});
    // The rows that did arrive were stored at their place.
    QCOMPARE(harness.pixel(0, 0), quint16(0x5a5a));
}

void TestHvncHostile::unshowableScreenIsRefused()
{
    // Which screens are refused is tst_serverreader's; this is the session's answer to one.
    const QString address = QStringLiteral("127.3.3.10");
    const QSize size(65535, 65535);
    RfbFakeServer server;
    server.screenSize = size;
    server.reply = [](int) { return RfbFakeServer::update({}); };
    QVERIFY(server.listen(QHostAddress(address)));
    solmirtest::MessageBoxWatcher boxes;
    // First where nothing listens: that attempt's socket error must not stand for the next one.
    RfbSessionHarness harness(QStringLiteral("127.3.3.11"));
    harness.session->setTimeout(400);
    harness.connectSession();
    QVERIFY(harness.waitForIdleAfter());
    QVERIFY(boxes.waitForCount(1));
    Settings::instance()->prIP->setAddress(QHostAddress(address));
    harness.actions.clear();
    harness.connectSession();
    QVERIFY(harness.waitForIdleAfter());
    QVERIFY(boxes.waitForCount(2));
    QCOMPARE(boxes.texts().last(), QStringLiteral("Ошибка при конфигурации устройства!"));
    QVERIFY(!harness.connectStates.contains(true));
    QVERIFY(harness.session->frameSize() != size);
    // Nothing was asked of a device whose screen cannot be shown.
    QCOMPARE(server.requestCount(), 0);
}

void TestHvncHostile::trickledFieldEndsAtItsTimeout_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("fillFrom");
    QTest::addColumn<QString>("box");
    const QString configure = QStringLiteral("Ошибка при конфигурации устройства!");
    // Each piece of the field comes well within the time-out, the whole field never does.
    QTest::newRow("4 GB desktop name") << QStringLiteral("127.3.3.7") << 0 << configure;
    QTest::newRow("screen in Configure") << QStringLiteral("127.3.3.8") << 1 << configure;
    QTest::newRow("screen in Exchange")
        << QStringLiteral("127.3.3.9") << firstExchangeRequest << QStringLiteral("Ошибка обмена!");
}

void TestHvncHostile::trickledFieldEndsAtItsTimeout()
{
    QFETCH(QString, address);
    QFETCH(int, fillFrom);
    QFETCH(QString, box);
    RfbFakeServer server;
    server.screenSize = QSize(4096, 2048);
    if (fillFrom == 0)
        server.serverInitRaw = QByteArray::fromHex("10000800"
                                                   "10100001001f003f001f0b0500000000"
                                                   "fffffff0");
    server.fillFrom = fillFrom;
    // 320 KB/s: the whole screen would take almost a minute.
    server.reply = [fillFrom](int request) {
        return request < fillFrom
                   ? RfbFakeServer::update({})
                   : RfbFakeServer::update({RfbFakeServer::rectangleHeader(0, 0, 4096, 2048, 0)});
    };
    QVERIFY(server.listen(QHostAddress(address)));
    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);
    harness.session->setTimeout(400);
    harness.connectSession();
    QVERIFY(harness.waitForIdleAfter(30000));
    QVERIFY(boxes.waitForCount(1));
    QCOMPARE(boxes.texts(), QStringList{box});
    QCOMPARE(harness.connectStates.contains(true), fillFrom == firstExchangeRequest);
}

void TestHvncHostile::peakMemoryStayedSmall()
{
#if defined(__SANITIZE_THREAD__)
    QSKIP("ThreadSanitizer's shadow memory grows with every allocation; the check runs in the "
          "default and ASan builds");
#endif
    const qint64 peak = RfbSessionHarness::peakRssKiB();
    QVERIFY2(peak - startPeak < allowedGrowthKiB,
             qPrintable(QStringLiteral("peak grew by %1 KiB").arg(peak - startPeak)));
}

QTEST_MAIN(TestHvncHostile)
#include "tst_hvnc_hostile.moc"
