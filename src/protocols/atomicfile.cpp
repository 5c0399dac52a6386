#include "protocols/atomicfile.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QRandomGenerator>
#include <QSet>

#ifndef Q_OS_UNIX
#error "AtomicFile keeps owner, group and mode through POSIX calls"
#endif

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef Q_OS_LINUX
#include <sys/xattr.h>
#endif

namespace {

const char leftoverPrefix[] = ".solmir3-";
const char leftoverSuffix[] = ".part";
const int leftoverDigits = 8;
// A save that is still running writes its file at least every silence time-out: one untouched
// this long belongs to no running save, not even one of another workstation sharing the folder.
const qint64 staleLeftoverSeconds = 15 * 60;
const qint64 copyPiece = 1024 * 1024;

bool isLeftoverName(const QString& name)
{
    const int prefix = int(sizeof leftoverPrefix) - 1;
    const int suffix = int(sizeof leftoverSuffix) - 1;
    if (name.size() != prefix + leftoverDigits + suffix ||
        !name.startsWith(QLatin1String(leftoverPrefix)) ||
        !name.endsWith(QLatin1String(leftoverSuffix)))
        return false;
    for (int i = prefix; i < prefix + leftoverDigits; ++i) {
        const QChar c = name.at(i);
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

bool writeAll(int fd, const char* p, qint64 left)
{
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
bool linkUnnamed(int fd, const QByteArray& path)
{
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    return ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, path.constData(), AT_SYMLINK_FOLLOW) == 0;
}
#endif

} // namespace

AtomicFile::AtomicFile(const QString& target) : folder(target) {}

AtomicFile::~AtomicFile()
{
    discard();
}

bool AtomicFile::open()
{
    discard();
    error.clear();
    // No folder chosen: not the file system root, which folder + "/" would name.
    if (folder.isEmpty()) {
        error = QStringLiteral("no folder chosen");
        return false;
    }
    if (!QDir(folder).exists())
        QDir(folder).mkpath(QStringLiteral("."));
    clearStaleLeftovers(folder);
    const QByteArray native = QFile::encodeName(folder);
#ifdef O_TMPFILE
    // An unnamed file leaves nothing behind whatever happens; it is named through /proc.
    if (::access("/proc/self/fd", X_OK) == 0) {
        fd = ::open(native.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
        unnamed = fd >= 0;
        if (unnamed)
            return true;
    }
#endif
    if (fd < 0) {
        for (int attempt = 0; attempt < 16; ++attempt) {
            tempName = hiddenName(native);
            fd = ::open(tempName.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0 || errno != EEXIST)
                break;
        }
        if (fd >= 0)
            return true;
        tempName.clear();
    }
    if (errno != EACCES && errno != EPERM) {
        error = qt_error_string(errno);
        return false;
    }
    // A folder the operator may not add files to still lets an existing protocol be updated in
    // place: the body waits in the system's temporary folder, unnamed.
    QByteArray spare = QFile::encodeName(QDir::tempPath()) + "/solmir3-XXXXXX";
    fd = ::mkostemp(spare.data(), O_CLOEXEC);
    if (fd < 0) {
        error = qt_error_string(errno);
        return false;
    }
    ::unlink(spare.constData());
    elsewhere = true;
    return true;
}

bool AtomicFile::write(const char* data, qint64 size)
{
    if (fd < 0)
        return false;
    if (!writeAll(fd, data, size)) {
        error = qt_error_string(errno);
        return false;
    }
    written += size;
    return true;
}

QByteArray AtomicFile::read(qint64 pos, qint64 size) const
{
    QByteArray bytes;
    if (fd < 0 || pos < 0 || pos >= written)
        return bytes;
    bytes.resize(int(qMin(size, written - pos)));
    qint64 got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + got, size_t(bytes.size() - got), pos + got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += n;
    }
    bytes.truncate(int(got));
    return bytes;
}

bool AtomicFile::copyInPlace(const QByteArray& target) const
{
    const int out = ::open(target.constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (out < 0)
        return false;
    bool ok = true;
    for (qint64 pos = 0; ok && pos < written; pos += copyPiece) {
        const QByteArray piece = read(pos, copyPiece);
        ok = !piece.isEmpty() && writeAll(out, piece.constData(), piece.size());
    }
    return ::close(out) == 0 && ok;
}

bool AtomicFile::linkInPlaceOf(const QByteArray& target, bool exists)
{
#ifdef O_TMPFILE
    if (unnamed) {
        if (!exists) {
            if (linkUnnamed(fd, target))
                return true;
            // Someone else's file appeared meanwhile: replaced like any existing one.
            if (errno != EEXIST)
                return false;
        }
        // No call replaces a file by an unnamed one: a hidden name for the instant of the rename.
        const QByteArray native = QFile::encodeName(folder);
        for (int attempt = 0; attempt < 16 && tempName.isEmpty(); ++attempt) {
            const QByteArray name = hiddenName(native);
            if (linkUnnamed(fd, name))
                tempName = name;
            else if (errno != EEXIST)
                return false;
        }
        if (tempName.isEmpty())
            return false;
    }
#endif
    // Closed first: a file system that reports a failed write only at the close keeps the old copy.
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0)
        return false;
    if (::rename(tempName.constData(), target.constData()) == 0) {
        tempName.clear();
        return true;
    }
    // A sticky folder refuses to replace another account's file; a direct write may still do.
    if (!exists || (errno != EPERM && errno != EACCES))
        return false;
    fd = ::open(tempName.constData(), O_RDONLY | O_CLOEXEC);
    return fd >= 0 && copyInPlace(target);
}

bool AtomicFile::commit(const QString& name)
{
    if (fd < 0)
        return false;
    const QByteArray target = QFile::encodeName(folder + QLatin1Char('/') + name);
    struct stat existing = {};
    const bool exists = ::stat(target.constData(), &existing) == 0;
    struct stat entry = {};
    bool ok = false;
    const bool readOnly =
        exists && ::faccessat(AT_FDCWD, target.constData(), W_OK, AT_EACCESS) != 0;
    if (readOnly)
        ok = false; // a protocol the operator made read-only stays as it is
    else if (exists &&
             ((::lstat(target.constData(), &entry) == 0 && S_ISLNK(entry.st_mode)) ||
              existing.st_nlink > 1 || !S_ISREG(existing.st_mode) || hasAccessList(target)))
        ok = copyInPlace(target); // a link is written through, as the operator set it up
    else if (elsewhere || (exists && !takeOver(fd, existing)))
        ok = exists && copyInPlace(target);
    else
        ok = linkInPlaceOf(target, exists);
    const int code = errno;
    if (!ok)
        error = readOnly               ? QStringLiteral("the protocol there is read-only")
                : elsewhere && !exists ? QStringLiteral("the folder takes no new files")
                                       : qt_error_string(code);
    discard();
    return ok;
}

void AtomicFile::discard()
{
    if (fd >= 0)
        ::close(fd);
    if (!tempName.isEmpty())
        ::unlink(tempName.constData());
    fd = -1;
    tempName.clear();
    unnamed = false;
    elsewhere = false;
    written = 0;
}
