#include "protocols/protocollisting.h"

namespace ProtocolListing {

QString urlText(const QString& address)
{
    return QStringLiteral("http://") + address + QStringLiteral("/protocols");
}

QString fileUrlText(const QString& address, const QString& name)
{
    return urlText(address) + QLatin1Char('/') + name;
}

QString linkStart()
{
    return QStringLiteral(".xlsx\">");
}

QString linkEnd()
{
    return QStringLiteral("</a>");
}

QString text(const QByteArray& body)
{
    const int nul = body.indexOf('\0');
    return QString::fromUtf8(body.constData(), nul < 0 ? body.size() : nul);
}

QStringList scan(const QString& text)
{
    static const QString start = linkStart();
    static const QString end = linkEnd();
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

} // namespace ProtocolListing
