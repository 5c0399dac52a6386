// The server reader and the client's handshake over bytes in memory: every layout, limit and
// resynchronisation of what the device says, without a socket.
#include "memorysource.h"
#include "recordinghandler.h"
#include "rfbfakeserver.h"

#include "remote/clienthandshake.h"
#include "remote/serverreader.h"
#include "remote/vnccipher.h"

#include <QImage>
#include <QtTest>

#include <algorithm>
#include <vector>

namespace {

const QByteArray version("RFB 003.008\n");
const QByteArray challenge = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f");
const QByteArray emptyUpdate = QByteArray::fromHex("00000000");
constexpr quint16 guard = 0x5A5A;

QByteArray serverInitBytes(int width, int height, quint32 nameLength, const QByteArray& name)
{
    QByteArray bytes;
    rfb::appendU16(bytes, quint16(width));
    rfb::appendU16(bytes, quint16(height));
    // 32 bits per pixel, depth 24, little-endian, true colour, 255 each, shifts 16 8 0.
    bytes += QByteArray::fromHex("20180001"
                                 "00ff00ff00ff"
                                 "100800"
                                 "000000");
    rfb::appendU32(bytes, nameLength);
    return bytes + name;
}

quint16 pixelValue(int index)
{
    return quint16(0xA000 | (index & 0xFFF));
}

// Reads messages until the bytes end or the stream is lost: U an update, O another message, L lost.
QByteArray readAll(MemorySource& source, QImage& image)
{
    ServerReader reader(source);
    RecordingHandler handler(&image);
    QByteArray results;
    while (!source.atEnd() && !results.endsWith('L'))
        results += handler.read(reader);
    return results;
}

} // namespace

class TestServerReader : public QObject
{
    Q_OBJECT
private slots:
    void handshake_data();
    void handshake();
    void serverInit_data();
    void serverInit();
    void messages_data();
    void messages();
    void lateTailOfAnUnknownMessageIsDrained();
    void rectangles_data();
    void rectangles();
};

void TestServerReader::handshake_data()
{
    QTest::addColumn<QByteArray>("said");
    // A null password: the operator cancels.
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QByteArray>("written");
    const int connected = int(ClientHandshake::Outcome::Connected);
    const int failed = int(ClientHandshake::Outcome::Failed);
    const int refused = int(ClientHandshake::Outcome::Refused);
    const QByteArray ok = QByteArray::fromHex("00000000");
    const QByteArray none = version + QByteArray::fromHex("01");
    const QByteArray vnc = version + QByteArray::fromHex("02") +
                           vncResponse(challenge, QStringLiteral("pw")) + QByteArray(1, 1);
    const QString pw = QStringLiteral("pw");
    QTest::newRow("None") << version + QByteArray::fromHex("0101") + ok << QString() << connected
                          << none + QByteArray(1, 1);
    QTest::newRow("None offered after VNC") << version + QByteArray::fromHex("020201") + ok
                                            << QString() << connected << none + QByteArray(1, 1);
    QTest::newRow("VNC among others")
        << version + QByteArray::fromHex("0412130210") + challenge + ok << pw << connected << vnc;
    QTest::newRow("password cancelled")
        << version + QByteArray::fromHex("0102") + challenge + ok << QString() << failed << version;
    QTest::newRow("only other types")
        << version + QByteArray::fromHex("021213") << pw << failed << version;
    QTest::newRow("no types") << version + QByteArray::fromHex("00") << pw << failed << version;
    QTest::newRow("3.7") << QByteArray("RFB 003.007\n0101") << pw << failed << QByteArray();
    QTest::newRow("3.3") << QByteArray("RFB 003.003\n0101") << pw << failed << QByteArray();
    QTest::newRow("lower case") << QByteArray("rfb 003.008\n") << pw << failed << QByteArray();
    QTest::newRow("cut at zero") << QByteArray("RFB 003.008\0", 12) << pw << failed << QByteArray();
    QTest::newRow("version cut short") << QByteArray("RFB 003") << pw << failed << QByteArray();
    QTest::newRow("refused") << version + QByteArray::fromHex("010100000001") << pw << refused
                             << none;
    // The whole word counts, not its low byte.
    QTest::newRow("refused, low byte zero")
        << version + QByteArray::fromHex("010100000100") << pw << refused << none;
    QTest::newRow("refused, high byte")
        << version + QByteArray::fromHex("010101000000") << pw << refused << none;
    QTest::newRow("result cut short")
        << version + QByteArray::fromHex("0101000000") << pw << failed << none;
    QTest::newRow("challenge cut short")
        << version + QByteArray::fromHex("0102") + challenge.left(9) << pw << failed
        << version + QByteArray::fromHex("02");
}

