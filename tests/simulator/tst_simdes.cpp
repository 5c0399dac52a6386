// Tests of the simulator's DES and of the VNC Authentication response it expects.
#include "simulator/simdes.h"

#include <QtTest>

class TestSimDes : public QObject
{
    Q_OBJECT
private slots:
    void publishedVectors_data();
    void publishedVectors();
    void vncResponse_data();
    void vncResponse();
};

void TestSimDes::publishedVectors_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("cipher");
    // FIPS 81 example ("Now is t"), the classic worked example and NBS SP 500-20 entries.
    QTest::newRow("fips81") << QByteArray::fromHex("0123456789abcdef")
                            << QByteArray::fromHex("4e6f772069732074")
                            << QByteArray::fromHex("3fa40e8a984d4815");
    QTest::newRow("worked") << QByteArray::fromHex("133457799bbcdff1")
                            << QByteArray::fromHex("0123456789abcdef")
                            << QByteArray::fromHex("85e813540f0ab405");
    QTest::newRow("sp500-20 key bit 1")
        << QByteArray::fromHex("8001010101010101") << QByteArray::fromHex("0000000000000000")
        << QByteArray::fromHex("95a8d72813daa94d");
}

void TestSimDes::publishedVectors()
{
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, cipher);
    QCOMPARE(SimDes::encryptBlock(key, plain).toHex(), cipher.toHex());
}

void TestSimDes::vncResponse_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QByteArray>("key"); // the password's first 8 bytes, bits reversed by hand
    QTest::newRow("eight") << "secret12" << QByteArray::fromHex("cea6c64ea62e8c4c");
    QTest::newRow("cut at eight") << "abcdefghij" << QByteArray::fromHex("8646c626a666e616");
    QTest::newRow("zero padded") << "pw" << QByteArray::fromHex("0eee000000000000");
    QTest::newRow("empty") << QString() << QByteArray(8, '\0');
}

void TestSimDes::vncResponse()
{
    QFETCH(QString, password);
    QFETCH(QByteArray, key);
    // Each challenge half is encrypted on its own.
    const QByteArray challenge = QByteArray::fromHex("00112233445566778899aabbccddeeff");
    QCOMPARE(
        SimDes::vncResponse(challenge, password).toHex(),
        (SimDes::encryptBlock(key, challenge.left(8)) + SimDes::encryptBlock(key, challenge.mid(8)))
            .toHex());
}

QTEST_GUILESS_MAIN(TestSimDes)
#include "tst_simdes.moc"
