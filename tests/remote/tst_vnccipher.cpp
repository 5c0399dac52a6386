// Tests of the VNC Authentication cipher against published DES vectors and bytes computed
// elsewhere.
#include "remote/vnccipher.h"

#include <QtTest>

namespace {

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

QByteArray reverseEachByte(const QByteArray& bytes)
{
    QByteArray out = bytes;
    for (char& c : out) {
        uchar value = uchar(c);
        uchar reversed = 0;
        for (int i = 0; i < 8; ++i) {
            reversed = uchar((reversed << 1) | (value & 1));
            value >>= 1;
        }
        c = char(reversed);
    }
    return out;
}

const QByteArray challenge = QByteArrayLiteral("0123456789abcdef");

} // namespace

class TestVncCipher : public QObject
{
    Q_OBJECT
private slots:
    void desMatchesPublishedVectors_data();
    void desMatchesPublishedVectors();
    void keyFromPassword_data();
    void keyFromPassword();
    void responseMatchesIndependentlyComputedBytes_data();
    void responseMatchesIndependentlyComputedBytes();
};

void TestVncCipher::desMatchesPublishedVectors_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("cipher");
    // FIPS 81 ECB example, the NBS/SP 800-17 variable-text and variable-key tables, and the
    // classic worked examples.
    QTest::newRow("fips81") << hex("0123456789abcdef") << hex("4e6f772069732074")
                            << hex("3fa40e8a984d4815");
    QTest::newRow("textbook") << hex("133457799bbcdff1") << hex("0123456789abcdef")
                              << hex("85e813540f0ab405");
    QTest::newRow("variable text 1")
        << hex("0101010101010101") << hex("8000000000000000") << hex("95f8a5e5dd31d900");
    QTest::newRow("variable text 64")
        << hex("0101010101010101") << hex("0000000000000001") << hex("166b40b44aba4bd6");
    QTest::newRow("variable key 1")
        << hex("8001010101010101") << hex("0000000000000000") << hex("95a8d72813daa94d");
    QTest::newRow("zero cipher") << hex("0e329232ea6d0d73") << hex("8787878787878787")
                                 << hex("0000000000000000");
}

void TestVncCipher::desMatchesPublishedVectors()
{
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, cipher);
    QCOMPARE(vnccipher::desEncryptBlock(key, plain).toHex(), cipher.toHex());
    // VNC reads each key byte bit-reversed: handing it the reversed key gives standard DES.
    QCOMPARE(vnccipher::vncEncryptBlock(reverseEachByte(key), plain).toHex(), cipher.toHex());
}

void TestVncCipher::keyFromPassword_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QByteArray>("key");
    QTest::newRow("empty") << QString() << hex("0000000000000000");
    QTest::newRow("short") << QStringLiteral("abc") << hex("6162630000000000");
    QTest::newRow("exactly eight") << QStringLiteral("password") << hex("70617373776f7264");
    QTest::newRow("longer than eight") << QStringLiteral("password12") << hex("70617373776f7264");
    QTest::newRow("cyrillic") << QStringLiteral("пароль12") << hex("3f3f3f3f3f3f3132");
    QTest::newRow("lone latin-1 letter") << QStringLiteral("ab\u00e9cd") << hex("6162006364000000");
    QTest::newRow("nul ends the key")
        << QString::fromUtf16(u"ab\u0000cd", 5) << hex("6162000000000000");
}

void TestVncCipher::keyFromPassword()
{
    QFETCH(QString, password);
    QFETCH(QByteArray, key);
    QCOMPARE(vnccipher::keyFromPassword(password).toHex(), key.toHex());
}

void TestVncCipher::responseMatchesIndependentlyComputedBytes_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QByteArray>("response");
    // Computed with a separate DES implementation (OpenSSL) under the bit-reversed key.
    QTest::newRow("empty") << QString() << hex("a068dbeab73d140b56541eb3c7625177");
    QTest::newRow("longer than eight")
        << QStringLiteral("password12") << hex("5645abeb5f1e6475e8feb11beb66ea19");
    QTest::newRow("cyrillic") << QStringLiteral("пароль12")
                              << hex("e80436ac45989277bc4338ab12ce3fd2");
    QTest::newRow("lone latin-1 letter")
        << QStringLiteral("ab\u00e9cd") << hex("7082f44daf53fb8feeb55b826ae5a707");
    QTest::newRow("nul ends the key")
        << QString::fromUtf16(u"ab\u0000cd", 5) << hex("f24772be3e8f2386fa58ca1e9a704f82");
}

void TestVncCipher::responseMatchesIndependentlyComputedBytes()
{
    QFETCH(QString, password);
    QFETCH(QByteArray, response);
    QCOMPARE(vncResponse(challenge, password).toHex(), response.toHex());
}

QTEST_APPLESS_MAIN(TestVncCipher)
#include "tst_vnccipher.moc"
