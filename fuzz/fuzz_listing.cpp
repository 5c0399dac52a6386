// fuzz_listing: arbitrary bytes as the device's "/protocols" page, through the body-to-text
// conversion and the link scan, and arbitrary names and URLs through the protocol-name rule,
// and as a protocol body through the whole-ZIP check.
#include "protocols/protocollisting.h"
#include "protocols/protocolstore.h"

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

const QString folder = QStringLiteral("/protocols-folder");

void require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// What the found names must satisfy, whatever the scan does to find them: each stands between
// the markers on the page, holds no end marker, and every start marker after the first character
// that has an end marker somewhere after it gives exactly one name.
void checkScan(const QString& text, const QStringList& names)
{
    const QString start = ProtocolListing::linkStart();
    const QString end = ProtocolListing::linkEnd();
    for (const QString& name : names) {
        require(!name.contains(end), "a name ends at the first end marker");
        require(text.contains(start + name + end), "a name stands between the markers");
    }
    const int lastEnd = text.lastIndexOf(end);
    int linked = 0;
    for (int p = text.indexOf(start, 1); p >= 0 && p < lastEnd; p = text.indexOf(start, p + 1))
        ++linked;
    require(names.size() == linked, "one name for each start marker with an end after it");
}

void checkLocalName(const QUrl& url)
{
    QString name;
    if (!ProtocolStore::protocolName(url, &name))
        return;
    require(!name.startsWith(QLatin1Char('.')) &&
                name.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive),
            "an accepted name is a visible protocol's");
    require(!name.contains(QLatin1Char('/')), "no separator");
    require(!name.contains(QChar::Null), "no NUL");
    for (const QChar c : name)
        require(c.unicode() >= 0x20 && c.unicode() != 0x7f, "no control character");
    const QString path = QDir::cleanPath(folder + QLatin1Char('/') + name);
    require(path.startsWith(folder + QLatin1Char('/')) &&
                path.lastIndexOf(QLatin1Char('/')) == folder.size(),
            "the file lies directly in the folder");
}

// As the downloaders take a listed name: its URL text, parsed tolerantly.
QUrl fileUrl(const QString& name)
{
    return QUrl(ProtocolListing::fileUrlText(QStringLiteral("127.7.0.1"), name),
                QUrl::TolerantMode);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char*>(data), int(size));
    const QString text = ProtocolListing::text(body);
    const QString whole = QString::fromUtf8(body);
    require(!text.contains(QChar::Null), "the text stops short of a NUL");
    require(whole.startsWith(text), "the text is the start of the body");
    require(body.contains('\0') || text == whole, "a body without NUL is all text");

    const QStringList names = ProtocolListing::scan(text);
    checkScan(text, names);
    // A page of repeated start markers yields hundreds of overlapping names; a few of them
    // exercise the name rule as well as all, at a fraction of the cost per input.
    for (int i = 0; i < names.size() && i < 8; ++i)
        checkLocalName(fileUrl(names.at(i)));

    checkLocalName(fileUrl(text));
    checkLocalName(QUrl(text, QUrl::TolerantMode));
    checkLocalName(QUrl(QString::fromLatin1(body), QUrl::TolerantMode));
    // A body from the device is also checked as a protocol: whatever its end record claims.
    if (ProtocolStore::isWholeProtocol(body))
        require(body.startsWith(QByteArray("PK\x03\x04", 4)), "a whole protocol is a ZIP");
    return 0;
}
