#include "protocols/protocolfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QSet>
#include <QUrl>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/xattr.h>
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

#ifdef Q_OS_UNIX

const char leftoverPrefix[] = ".solmir3-";
const char leftoverSuffix[] = ".part";
const int leftoverDigits = 8;
// A save writes its temporary file in one go: one untouched this long belongs to no running save,
// not even one of another workstation sharing the folder.
const qint64 staleLeftoverSeconds = 15 * 60;

bool isLeftoverName(const QString& name)
{
    const int prefix = int(sizeof leftoverPrefix) - 1;
    const int suffix = int(sizeof leftoverSuffix) - 1;
    if (name.size() != prefix + leftoverDigits + suffix ||
        !name.startsWith(QLatin1String(leftoverPrefix)) ||
        !name.endsWith(QLatin1String(leftoverSuffix)))
        return false;
    for (const QChar c : QStringView(name).mid(prefix, leftoverDigits)) {
        if (!(c >= QLatin1Char('0') && c <= QLatin1Char('9')) &&
            !(c >= QLatin1Char('a') && c <= QLatin1Char('f')))
            return false;
    }
    return true;
}

QByteArray hiddenName(const QByteArray& folder)
{
    return folder + '/' + leftoverPrefix +
           QByteArray::number(QRandomGenerator::global()->generate(), 16)
               .rightJustified(leftoverDigits, '0') +
           leftoverSuffix;
}

// Removes the named temporary files that an interrupted save of this program (this account's)
// left in the folder. Once per folder and run: the scan costs a pass over the whole folder.
void clearStaleLeftovers(const QString& folder)
{
    static QMutex mutex;
    static QSet<QString> cleared;
    {
        QMutexLocker lock(&mutex);
        if (cleared.contains(folder))
            return;
        cleared.insert(folder);
    }
    const QStringList names = QDir(folder).entryList(
        {QLatin1String(leftoverPrefix) + QLatin1Char('*') + QLatin1String(leftoverSuffix)},
        QDir::Files | QDir::Hidden | QDir::System);
    const time_t now = ::time(nullptr);
    for (const QString& name : names) {
        if (!isLeftoverName(name))
            continue;
        const QByteArray path = QFile::encodeName(folder + QLatin1Char('/') + name);
        struct stat st = {};
        if (::lstat(path.constData(), &st) == 0 && S_ISREG(st.st_mode) &&
            st.st_uid == ::geteuid() && now - st.st_mtime > staleLeftoverSeconds)
            ::unlink(path.constData());
    }
}

bool writeAll(int fd, const QByteArray& data)
{
    const char* p = data.constData();
    qint64 left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

// The replacement takes over the protocol's owner, group and mode; false where the account may
// not give them (another owner, a group it is not in).
bool takeOver(int fd, const struct stat& existing)
{
    struct stat made = {};
    if (::fstat(fd, &made) != 0)
        return false;
    if ((made.st_uid != existing.st_uid || made.st_gid != existing.st_gid) &&
        ::fchown(fd, existing.st_uid, existing.st_gid) != 0)
        return false;
    const mode_t mode = existing.st_mode & 07777;
    if (::fchmod(fd, mode) != 0 || ::fstat(fd, &made) != 0)
        return false;
    return made.st_uid == existing.st_uid && made.st_gid == existing.st_gid &&
           (made.st_mode & 07777) == mode;
}

// An access list would not come along with a replacement.
bool hasAccessList(const QByteArray& path)
{
#ifdef Q_OS_LINUX
    return ::getxattr(path.constData(), "system.posix_acl_access", nullptr, 0) > 0;
#else
    Q_UNUSED(path);
    return false;
#endif
}

#ifdef O_TMPFILE
// Gives the unnamed file a name; through /proc where it is mounted, else by the descriptor,
// which needs a privilege.
bool linkUnnamed(int fd, const QByteArray& path)
{
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, path.constData(), AT_SYMLINK_FOLLOW) == 0)
        return true;
    if (errno != ENOENT)
        return false;
    return ::linkat(fd, "", AT_FDCWD, path.constData(), AT_EMPTY_PATH) == 0;
}
#endif

