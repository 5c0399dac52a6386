// StoredZip: a ZIP archive of uncompressed (stored) entries, enough for an OOXML package.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class StoredZip
{
public:
    void addFile(const QString& name, const QByteArray& data);
    // The whole archive: local headers with data, central directory, end record.
    QByteArray finish() const;
    static quint32 crc32(const QByteArray& data);

private:
    struct Entry
    {
        QByteArray name;
        QByteArray data;
        quint32 crc = 0;
    };
    QList<Entry> entries;
};
