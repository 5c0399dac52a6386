// Tests of the RFB byte builders: exact client bytes and the pixel format. What the server says is
// read in tst_serverreader.
#include "remote/rfbprotocol.h"

#include <QtTest>

class TestRfbProtocol : public QObject
{
    Q_OBJECT
private slots:
    void clientMessagesHaveTheirExactBytes();
    void pixelFormatIsAlways565();
    void piecesAndWords();
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
    QCOMPARE(rfb::clientInit().toHex(), QByteArray("01"));
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

void TestRfbProtocol::piecesAndWords()
{
    QCOMPARE(rfb::rowsPerPiece(131070, 65536), 1);
    QCOMPARE(rfb::rowsPerPiece(1600, 65536), 40);
    QCOMPARE(rfb::rowsPerPiece(0, 65536), 1);
    QCOMPARE(rfb::readU16(QByteArray::fromHex("ff01")), quint16(0xFF01));
    QCOMPARE(rfb::readU32(QByteArray::fromHex("00fe0a0b0c"), 1), 0xFE0A0B0Cu);
}

QTEST_APPLESS_MAIN(TestRfbProtocol)
#include "tst_rfbprotocol.moc"