enum class Outcome
{
    Saved,
    Failed,
    InPlace,
    NoUnnamedFiles
};

// Writes data to a temporary file in the folder and puts it in place of target in one step, so a
// failed or interrupted write never leaves a truncated protocol nor touches the copy that was
// there. The unnamed kind leaves nothing behind whatever happens; the named one may, after a
// crash. No sync per file: it cost twice the transfer itself in a batch, and a replacing rename
// is ordered after its data by the file system.
Outcome replaceAtomically(const QByteArray& folder, const QByteArray& target,
                          const struct stat* existing, const QByteArray& data, bool unnamed)
{
    int fd = -1;
    QByteArray tempName;
    if (unnamed) {
#ifdef O_TMPFILE
        fd = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR))
            return Outcome::NoUnnamedFiles;
#else
        return Outcome::NoUnnamedFiles;
#endif
    } else {
        for (int attempt = 0; attempt < 16; ++attempt) {
            tempName = hiddenName(folder);
            fd = ::open(tempName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0 || errno != EEXIST)
                break;
        }
    }
    if (fd < 0) {
        // A folder the operator may not add files to still lets an existing protocol be
        // updated; any other failure (a full disk) keeps the old copy rather than truncating it.
        return errno == EACCES || errno == EPERM ? Outcome::InPlace : Outcome::Failed;
    }
    const auto discard = [&](Outcome outcome) {
        ::close(fd);
        if (!tempName.isEmpty())
            ::unlink(tempName.constData());
        return outcome;
    };
    if (!writeAll(fd, data))
        return discard(Outcome::Failed);
    // A new protocol gets what the umask gives, as a directly written file does.
    if (existing && !takeOver(fd, *existing))
        return discard(Outcome::InPlace);
#ifdef O_TMPFILE
    if (unnamed) {
        if (!existing) {
            if (linkUnnamed(fd, target)) {
                ::close(fd);
                return Outcome::Saved;
            }
            // Someone else's file appeared meanwhile: replaced like any existing one.
            if (errno != EEXIST)
                return discard(Outcome::NoUnnamedFiles);
        }
        // No call replaces a file by an unnamed one: a hidden name for the instant of the rename.
        for (int attempt = 0; attempt < 16 && tempName.isEmpty(); ++attempt) {
            const QByteArray name = hiddenName(folder);
            if (linkUnnamed(fd, name))
                tempName = name;
            else if (errno != EEXIST)
                return discard(Outcome::NoUnnamedFiles);
        }
        if (tempName.isEmpty())
            return discard(Outcome::Failed);
    }
#endif
    const int closed = ::close(fd);
    if (closed != 0) {
        ::unlink(tempName.constData());
        return Outcome::Failed;
    }
    if (::rename(tempName.constData(), target.constData()) != 0) {
        // A sticky folder refuses to replace another account's file; a direct open may still
        // write it.
        const int error = errno;
        ::unlink(tempName.constData());
        return error == EPERM || error == EACCES ? Outcome::InPlace : Outcome::Failed;
    }
    return Outcome::Saved;
}

#endif // Q_OS_UNIX

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
        if (::faccessat(AT_FDCWD, nativeTarget.constData(), W_OK, AT_EACCESS) != 0)
            return false;
        // A link is written through, as the operator set it up, not replaced by a plain file.
        if (QFileInfo(target).isSymLink() || existing.st_nlink > 1 || !S_ISREG(existing.st_mode) ||
            hasAccessList(nativeTarget))
            return overwriteInPlace(target, data);
    }
    clearStaleLeftovers(folder);
    const QByteArray nativeFolder = QFile::encodeName(folder);
    for (const bool unnamed : {true, false}) {
        switch (replaceAtomically(nativeFolder, nativeTarget, exists ? &existing : nullptr, data,
                                  unnamed)) {
        case Outcome::Saved:
            return true;
        case Outcome::Failed:
            return false;
        case Outcome::InPlace:
            return exists && overwriteInPlace(target, data);
        case Outcome::NoUnnamedFiles:
            break;
        }
    }
    return false;
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
