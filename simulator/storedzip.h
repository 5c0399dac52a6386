// StoredZip: a ZIP archive of uncompressed (stored) entries, enough for an OOXML package.
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

class StoredZip
{
public:
    void addFile(const QString& name, const QByteArray& data);
    // The whole archive: local headers with data, central directory, end record.
    QByteArray finish() const;
    static quint32 crc32(const QByteArray& data);
    // An archive of one entry of `size` bytes that the caller sends itself, never held whole:
    // what stands before its data, and what after.
    static QPair<QByteArray, QByteArray> around(const QString& name, quint32 size, quint32 crc);

private:
    struct Entry
    {
        QByteArray name;
        QByteArray data;
        quint32 crc = 0;
    };
    QList<Entry> entries;
};
