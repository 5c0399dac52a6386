#include "protocols/protocolstore.h"

#include "protocols/atomicfile.h"
#include "protocols/protocolspool.h"
#include "protocols/transferguard.h"
#include "shell/logging.h"
#include "shell/messagehandler.h"

#include <QDir>
#include <QNetworkReply>
#include <QStandardPaths>
#include <QUrl>

#include <memory>

namespace {

quint64 little(const QByteArray& bytes, int pos, int width)
{
    quint64 value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = value << 8 | uchar(bytes.at(pos + i));
    return value;
}

const QByteArray localHeader("PK\x03\x04", 4);
const QByteArray centralHeader("PK\x01\x02", 4);
const QByteArray endRecord("PK\x05\x06", 4);
const QByteArray zip64Record("PK\x06\x06", 4);
const qint64 endRecordSize = 22;
const qint64 zip64LocatorSize = 20;

// Whether the end record at `at` names a central directory that ends right where the end record
// (or the ZIP64 record before it) begins and starts with a central file header.
bool directoryFits(const std::function<QByteArray(qint64, qint64)>& read, qint64 at,
                   const QByteArray& record)
{
    quint64 size = little(record, 12, 4);
    quint64 offset = little(record, 16, 4);
    quint64 directoryEnd = quint64(at);
    const QByteArray locator =
        at >= zip64LocatorSize ? read(at - zip64LocatorSize, zip64LocatorSize) : QByteArray();
    if (locator.size() == zip64LocatorSize && locator.startsWith(QByteArray("PK\x06\x07", 4))) {
        // ZIP64: the record the locator points at ends where the locator begins.
        const quint64 recordAt = little(locator, 8, 8);
        const QByteArray large = recordAt < quint64(at) ? read(qint64(recordAt), 56) : QByteArray();
        if (large.size() != 56 || !large.startsWith(zip64Record) ||
            recordAt + 12 + little(large, 4, 8) != quint64(at - zip64LocatorSize))
            return false;
        size = little(large, 40, 8);
        offset = little(large, 48, 8);
        directoryEnd = recordAt;
    } else if (size == 0xffffffffu || offset == 0xffffffffu) {
        return false; // a ZIP64 archive without its records
    }
    return offset <= directoryEnd && size == directoryEnd - offset &&
           read(qint64(offset), 4) == centralHeader;
}

} // namespace

namespace ProtocolStore {

QString folderPath(const QString& text)
{
    if (text.isEmpty())
        return QString();
    const QString home = QStandardPaths::writableLocation(QStandardPaths::HomeLocation);
    if (text == QLatin1String("~"))
        return QDir::cleanPath(home);
    if (text.startsWith(QLatin1String("~/")))
        return QDir::cleanPath(home + text.mid(1));
    if (QDir::isRelativePath(text))
        return QDir::cleanPath(home + QLatin1Char('/') + text);
    return QDir::cleanPath(text);
}

bool protocolName(const QUrl& url, QString* name)
{
    // The last segment of the decoded path: a "%2F" in the link counts as a separator, so the
    // name never holds one.
    const QString decoded = url.fileName(QUrl::FullyDecoded);
    if (name)
        *name = decoded;
    // No leading dot: the listing comes over plain HTTP, and whoever answers for the device
    // must not write the operator's .profile. That also rules out "." and "..".
    if (decoded.startsWith(QLatin1Char('.')) ||
        !decoded.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive))
        return false;
    // A NUL would cut the name short on its way to the file system; a line break or an escape
    // has no place in a file name the operator reads.
    return oneLine(decoded) == decoded;
}

bool requestableName(const QUrl& url, QString* name)
{
    QString local;
    const bool plain = protocolName(url, &local);
    if (name)
        *name = local;
    if (plain)
        return true;
    qCWarning(lcProtocols,
              "protocol name \"%s\" refused, nothing requested: only a name ending in .xlsx, "
              "without a leading dot or a control character, is fetched",
              qUtf8Printable(shownName(local)));
    return false;
}

QString shownName(const QString& name)
{
    return oneLine(name);
}