void TestServerReader::handshake()
{
    QFETCH(QByteArray, said);
    QFETCH(QString, password);
    QFETCH(int, outcome);
    QFETCH(QByteArray, written);
    MemorySource source(said);
    ServerReader reader(source);
    QByteArray sent;
    ClientHandshake steps(
        reader,
        [&sent](const QByteArray& bytes) {
            sent += bytes;
            return true;
        },
        [&password](QString* text) {
            *text = password;
            return !password.isNull();
        });
    QCOMPARE(int(steps.run()), outcome);
    QCOMPARE(sent.toHex(' '), written.toHex(' '));
}

void TestServerReader::serverInit_data()
{
    QTest::addColumn<QByteArray>("said");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("800x480") << serverInitBytes(800, 480, 4, "name") << true;
    QTest::newRow("empty name") << serverInitBytes(32, 16, 0, "") << true;
    QTest::newRow("exactly 4096x4096") << serverInitBytes(4096, 4096, 0, "") << true;
    QTest::newRow("8192x2048") << serverInitBytes(8192, 2048, 0, "") << true;
    // Within the side limit, over the pixel limit.
    QTest::newRow("8192x2049") << serverInitBytes(8192, 2049, 0, "") << false;
    QTest::newRow("4097x4096") << serverInitBytes(4097, 4096, 0, "") << false;
    QTest::newRow("very wide") << serverInitBytes(8193, 2, 0, "") << false;
    QTest::newRow("very tall") << serverInitBytes(2, 8193, 0, "") << false;
    QTest::newRow("65535 square") << serverInitBytes(65535, 65535, 0, "") << false;
    QTest::newRow("zero width") << serverInitBytes(0, 480, 0, "") << false;
    QTest::newRow("zero height") << serverInitBytes(800, 0, 0, "") << false;
    QTest::newRow("name cut short") << serverInitBytes(32, 16, 0xFFFFFFF0u, "huge") << false;
    QTest::newRow("header cut short") << serverInitBytes(32, 16, 0, "").left(23) << false;
}

void TestServerReader::serverInit()
{
    QFETCH(QByteArray, said);
    QFETCH(bool, accepted);
    // What follows ServerInit must be read as the next message, not as part of it.
    const QByteArray stream = accepted ? said + emptyUpdate : said;
    MemorySource source(stream);
    ServerReader reader(source);
    ClientHandshake steps(reader, nullptr, nullptr);
    rfb::ServerInit init;
    QCOMPARE(steps.readServerInit(&init), accepted);
    if (!accepted)
        return;
    QCOMPARE(QSize(init.width, init.height), QSize(rfb::readU16(said, 0), rfb::readU16(said, 2)));
    const rfb::PixelFormat& f = init.format;
    QCOMPARE((QList<int>{f.bitsPerPixel, f.depth, f.bigEndian, f.trueColour, f.redMax, f.greenMax,
                         f.blueMax, f.redShift, f.greenShift, f.blueShift}),
             (QList<int>{32, 24, 0, 1, 255, 255, 255, 16, 8, 0}));
    QImage image(4, 4, QImage::Format_RGB16);
    QCOMPARE(RecordingHandler(&image).read(reader), 'U');
}

