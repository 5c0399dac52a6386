// Tests of the simulator's DES and of the VNC Authentication response it expects.
#include "simulator/simdes.h"

#include <QtTest>

class TestSimDes : public QObject
{
    Q_OBJECT
private slots:
    void publishedVectors_data();
    void publishedVectors();
    void vncKeyReadsBitsReversed();
    void vncPasswordRules();
    void challengeHalvesAreIndependent();
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
    QTest::newRow("zero-out") << QByteArray::fromHex("0e329232ea6d0d73")
                              << QByteArray::fromHex("8787878787878787")
                              << QByteArray::fromHex("0000000000000000");
    QTest::newRow("sp500-20 plain bit 1")
        << QByteArray::fromHex("0101010101010101") << QByteArray::fromHex("8000000000000000")
        << QByteArray::fromHex("95f8a5e5dd31d900");
    QTest::newRow("sp500-20 plain bit 64")
        << QByteArray::fromHex("0101010101010101") << QByteArray::fromHex("0000000000000001")
        << QByteArray::fromHex("166b40b44aba4bd6");
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

void TestSimDes::vncKeyReadsBitsReversed()
{
    QCOMPARE(SimDes::reverseBits(0x01), quint8(0x80));
    QCOMPARE(SimDes::reverseBits(0x61), quint8(0x86));
    QCOMPARE(SimDes::reverseBits(0xF0), quint8(0x0F));
    const QByteArray challenge = QByteArray::fromHex("00112233445566778899aabbccddeeff");
    QByteArray reversed;
    for (char c : QByteArray("secret12"))
        reversed.append(static_cast<char>(SimDes::reverseBits(static_cast<quint8>(c))));
    const QByteArray expected = SimDes::encryptBlock(reversed, challenge.left(8)) +
                                SimDes::encryptBlock(reversed, challenge.mid(8));
    QCOMPARE(SimDes::vncResponse(challenge, "secret12").toHex(), expected.toHex());
}

void TestSimDes::vncPasswordRules()
{
    QCOMPARE(SimDes::vncKey(QString()), QByteArray(8, '\0'));
    QCOMPARE(SimDes::vncKey("abc"), QByteArray("abc\0\0\0\0\0", 8));
    QCOMPARE(SimDes::vncKey("abcdefghij"), QByteArray("abcdefgh"));
    const QByteArray challenge(16, '\x5a');
    QCOMPARE(SimDes::vncResponse(challenge, "abcdefgh"),
             SimDes::vncResponse(challenge, "abcdefghXYZ"));
    QVERIFY(SimDes::vncResponse(challenge, "abcdefgh") !=
            SimDes::vncResponse(challenge, "abcdefgi"));
    QCOMPARE(SimDes::vncResponse(challenge, "pw").size(), 16);
}

void TestSimDes::challengeHalvesAreIndependent()
{
    const QByteArray half = QByteArray::fromHex("0f1e2d3c4b5a6978");
    const QByteArray response = SimDes::vncResponse(half + half, "device");
    QCOMPARE(response.left(8), response.mid(8));
    const QByteArray other = SimDes::vncResponse(half + QByteArray(8, '\0'), "device");
    QCOMPARE(other.left(8), response.left(8));
    QVERIFY(other.mid(8) != response.mid(8));
}

QTEST_GUILESS_MAIN(TestSimDes)
#include "tst_simdes.moc"