bool isWholeProtocol(const std::function<QByteArray(qint64, qint64)>& read, qint64 size)
{
    if (size < endRecordSize || read(0, 4) != localHeader)
        return false;
    // The end record ends with a comment of at most 65,535 bytes, whose length it states: it
    // stands exactly that far from the end. A signature inside a comment is tried as well.
    const qint64 tailAt = qMax<qint64>(0, size - endRecordSize - 0xFFFF);
    const QByteArray tail = read(tailAt, size - tailAt);
    if (tail.size() != size - tailAt)
        return false;
    for (int p = tail.lastIndexOf(endRecord, int(tail.size() - endRecordSize)); p >= 0;
         p = p > 0 ? tail.lastIndexOf(endRecord, p - 1) : -1) {
        const QByteArray record = tail.mid(p, int(endRecordSize));
        if (tailAt + p + endRecordSize + qint64(little(record, 20, 2)) == size &&
            directoryFits(read, tailAt + p, record))
            return true;
    }
    return false;
}

bool isWholeProtocol(const QByteArray& body)
{
    return isWholeProtocol([&body](qint64 pos, qint64 n) { return body.mid(int(pos), int(n)); },
                           body.size());
}

bool save(const QString& folder, const QString& name, const QByteArray& data)
{
    AtomicFile file(folder);
    return file.open() && file.write(data.constData(), data.size()) && file.commit(name);
}

QNetworkReply* fetch(QNetworkAccessManager* manager, const QUrl& url, const QString& folderText)
{
    // The file first: a folder that cannot take it costs no transfer.
    const QString folder = folderPath(folderText);
    auto file = std::make_unique<AtomicFile>(folder);
    if (!file->open()) {
        qCWarning(lcProtocols, "protocol %s not requested: folder \"%s\" cannot take it: %s",
                  qUtf8Printable(url.toDisplayString()), qUtf8Printable(folder),
                  qUtf8Printable(file->errorString()));
        MessageHandler::showCritical(QStringLiteral("Ошибка сохранения протокола %1!")
                                         .arg(shownName(url.fileName(QUrl::FullyDecoded))));
        return nullptr;
    }
    QNetworkReply* reply = TransferGuard::get(manager, url, TransferGuard::defaultMaxSize);
    new ProtocolSpool(reply, folder, std::move(file));
    return reply;
}

Outcome saveReply(QNetworkReply* reply, const QString& folderText, QString* name, QString* path)
{
    ProtocolSpool* spool = ProtocolSpool::of(reply);
    if (!spool)
        return Outcome::LoadFailed;
    QString local;
    protocolName(reply->url(), &local);
    if (name)
        *name = local;
    AtomicFile* file = spool->spooled();
    const auto readSpooled = [&file](qint64 pos, qint64 n) { return file->read(pos, n); };
    const QString url = reply->url().toDisplayString();
    bool written = spool->drain();
    QString refused = written ? TransferGuard::refusal(reply, file->size()) : QString();
    if (written && refused.isEmpty() && !isWholeProtocol(readSpooled, file->size()))
        refused = QStringLiteral("%1 bytes that are no whole ZIP file").arg(file->size());
    if (!refused.isEmpty()) {
        qCWarning(lcProtocols, "protocol %s refused after %lld ms: %s", qUtf8Printable(url),
                  TransferGuard::elapsedMs(reply), qUtf8Printable(refused));
        file->discard();
        return Outcome::LoadFailed;
    }
    // The folder is read afresh for every file: an edit made while this one was on its way
    // applies to it, at the cost of one copy.
    const QString folder = folderPath(folderText);
    AtomicFile moved(folder);
    if (written && folder != spool->folder()) {
        written = moved.open();
        for (qint64 pos = 0; written && pos < file->size(); pos += ProtocolSpool::readBufferSize) {
            const QByteArray piece = file->read(pos, ProtocolSpool::readBufferSize);
            written = !piece.isEmpty() && moved.write(piece.constData(), piece.size());
        }
        file->discard();
        file = &moved;
    }
    const qint64 size = file->size();
    if (!written || !file->commit(local)) {
        qCWarning(lcProtocols, "protocol %s: saving it in \"%s\" failed: %s", qUtf8Printable(url),
                  qUtf8Printable(folder), qUtf8Printable(file->errorString()));
        file->discard();
        MessageHandler::showCritical(
            QStringLiteral("Ошибка сохранения протокола %1!").arg(shownName(local)));
        return Outcome::SaveFailed;
    }
    qCInfo(lcProtocols, "protocol %s: status 200, %lld bytes in %lld ms, saved as %s",
           qUtf8Printable(url), size, TransferGuard::elapsedMs(reply),
           qUtf8Printable(folder + QLatin1Char('/') + local));
    if (path)
        *path = folder + QLatin1Char('/') + local;
    return Outcome::Saved;
}

} // namespace ProtocolStore