void TestServerReader::messages_data()
{
    QTest::addColumn<QByteArray>("said");
    QTest::addColumn<QByteArray>("results");
    const QByteArray huge =
        RfbFakeServer::update({RfbFakeServer::rectangleHeader(0, 0, 65535, 65535, 0)});
    QTest::newRow("no rectangles") << emptyUpdate << QByteArray("U");
    QTest::newRow("bell") << QByteArray::fromHex("02") + emptyUpdate << QByteArray("OU");
    QTest::newRow("cut text") << QByteArray::fromHex("0300000000000005") + "hello" + emptyUpdate
                              << QByteArray("OU");
    QTest::newRow("empty cut text")
        << QByteArray::fromHex("0300000000000000") + emptyUpdate << QByteArray("OU");
    QTest::newRow("colour map") << QByteArray::fromHex(
                                       "01 00 0000 0002 ffff0000ffff 000000000000") +
                                       emptyUpdate
                                << QByteArray("OU");
    QTest::newRow("unknown type") << QByteArray::fromHex("4d01020304") << QByteArray("O");
    QTest::newRow("CopyRect") << RfbFakeServer::update(
                                     {RfbFakeServer::rectangleHeader(0, 0, 4, 4, 1)})
                              << QByteArray("L");
    QTest::newRow("rectangle header cut short")
        << RfbFakeServer::update({RfbFakeServer::rectangleHeader(0, 0, 4, 4, 0)}).left(10)
        << QByteArray("L");
    QTest::newRow("huge rectangle") << huge + QByteArray(256 * 1024, '\x5a') << QByteArray("L");
    QTest::newRow("huge cut text")
        << QByteArray::fromHex("03000000fffffff0") + QByteArray(256 * 1024, 'x') << QByteArray("L");
    QTest::newRow("huge colour map") << QByteArray::fromHex("01000000ffff") << QByteArray("L");
    QTest::newRow("count cut short") << QByteArray::fromHex("0000") << QByteArray("L");
}

void TestServerReader::messages()
{
    QFETCH(QByteArray, said);
    QFETCH(QByteArray, results);
    MemorySource source(said);
    QImage image(32, 16, QImage::Format_RGB16);
    QCOMPARE(readAll(source, image), results);
}

void TestServerReader::lateTailOfAnUnknownMessageIsDrained()
{
    const QByteArray head = QByteArray::fromHex("4d0102");
    MemorySource source(head);
    // The tail alone would read as a cut text; the update comes after the drain.
    source.arriveAfter(300, QByteArray::fromHex("030405"));
    source.arriveAfter(1300, emptyUpdate);
    QImage image(8, 4, QImage::Format_RGB16);
    QCOMPARE(readAll(source, image), QByteArray("OU"));
}

void TestServerReader::rectangles_data()
{
    QTest::addColumn<QSize>("imageSize");
    QTest::addColumn<QRect>("rect");
    const QSize small(8, 4);
    QTest::newRow("inside") << small << QRect(1, 1, 3, 2);
    QTest::newRow("whole image") << small << QRect(0, 0, 8, 4);
    QTest::newRow("last row is the image's last") << small << QRect(0, 2, 8, 2);
    QTest::newRow("past the bottom") << small << QRect(2, 3, 4, 3);
    QTest::newRow("past the right edge") << small << QRect(6, 2, 4, 3);
    QTest::newRow("x wraps in 16 bits") << small << QRect(65535, 0, 2, 1);
    QTest::newRow("y wraps in 16 bits") << small << QRect(0, 65535, 2, 1);
    QTest::newRow("no width") << small << QRect(5, 1, 0, 7);
    QTest::newRow("no height") << small << QRect(5, 1, 7, 0);
    // Several pieces of rows, the last one short, ending on the image's last row.
    QTest::newRow("in pieces") << QSize(100, 1000) << QRect(0, 0, 100, 1000);
}

void TestServerReader::rectangles()
{
    QFETCH(QSize, imageSize);
    QFETCH(QRect, rect);
    const int w = imageSize.width();
    const int h = imageSize.height();
    // One guard row after the image's own rows.
    std::vector<quint16> memory(size_t(w) * (h + 1), guard);
    QImage image(reinterpret_cast<uchar*>(memory.data()), w, h, w * 2, QImage::Format_RGB16);
    std::vector<quint16> expected = memory;
    QByteArray pixels;
    for (int i = 0; i < rect.width() * rect.height(); ++i) {
        pixels.append(char(pixelValue(i) & 0xFF));
        pixels.append(char(pixelValue(i) >> 8));
        const int x = rect.x() + i % rect.width();
        const int y = rect.y() + i / rect.width();
        if (x < w && y < h)
            expected[size_t(y) * w + x] = pixelValue(i);
    }
    const QByteArray said = RfbFakeServer::update(
        {RfbFakeServer::rawRectangle(rect.x(), rect.y(), rect.width(), rect.height(), pixels)});
    MemorySource source(said);
    QCOMPARE(readAll(source, image), QByteArray("U"));
    // The first pixel that differs, or the end of the guard row.
    const auto wrong = std::mismatch(memory.begin(), memory.end(), expected.begin()).first;
    QCOMPARE(QPoint(int(wrong - memory.begin()) % w, int(wrong - memory.begin()) / w),
             QPoint(0, h + 1));
}

QTEST_APPLESS_MAIN(TestServerReader)
#include "tst_serverreader.moc"
