// The session against the simulated device: connecting again and again, and the device's own DES.
// Long use (hundreds of cycles, memory, descriptors) is the soak's.
#include "messageboxwatcher.h"
#include "remotescreenfixture.h"
#include "rfbsessionharness.h"

#include "remote/rfbprotocol.h"
#include "remote/syncedmutexlocker.h"
#include "simulator/rfbserver.h"
#include "simulator/simoptions.h"

#include <QtTest>

namespace {

// Starts the device, waiting while the same suite run from another checkout holds the address.
bool startDevice(RfbServer& device)
{
    QElapsedTimer clock;
    clock.start();
    while (!device.start()) {
        if (clock.elapsed() > 120000)
            return false;
        QTest::qWait(200);
    }
    return true;
}

// Compares the session's screen with the device's own frame.
bool sameScreen(RfbSessionHarness& harness, const QImage& frame)
{
    SyncedMutexLocker lock(&harness.session->imageMutex);
    const QImage* image = harness.session->image();
    return image->size() == frame.size() && image->convertToFormat(QImage::Format_RGB16) ==
                                                frame.convertToFormat(QImage::Format_RGB16);
}

} // namespace

class TestHvncSimulator : public QObject
{
    Q_OBJECT
private slots:
    void connectDisconnectCycles();
    void passwordCheckedByTheDevicesOwnDes();
    void screenIn565AndKeysReachTheDevice();
};

void TestHvncSimulator::connectDisconnectCycles()
{
    const QString address = QStringLiteral("127.3.4.1");
    RfbServer device(RemoteScreenFixture::deviceOptions(address));
    QVERIFY2(startDevice(device), qPrintable(device.errorString()));
    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);
    const int cycles = 3;
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        harness.actions.clear();
        harness.connectSession();
        QVERIFY2(harness.waitForAction(HVNC::Exchange), qPrintable(QString::number(cycle)));
        QVERIFY(harness.waitFor([&]() { return harness.session->isReady(); }));
        harness.disconnectSession();
        QVERIFY2(harness.waitForIdleAfter(), qPrintable(QString::number(cycle)));
        QVERIFY(!harness.session->isReady());
    }
    QVERIFY(RfbSessionHarness::waitFor([&]() { return device.connectionCount() == cycles; }));
    QCOMPARE(boxes.count(), 0);
    QCOMPARE(harness.connectStates.count(true), cycles);
    QCOMPARE(harness.statuses.count(QStringLiteral("Связь установлена.")), cycles);
}

void TestHvncSimulator::passwordCheckedByTheDevicesOwnDes()
{
    const QString address = QStringLiteral("127.3.4.2");
    SimOptions options = RemoteScreenFixture::deviceOptions(address);
    options.password = QStringLiteral("Пароль-1");
    RfbServer device(options);
    QVERIFY2(startDevice(device), qPrintable(device.errorString()));
    solmirtest::MessageBoxWatcher boxes;
    RfbSessionHarness harness(address);
    harness.passwordAnswer = QStringLiteral("Пароль-1");
    harness.connectSession();
    QVERIFY(harness.waitForAction(HVNC::Exchange));
    QVERIFY(harness.waitFor([&]() { return harness.session->isReady(); }));
    QCOMPARE(harness.passwordRequests, 1);
    QCOMPARE(boxes.count(), 0);
    harness.disconnectSession();
    QVERIFY(harness.waitForIdleAfter());

    harness.passwordAnswer = QStringLiteral("Пароль-2");
    harness.actions.clear();
    harness.connectSession();
    QVERIFY(harness.waitForIdleAfter());
    QVERIFY(boxes.waitForCount(1));
    QCOMPARE(boxes.texts().first(), QStringLiteral("Введен неверный пароль!"));
}

void TestHvncSimulator::screenIn565AndKeysReachTheDevice()
{
    // A device announcing 32 bits per pixel that sends its screen in bands.
    const QString address = QStringLiteral("127.3.4.4");
    SimOptions options = RemoteScreenFixture::deviceOptions(address);
    options.serverBitsPerPixel = 32;
    options.rectsPerUpdate = 7;
    options.screenSize = QSize(640, 400);
    RfbServer device(options);
    QVERIFY2(startDevice(device), qPrintable(device.errorString()));
    RfbSessionHarness harness(address);
    harness.connectSession();
    QVERIFY(harness.waitForAction(HVNC::Exchange));
    QVERIFY(harness.waitFor([&]() { return harness.session->isReady(); }));
    QCOMPARE(harness.session->frameSize(), QSize(640, 400));
    QCOMPARE(device.clientMessages().first().toHex(' '),
             QByteArray("00 00 00 00 10 10 00 01 00 1f 00 3f 00 1f 0b 05 00 00 00 00"));
    QVERIFY(harness.waitFor([&]() { return sameScreen(harness, device.frame()); }));
    device.clearClientMessages();
    harness.session->sendMessage(rfb::keyEvent(true, 0x31), 0);
    harness.session->sendMessage(rfb::keyEvent(false, 0x31), 0);
    QVERIFY(harness.waitFor(
        [&]() { return device.clientMessages().contains(rfb::keyEvent(false, 0x31)); }));
    QList<QByteArray> keys;
    for (const QByteArray& message : device.clientMessages())
        if (message.at(0) == 4)
            keys << message;
    QCOMPARE(keys, (QList<QByteArray>{rfb::keyEvent(true, 0x31), rfb::keyEvent(false, 0x31)}));
    // The device redraws on input; the session follows.
    QVERIFY(harness.waitFor([&]() { return sameScreen(harness, device.frame()); }));
}

QTEST_MAIN(TestHvncSimulator)
#include "tst_hvnc_simulator.moc"
