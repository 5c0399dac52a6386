#include "protocols/protocolfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QUrl>
#include <cstdio>

QString protocolListingText(const QByteArray& body)
{
    const int nul = body.indexOf('\0');
    return QString::fromUtf8(body.constData(), nul < 0 ? body.size() : nul);
}

QStringList scanProtocolListing(const QString& text)
{
    static const QString start = QStringLiteral(".xlsx\">");
    static const QString end = QStringLiteral("</a>");
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
    // Cut the segment while the path is still encoded, so "%2F" cannot hide a separator.
    const QString encoded = url.path(QUrl::FullyEncoded);
    const QString segment = encoded.mid(encoded.lastIndexOf(QLatin1Char('/')) + 1);
    const QString decoded = QUrl::fromPercentEncoding(segment.toUtf8());
    if (name)
        *name = decoded;
    if (decoded.isEmpty() || decoded == QLatin1String(".") || decoded == QLatin1String(".."))
        return false;
    for (const QChar ch : decoded) {
        if (ch == QLatin1Char('/') || ch == QLatin1Char('\\') || ch.unicode() < 0x20 ||
            ch.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

bool saveProtocolFile(const QString& folder, const QString& name, const QByteArray& data)
{
    if (!QDir(folder).exists())
        QDir(folder).mkpath(QStringLiteral("."));
    const QString target = folder + QLatin1Char('/') + name;
#ifdef Q_OS_UNIX
    // Written beside the target under a short hidden name, then renamed over it: a failed or
    // interrupted write never leaves a truncated protocol and never touches the copy that was
    // there. Unlike QSaveFile it does not sync every file to disk, which cost twice the transfer
    // itself in a batch; a replacing rename is ordered after its data by the file system.
    QFile temp;
    for (int attempt = 0; attempt < 16 && !temp.isOpen(); ++attempt) {
        temp.setFileName(folder +
                         QStringLiteral("/.solmir3-%1.part")
                             .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
        if (!temp.open(QIODevice::WriteOnly | QIODevice::NewOnly) && !QDir(folder).exists())
            return false;
    }
    if (!temp.isOpen())
        return false;
    const QFileInfo existing(target);
    if (existing.exists())
        temp.setPermissions(existing.permissions());
    const bool written = temp.write(data) == data.size() && temp.flush();
    temp.close();
    if (!written || temp.error() != QFileDevice::NoError ||
        std::rename(QFile::encodeName(temp.fileName()).constData(),
                    QFile::encodeName(target).constData()) != 0) {
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
