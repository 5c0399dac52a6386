// Tests of the RFB byte builders and readers: exact client bytes, ServerInit fields, clipping.
#include "remote/rfbprotocol.h"

#include <QImage>
#include <QtTest>

class TestRfbProtocol : public QObject
{
    Q_OBJECT
private slots:
    void clientMessagesHaveTheirExactBytes();
    void pixelFormatIsAlways565();
    void versionCheck_data();
    void versionCheck();
    void securityTypeChoice_data();
    void securityTypeChoice();
    void serverInitFieldsAreBigEndian();
    void rectangleHeaderAndLengthsNeverOverflow();
    void rowsAreStoredAtTheirPositionAndClipped();
    void rectanglesBeyond16BitsAreSkipped();
};

void TestRfbProtocol::clientMessagesHaveTheirExactBytes()
{
    QCOMPARE(rfb::framebufferUpdateRequest(800, 480).toHex(' '),
             QByteArray("03 00 00 00 00 00 03 20 01 e0"));
    QCOMPARE(rfb::keyEvent(true, 0x61).toHex(' '), QByteArray("04 01 00 00 00 00 00 61"));
    QCOMPARE(rfb::keyEvent(false, 0x61).toHex(' '), QByteArray("04 00 00 00 00 00 00 61"));
    QCOMPARE(rfb::keyEvent(true, 0xFFFFFFFFu).toHex(' '), QByteArray("04 01 00 00 ff ff ff ff"));
    QCOMPARE(rfb::pointerEvent(1, 100, 50).toHex(' '), QByteArray("05 01 00 64 00 32"));
    QCOMPARE(rfb::pointerEvent(8, 0, 0).toHex(' '), QByteArray("05 08 00 00 00 00"));
    QCOMPARE(rfb::pointerEvent(16, -5, 70000).toHex(' '), QByteArray("05 10 ff fb 11 70"));
    QCOMPARE(rfb::protocolVersion(), QByteArray("RFB 003.008\n"));
}

void TestRfbProtocol::pixelFormatIsAlways565()
{
    QCOMPARE(rfb::setPixelFormat(rfb::rgb565()).toHex(' '),
             QByteArray("00 00 00 00 10 10 00 01 00 1f 00 3f 00 1f 0b 05 00 00 00 00"));
    rfb::PixelFormat odd = rfb::rgb565();
    odd.trueColour = 7;
    odd.bigEndian = 3;
    const QByteArray bytes = rfb::setPixelFormat(odd);
    QCOMPARE(int(bytes.at(6)), 1);
    QCOMPARE(int(bytes.at(7)), 1);
}

void TestRfbProtocol::versionCheck_data()
{
    QTest::addColumn<QByteArray>("announced");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("3.8") << QByteArray("RFB 003.008\n") << true;
    QTest::newRow("3.7") << QByteArray("RFB 003.007\n") << false;
    QTest::newRow("3.3") << QByteArray("RFB 003.003\n") << false;
    QTest::newRow("lower case") << QByteArray("rfb 003.008\n") << false;
    QTest::newRow("cut at zero") << QByteArray("RFB 003.008\n", 12).replace(11, 1, "\0", 1)
                                 << false;
    QTest::newRow("zeros") << QByteArray(12, '\0') << false;
}

void TestRfbProtocol::versionCheck()
{
    QFETCH(QByteArray, announced);
    QFETCH(bool, accepted);
    QCOMPARE(rfb::isSupportedVersion(announced), accepted);
}

void TestRfbProtocol::securityTypeChoice_data()
{
    QTest::addColumn<QByteArray>("offered");
    QTest::addColumn<int>("chosen");
    QTest::newRow("none") << QByteArray::fromHex("01") << int(rfb::SecurityNone);
    QTest::newRow("vnc") << QByteArray::fromHex("02") << int(rfb::SecurityVncAuth);
    QTest::newRow("both, vnc first") << QByteArray::fromHex("0201") << int(rfb::SecurityNone);
    QTest::newRow("others and vnc") << QByteArray::fromHex("12130210") << int(rfb::SecurityVncAuth);
    QTest::newRow("only others") << QByteArray::fromHex("1213") << int(rfb::SecurityInvalid);
    QTest::newRow("nothing") << QByteArray() << int(rfb::SecurityInvalid);
}

void TestRfbProtocol::securityTypeChoice()
{
    QFETCH(QByteArray, offered);
    QFETCH(int, chosen);
    QCOMPARE(int(rfb::chooseSecurityType(offered)), chosen);
}

