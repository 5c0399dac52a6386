#include "protocols/protocolfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QUrl>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

QString protocolListingUrlText(const QString& address)
{
    return QStringLiteral("http://") + address + QStringLiteral("/protocols");
}

QString protocolFileUrlText(const QString& address, const QString& name)
{
    return protocolListingUrlText(address) + QLatin1Char('/') + name;
}

QString protocolLinkStart()
{
    return QStringLiteral(".xlsx\">");
}

QString protocolLinkEnd()
{
    return QStringLiteral("</a>");
}

QString protocolListingText(const QByteArray& body)
{
    const int nul = body.indexOf('\0');
    return QString::fromUtf8(body.constData(), nul < 0 ? body.size() : nul);
}

QStringList scanProtocolListing(const QString& text)
{
    static const QString start = protocolLinkStart();
    static const QString end = protocolLinkEnd();
    QStringList names;
    int from = 1;
    // The first end marker after a start stays valid for every later start before it, which
    // keeps pages with many unterminated links linear instead of quadratic.
    int endPos = -1;
    for (;;) {
        const int p = text.indexOf(start, from, Qt::CaseSensitive);
        if (p < 0)
            break;
        if (endPos < p + 1) {
            endPos = text.indexOf(end, p + 1, Qt::CaseSensitive);
            if (endPos < 0)
                break; // no later start can have an end either
        }
        from = p + 1;
        names.append(text.mid(p + start.size(), endPos - p - start.size()));
    }
    return names;
}

bool safeProtocolFileName(const QUrl& url, QString* name)
{
    // The last segment of the decoded path: a "%2F" in the link counts as a separator, so the
    // name never holds one.
    const QString decoded = url.fileName(QUrl::FullyDecoded);
    if (name)
        *name = decoded;
    // A NUL would cut the name short on its way to the file system.
    return !decoded.isEmpty() && decoded != QLatin1String(".") && decoded != QLatin1String("..") &&
           !decoded.contains(QChar::Null);
}

namespace {

bool overwriteInPlace(const QString& target, const QByteArray& data)
{
    QFile file(target);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const bool written = file.write(data) == data.size();
    file.close();
    return written && file.error() == QFileDevice::NoError;
}

} // namespace

bool saveProtocolFile(const QString& folder, const QString& name, const QByteArray& data)
{
    // No folder chosen: not the file system root, which folder + "/" would name.
    if (folder.isEmpty())
        return false;
    if (!QDir(folder).exists())
        QDir(folder).mkpath(QStringLiteral("."));
    const QString target = folder + QLatin1Char('/') + name;
#ifdef Q_OS_UNIX
    const QByteArray nativeTarget = QFile::encodeName(target);
    struct stat existing = {};
    const bool exists = ::stat(nativeTarget.constData(), &existing) == 0;
    if (exists) {
        // A protocol the operator made read-only stays as it is.
        if (::access(nativeTarget.constData(), W_OK) != 0)
            return false;
        // A link is written through, as the operator set it up, not replaced by a plain file.
        if (QFileInfo(target).isSymLink() || existing.st_nlink > 1 || !S_ISREG(existing.st_mode))
            return overwriteInPlace(target, data);
    }
    // Written beside the target under a short hidden name, then renamed over it: a failed or
    // interrupted write never leaves a truncated protocol and never touches the copy that was
    // there. Unlike QSaveFile it does not sync every file to disk, which cost twice the transfer
    // itself in a batch; a replacing rename is ordered after its data by the file system.
    QFile temp;
    for (int attempt = 0; attempt < 16 && !temp.isOpen(); ++attempt) {
        temp.setFileName(folder +
                         QStringLiteral("/.solmir3-%1.part")
                             .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
        // Only a name clash is worth another attempt.
        if (!temp.open(QIODevice::WriteOnly | QIODevice::NewOnly) && !temp.exists())
            break;
    }
    if (!temp.isOpen()) {
        // A folder the operator may not add files to still lets an existing protocol be updated;
        // any other failure (a full disk) keeps the old copy rather than truncating it.
        return exists && !QFileInfo(folder).isWritable() && overwriteInPlace(target, data);
    }
    // A new protocol gets what the umask gives, as a directly written file would.
    if (exists)
        temp.setPermissions(QFileInfo(target).permissions());
    const bool written = temp.write(data) == data.size() && temp.flush();
    temp.close();
    if (!written || temp.error() != QFileDevice::NoError ||
        std::rename(QFile::encodeName(temp.fileName()).constData(), nativeTarget.constData()) !=
            0) {
        temp.remove();
        return false;
    }
    return true;
#else
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // An uncommitted QSaveFile discards its temporary file and leaves the old copy in place.
    if (file.write(data) != data.size())
        return false;
    return file.commit();
#endif
}
