// fuzz_listing: arbitrary bytes as the device's "/protocols" page, through the body-to-text
// conversion and the link scan, and arbitrary names and URLs through the local file-name rule.
#include "protocols/protocolfiles.h"

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

const QString startMarker = QStringLiteral(".xlsx\">");
const QString endMarker = QStringLiteral("</a>");
const QString folder = QStringLiteral("/protocols-folder");

void require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// The scan exactly as the device's page format defines it, searched afresh for every start
// marker: slow, but obviously right, so the fast scan can be held against it.
QStringList referenceScan(const QString& text)
{
    QStringList names;
    int from = 1;
    for (;;) {
        const int p = text.indexOf(startMarker, from);
        if (p < 0)
            break;
        const int q = text.indexOf(endMarker, p + 1);
        from = p + 1;
        if (q >= 0)
            names.append(text.mid(p + startMarker.size(), q - p - startMarker.size()));
    }
    return names;
}

void checkLocalName(const QUrl& url)
{
    QString name;
    if (!safeProtocolFileName(url, &name))
        return;
    require(!name.isEmpty() && name != QLatin1String(".") && name != QLatin1String(".."),
            "an accepted name names a file");
    require(!name.contains(QLatin1Char('/')), "no separator");
    require(!name.contains(QChar::Null), "no NUL");
    const QString path = QDir::cleanPath(folder + QLatin1Char('/') + name);
    require(path.startsWith(folder + QLatin1Char('/')) &&
                path.lastIndexOf(QLatin1Char('/')) == folder.size(),
            "the file lies directly in the folder");
}

// How the protocols tab and the batch downloader turn a listed name into a URL.
QUrl fileUrl(const QString& name)
{
    return QUrl(QStringLiteral("http://127.7.0.1/protocols/") + name, QUrl::TolerantMode);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char*>(data), int(size));
    const QString text = protocolListingText(body);
    const int nul = body.indexOf('\0');
    require(text == QString::fromUtf8(body.left(nul < 0 ? body.size() : nul)),
            "the text is the body up to the first NUL");

    const QStringList names = scanProtocolListing(text);
    require(names == referenceScan(text), "the scan finds what the page format defines");
    // A page of repeated start markers yields hundreds of overlapping names; a few of them
    // exercise the name rule as well as all, at a fraction of the cost per input.
    for (int i = 0; i < names.size() && i < 8; ++i)
        checkLocalName(fileUrl(names.at(i)));

    checkLocalName(fileUrl(text));
    checkLocalName(QUrl(text, QUrl::TolerantMode));
    checkLocalName(QUrl(QString::fromLatin1(body), QUrl::TolerantMode));
    return 0;
}