void TestRfbProtocol::serverInitFieldsAreBigEndian()
{
    const QByteArray header = QByteArray::fromHex("0320"
                                                  "01e0"
                                                  "20180001"
                                                  "00ff00ff00ff"
                                                  "100800"
                                                  "000000"
                                                  "fffffff0");
    const rfb::ServerInit init = rfb::parseServerInit(header);
    QCOMPARE(init.width, 800);
    QCOMPARE(init.height, 480);
    const rfb::PixelFormat& f = init.format;
    QCOMPARE((QList<int>{f.bitsPerPixel, f.depth, f.bigEndian, f.trueColour, f.redMax, f.greenMax,
                         f.blueMax, f.redShift, f.greenShift, f.blueShift}),
             (QList<int>{32, 24, 0, 1, 255, 255, 255, 16, 8, 0}));
    QCOMPARE(init.nameLength, 0xFFFFFFF0u);
    // A short header reads as an empty screen instead of past its end.
    QCOMPARE(rfb::parseServerInit(header.left(10)).width, 0);
    QCOMPARE(rfb::readU16(QByteArray::fromHex("ff01")), quint16(0xFF01));
    QCOMPARE(rfb::readU32(QByteArray::fromHex("00fe0a0b0c"), 1), 0xFE0A0B0Cu);
}

void TestRfbProtocol::rectangleHeaderAndLengthsNeverOverflow()
{
    const rfb::Rectangle rect = rfb::parseRectangle(QByteArray::fromHex("ffff"
                                                                        "fffe"
                                                                        "ffff"
                                                                        "ffff"
                                                                        "ffffffff"));
    QCOMPARE((QList<int>{rect.x, rect.y, rect.width, rect.height, rect.encoding}),
             (QList<int>{65535, 65534, 65535, 65535, -1}));
    QCOMPARE(rfb::rawDataLength(rect, 2), qint64(65535) * 65535 * 2);
    QCOMPARE(rfb::rowsPerPiece(131070, 65536), 1);
    QCOMPARE(rfb::rowsPerPiece(1600, 65536), 40);
    QCOMPARE(rfb::rowsPerPiece(0, 65536), 1);
}

void TestRfbProtocol::rowsAreStoredAtTheirPositionAndClipped()
{
    QImage image(8, 4, QImage::Format_RGB16);
    image.fill(Qt::black);
    // A 4x3 rectangle at (6, 2): only columns 6..7 of rows 2..3 are inside.
    rfb::Rectangle rect;
    rect.x = 6;
    rect.y = 2;
    rect.width = 4;
    rect.height = 3;
    QByteArray data;
    for (int i = 0; i < 12; ++i) {
        data.append(char(i + 1));
        data.append(char(0xA0));
    }
    rfb::storeRows(image, rect, 0, 3, data.constData());
    const auto pixel = [&image](int x, int y) {
        return reinterpret_cast<const quint16*>(image.constScanLine(y))[x];
    };
    QCOMPARE(pixel(6, 2), quint16(0xA001));
    QCOMPARE(pixel(7, 2), quint16(0xA002));
    QCOMPARE(pixel(6, 3), quint16(0xA005));
    QCOMPARE(pixel(7, 3), quint16(0xA006));
    QCOMPARE(pixel(5, 2), quint16(0));
    QCOMPARE(pixel(7, 1), quint16(0));
    // A later piece of the same rectangle lands on its own rows.
    rect.x = 0;
    rect.y = 0;
    rect.width = 2;
    rect.height = 2;
    rfb::storeRows(image, rect, 1, 1, QByteArray::fromHex("3412cdab").constData());
    QCOMPARE(pixel(0, 1), quint16(0x1234));
    QCOMPARE(pixel(1, 1), quint16(0xABCD));
    QCOMPARE(pixel(0, 0), quint16(0));
}

void TestRfbProtocol::rectanglesBeyond16BitsAreSkipped()
{
    QImage image(4, 4, QImage::Format_RGB16);
    image.fill(Qt::black);
    const QImage before = image;
    rfb::Rectangle rect;
    rect.x = 65535;
    rect.y = 0;
    rect.width = 2;
    rect.height = 1;
    // x + width wraps to 1 in 16 bits; nothing may land at column 0.
    rfb::storeRows(image, rect, 0, 1, QByteArray(4, '\x55').constData());
    rect.x = 0;
    rect.y = 65535;
    rfb::storeRows(image, rect, 0, 1, QByteArray(4, '\x55').constData());
    QCOMPARE(image, before);
}

QTEST_APPLESS_MAIN(TestRfbProtocol)
#include "tst_rfbprotocol.moc"
