#include "xlsxwriter.h"

#include "storedzip.h"

#include <QSaveFile>

namespace {
const char kContentTypes[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
    "<Default Extension=\"rels\" "
    "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
    "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
    "<Override PartName=\"/xl/workbook.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
    "<Override PartName=\"/xl/worksheets/sheet1.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
    "<Override PartName=\"/xl/styles.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>"
    "</Types>";
const char kRootRels[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
    "Target=\"xl/workbook.xml\"/>"
    "</Relationships>";
const char kWorkbookRels[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
    "Target=\"worksheets/sheet1.xml\"/>"
    "<Relationship Id=\"rId2\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" "
    "Target=\"styles.xml\"/>"
    "</Relationships>";
const char kStyles[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
    "<fonts count=\"2\"><font><sz val=\"11\"/><name val=\"Calibri\"/></font>"
    "<font><b/><sz val=\"11\"/><name val=\"Calibri\"/></font></fonts>"
    "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
    "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
    "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
    "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" "
    "borderId=\"0\"/></cellStyleXfs>"
    "<cellXfs count=\"2\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>"
    "<xf numFmtId=\"0\" fontId=\"1\" fillId=\"0\" borderId=\"0\" xfId=\"0\" "
    "applyFont=\"1\"/></cellXfs>"
    "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>"
    "</styleSheet>";
} // namespace

XlsxWriter::XlsxWriter(const QString& sheetName) : sheet(sheetName) {}

void XlsxWriter::addRow(const QVariantList& cells, bool bold)
{
    rows.append(Row{cells, bold});
}

void XlsxWriter::setColumnWidths(const QList<double>& columnWidths)
{
    widths = columnWidths;
}

QString XlsxWriter::columnName(int index)
{
    QString name;
    for (int n = index + 1; n > 0; n = (n - 1) / 26)
        name.prepend(QChar('A' + (n - 1) % 26));
    return name;
}

QString XlsxWriter::escapeXml(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c == '&')
            out += QLatin1String("&amp;");
        else if (c == '<')
            out += QLatin1String("&lt;");
        else if (c == '>')
            out += QLatin1String("&gt;");
        else if (c == '"')
            out += QLatin1String("&quot;");
        else if (c.unicode() >= 0x20 || c == '\t' || c == '\n')
            out += c;
    }
    return out;
}

QByteArray XlsxWriter::sheetXml() const
{
    QString xml = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">");
    if (!widths.isEmpty()) {
        xml += QStringLiteral("<cols>");
        for (int i = 0; i < widths.size(); ++i)
            xml += QStringLiteral("<col min=\"%1\" max=\"%1\" width=\"%2\" customWidth=\"1\"/>")
                       .arg(i + 1)
                       .arg(widths.at(i));
        xml += QStringLiteral("</cols>");
    }
    xml += QStringLiteral("<sheetData>");
    for (int r = 0; r < rows.size(); ++r) {
        const Row& row = rows.at(r);
        xml += QStringLiteral("<row r=\"%1\">").arg(r + 1);
        for (int c = 0; c < row.cells.size(); ++c) {
            const QVariant& v = row.cells.at(c);
            if (v.isNull())
                continue;
            const QString ref = columnName(c) + QString::number(r + 1);
            const QString style = row.bold ? QStringLiteral(" s=\"1\"") : QString();
            const int type = v.userType();
            if (type == QMetaType::Int || type == QMetaType::Double ||
                type == QMetaType::LongLong || type == QMetaType::UInt) {
                xml += QStringLiteral("<c r=\"%1\"%2><v>%3</v></c>")
                           .arg(ref, style, QString::number(v.toDouble(), 'g', 15));
            } else {
                xml += QStringLiteral("<c r=\"%1\"%2 t=\"inlineStr\"><is><t xml:space=\"preserve\">"
                                      "%3</t></is></c>")
                           .arg(ref, style, escapeXml(v.toString()));
            }
        }
        xml += QStringLiteral("</row>");
    }
    xml += QStringLiteral("</sheetData></worksheet>");
    return xml.toUtf8();
}

QByteArray XlsxWriter::toXlsx() const
{
    const QString workbook =
        QStringLiteral(
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
            "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
            "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
            "<sheets><sheet name=\"%1\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>")
            .arg(escapeXml(sheet.left(31)));
    StoredZip zip;
    zip.addFile(QStringLiteral("[Content_Types].xml"), kContentTypes);
    zip.addFile(QStringLiteral("_rels/.rels"), kRootRels);
    zip.addFile(QStringLiteral("xl/workbook.xml"), workbook.toUtf8());
    zip.addFile(QStringLiteral("xl/_rels/workbook.xml.rels"), kWorkbookRels);
    zip.addFile(QStringLiteral("xl/styles.xml"), kStyles);
    zip.addFile(QStringLiteral("xl/worksheets/sheet1.xml"), sheetXml());
    return zip.finish();
}

bool XlsxWriter::save(const QString& path) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = toXlsx();
    if (file.write(bytes) != bytes.size())
        return false;
    return file.commit();
}
