// Tests that the simulator's protocols are real .xlsx packages: ZIP structure, CRCs, XML.
#include "simulator/protocollibrary.h"
#include "simulator/storedzip.h"
#include "simulator/xlsxwriter.h"

#include <QXmlStreamReader>
#include <QtTest>

namespace {

// Little-endian words of the archive; 0 past its end, so a broken archive fails cleanly.
quint32 le32(const QByteArray& b, int at)
{
    return at >= 0 && at + 4 <= b.size()
               ? qFromLittleEndian<quint32>(reinterpret_cast<const uchar*>(b.constData()) + at)
               : 0;
}

quint16 le16(const QByteArray& b, int at)
{
    return at >= 0 && at + 2 <= b.size()
               ? qFromLittleEndian<quint16>(reinterpret_cast<const uchar*>(b.constData()) + at)
               : 0;
}

// Independent bitwise CRC-32 (IEEE 802.3), not the table the writer uses.
quint32 referenceCrc(const QByteArray& data)
{
    quint32 crc = 0xFFFFFFFFu;
    for (char c : data) {
        crc ^= static_cast<quint8>(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// Walks the archive by its end record and central directory and checks every entry
// against its local header; returns name → data, or an empty map with a failure message.
QMap<QString, QByteArray> readZip(const QByteArray& zip, QString* failure)
{
    QMap<QString, QByteArray> entries;
    auto fail = [&](const QString& text) {
        *failure = text;
        return QMap<QString, QByteArray>();
    };
    if (zip.size() < 22)
        return fail("too short");
    const int eocd = zip.size() - 22;
    if (le32(zip, eocd) != 0x06054b50u)
        return fail("no end record");
    const int count = le16(zip, eocd + 10);
    const quint32 dirSize = le32(zip, eocd + 12);
    const quint32 dirOffset = le32(zip, eocd + 16);
    if (dirOffset + dirSize != quint32(eocd))
        return fail("directory does not end at the end record");
    int at = static_cast<int>(dirOffset);
    quint32 expectedLocal = 0;
    for (int i = 0; i < count; ++i) {
        if (le32(zip, at) != 0x02014b50u)
            return fail("bad central header");
        const quint16 method = le16(zip, at + 10);
        const quint32 crc = le32(zip, at + 16);
        const quint32 compressed = le32(zip, at + 20);
        const quint32 plain = le32(zip, at + 24);
        const int nameLength = le16(zip, at + 28);
        const int extra = le16(zip, at + 30) + le16(zip, at + 32);
        const quint32 local = le32(zip, at + 42);
        const QByteArray name = zip.mid(at + 46, nameLength);
        if (method != 0 || compressed != plain)
            return fail("entry not stored: " + QString::fromUtf8(name));
        if (local != expectedLocal)
            return fail("entries not contiguous");
        if (le32(zip, int(local)) != 0x04034b50u || le32(zip, int(local) + 14) != crc ||
            le32(zip, int(local) + 22) != plain || zip.mid(int(local) + 30, nameLength) != name)
            return fail("local header disagrees: " + QString::fromUtf8(name));
        const int dataAt = int(local) + 30 + nameLength + le16(zip, int(local) + 28);
        const QByteArray data = zip.mid(dataAt, int(plain));
        if (referenceCrc(data) != crc)
            return fail("CRC mismatch: " + QString::fromUtf8(name));
        entries.insert(QString::fromUtf8(name), data);
        expectedLocal = quint32(dataAt) + plain;
        at += 46 + nameLength + extra;
    }
    if (expectedLocal != dirOffset)
        return fail("gap before the directory");
    return entries;
}

bool wellFormed(const QByteArray& xml)
{
    QXmlStreamReader reader(xml);
    while (!reader.atEnd())
        reader.readNext();
    return !reader.hasError();
}

// Text of every inline string and numeric value of the sheet, in order.
QStringList cellTexts(const QByteArray& sheet)
{
    QStringList texts;
    QXmlStreamReader reader(sheet);
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement &&
            (reader.name() == QLatin1String("t") || reader.name() == QLatin1String("v")))
            texts.append(reader.readElementText());
    }
    return texts;
}

} // namespace

class TestSimXlsx : public QObject
{
    Q_OBJECT
private slots:
    void crc32CheckValue();
    void builtInProtocolsArePackages();
    void escapingAndGaps();
};

void TestSimXlsx::crc32CheckValue()
{
    QCOMPARE(referenceCrc("123456789"), 0xCBF43926u);
    QCOMPARE(StoredZip::crc32("123456789"), 0xCBF43926u);
}

void TestSimXlsx::builtInProtocolsArePackages()
{
    ProtocolLibrary library{QString()};
    QVERIFY2(library.isValid(), qPrintable(library.errorString()));
    QCOMPARE(library.fileNames().size(), ProtocolLibrary::builtInNames().size());
    QString failure;
    for (const QString& name : library.fileNames()) {
        QFile file(library.filePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QMap<QString, QByteArray> entries = readZip(file.readAll(), &failure);
        QVERIFY2(!entries.isEmpty(), qPrintable(name + ": " + failure));
        for (const char* part :
             {"[Content_Types].xml", "_rels/.rels", "xl/workbook.xml", "xl/_rels/workbook.xml.rels",
              "xl/worksheets/sheet1.xml", "xl/styles.xml"})
            QVERIFY2(wellFormed(entries.value(QLatin1String(part))),
                     qPrintable(name + ": " + part));
        QVERIFY(entries.value("[Content_Types].xml").contains("/xl/worksheets/sheet1.xml"));
        QVERIFY(entries.value("_rels/.rels").contains("Target=\"xl/workbook.xml\""));
        QVERIFY(entries.value("xl/_rels/workbook.xml.rels").contains("worksheets/sheet1.xml"));
    }

    const QByteArray xlsx = ProtocolLibrary::makeProtocol(418, QDate(2026, 12, 2),
                                                          QStringLiteral("Петрова А. С."), false);
    const QStringList texts = cellTexts(readZip(xlsx, &failure).value("xl/worksheets/sheet1.xml"));
    for (const QString& text :
         {QStringLiteral("Протокол измерений № 0418"), QStringLiteral("Петрова А. С."),
          QStringLiteral("02.12.2026"), QStringLiteral("Нижний предел")})
        QVERIFY2(texts.contains(text), qPrintable(text));
    QCOMPARE(texts.count(QStringLiteral("Годен")) + texts.count(QStringLiteral("Не годен")), 24);
    // The check above would catch a corrupted byte of content.
    QByteArray broken = xlsx;
    broken[broken.indexOf("sheetData")] = 'X';
    QVERIFY(readZip(broken, &failure).isEmpty());
    QVERIFY(failure.startsWith("CRC mismatch"));
}

void TestSimXlsx::escapingAndGaps()
{
    // Bijective base 26: no column "A@" or "Z0" between Z and AA.
    QCOMPARE(XlsxWriter::columnName(26), QStringLiteral("AA"));
    QCOMPARE(XlsxWriter::columnName(701), QStringLiteral("ZZ"));
    XlsxWriter writer;
    writer.addRow({QStringLiteral("a<b>&\"c\x01"), 1.5, QVariant(), 7});
    QString failure;
    const QByteArray sheet = readZip(writer.toXlsx(), &failure).value("xl/worksheets/sheet1.xml");
    QVERIFY2(wellFormed(sheet), qPrintable(failure));
    QCOMPARE(cellTexts(sheet), (QStringList{"a<b>&\"c", "1.5", "7"}));
    QVERIFY(sheet.contains("r=\"D1\""));
    QVERIFY(!sheet.contains("r=\"C1\""));
}

QTEST_MAIN(TestSimXlsx)
#include "tst_simxlsx.moc"
