#include "storedzip.h"

#include <QtEndian>
#include <array>

namespace {
// 1 January 2026, 12:00: DOS date and time, fixed so that equal content gives equal files.
const quint16 kDosTime = 12 << 11;
const quint16 kDosDate = ((2026 - 1980) << 9) | (1 << 5) | 1;
const quint16 kUtf8NameFlag = 0x0800;

void put16(QByteArray& out, quint16 v)
{
    char b[2];
    qToLittleEndian<quint16>(v, b);
    out.append(b, 2);
}

void put32(QByteArray& out, quint32 v)
{
    char b[4];
    qToLittleEndian<quint32>(v, b);
    out.append(b, 4);
}
} // namespace

quint32 StoredZip::crc32(const QByteArray& data)
{
    static const auto table = [] {
        std::array<quint32, 256> t{};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    quint32 crc = 0xFFFFFFFFu;
    for (char byte : data)
        crc = table[(crc ^ static_cast<quint8>(byte)) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

void StoredZip::addFile(const QString& name, const QByteArray& data)
{
    entries.append(Entry{name.toUtf8(), data, crc32(data)});
}

namespace {

void putLocalHeader(QByteArray& out, const QByteArray& name, quint32 crc, quint32 size)
{
    put32(out, 0x04034b50u);
    put16(out, 20);
    put16(out, kUtf8NameFlag);
    put16(out, 0);
    put16(out, kDosTime);
    put16(out, kDosDate);
    put32(out, crc);
    put32(out, size);
    put32(out, size);
    put16(out, static_cast<quint16>(name.size()));
    put16(out, 0);
    out += name;
}

void putDirectoryEntry(QByteArray& directory, const QByteArray& name, quint32 crc, quint32 size,
                       quint32 offset)
{
    put32(directory, 0x02014b50u);
    put16(directory, 20);
    put16(directory, 20);
    put16(directory, kUtf8NameFlag);
    put16(directory, 0);
    put16(directory, kDosTime);
    put16(directory, kDosDate);
    put32(directory, crc);
    put32(directory, size);
    put32(directory, size);
    put16(directory, static_cast<quint16>(name.size()));
    put16(directory, 0);
    put16(directory, 0);
    put16(directory, 0);
    put16(directory, 0);
    put32(directory, 0);
    put32(directory, offset);
    directory += name;
}

void putEnd(QByteArray& out, int entries, const QByteArray& directory, quint32 directoryOffset)
{
    out += directory;
    put32(out, 0x06054b50u);
    put16(out, 0);
    put16(out, 0);
    put16(out, static_cast<quint16>(entries));
    put16(out, static_cast<quint16>(entries));
    put32(out, static_cast<quint32>(directory.size()));
    put32(out, directoryOffset);
    put16(out, 0);
}

} // namespace

QByteArray StoredZip::finish() const
{
    QByteArray out;
    QByteArray directory;
    for (const Entry& e : entries) {
        const quint32 offset = static_cast<quint32>(out.size());
        const quint32 size = static_cast<quint32>(e.data.size());
        putLocalHeader(out, e.name, e.crc, size);
        out += e.data;
        putDirectoryEntry(directory, e.name, e.crc, size, offset);
    }
    putEnd(out, entries.size(), directory, static_cast<quint32>(out.size()));
    return out;
}

QPair<QByteArray, QByteArray> StoredZip::around(const QString& name, quint32 size, quint32 crc)
{
    const QByteArray encoded = name.toUtf8();
    QByteArray head;
    putLocalHeader(head, encoded, crc, size);
    QByteArray directory;
    putDirectoryEntry(directory, encoded, crc, size, 0);
    QByteArray tail;
    putEnd(tail, 1, directory, static_cast<quint32>(head.size()) + size);
    return {head, tail};
}
