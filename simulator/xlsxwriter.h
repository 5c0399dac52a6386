// XlsxWriter: writes a one-sheet .xlsx workbook (OOXML in a stored ZIP) of text and numbers.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

class XlsxWriter
{
public:
    explicit XlsxWriter(const QString& sheetName = QStringLiteral("Протокол"));
    // Strings become inline strings, numbers numeric cells; a null QVariant leaves a gap.
    void addRow(const QVariantList& cells, bool bold = false);
    void setColumnWidths(const QList<double>& widths);
    QByteArray toXlsx() const;
    bool save(const QString& path) const;

    static QString columnName(int index); // 0 → "A", 26 → "AA"
    static QString escapeXml(const QString& text);

private:
    QByteArray sheetXml() const;

    struct Row
    {
        QVariantList cells;
        bool bold = false;
    };
    QString sheet;
    QList<Row> rows;
    QList<double> widths;
};
