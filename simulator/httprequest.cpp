#include "httprequest.h"

#include <QList>

int HttpRequest::headEnd(const QByteArray& buffer)
{
    const int end = buffer.indexOf("\r\n\r\n");
    return end < 0 ? -1 : end + 4;
}

HttpRequest HttpRequest::parse(const QByteArray& head)
{
    HttpRequest r;
    const QList<QByteArray> lines = head.split('\n');
    if (lines.isEmpty())
        return r;
    const QList<QByteArray> parts = lines.first().trimmed().split(' ');
    if (parts.size() != 3 || parts.at(0).isEmpty() || !parts.at(1).startsWith('/') ||
        !parts.at(2).startsWith("HTTP/1."))
        return r;
    r.method = parts.at(0);
    r.target = parts.at(1);
    r.keepAlive = parts.at(2) == "HTTP/1.1";
    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const int colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "connection") {
            const QByteArray v = value.toLower();
            if (v.contains("close"))
                r.keepAlive = false;
            else if (v.contains("keep-alive"))
                r.keepAlive = true;
        } else if (name == "content-length") {
            bool ok = false;
            r.contentLength = value.toLongLong(&ok);
            if (!ok || r.contentLength < 0)
                return r;
        } else if (name == "transfer-encoding") {
            // Bodies are never expected; a chunked one cannot be skipped safely.
            return r;
        }
    }
    r.valid = true;
    return r;
}

QString HttpRequest::decodedPath(const QByteArray& target)
{
    QByteArray path = target;
    const int cut = path.indexOf('?');
    if (cut >= 0)
        path.truncate(cut);
    const int hash = path.indexOf('#');
    if (hash >= 0)
        path.truncate(hash);
    return QString::fromUtf8(QByteArray::fromPercentEncoding(path));
}

QString HttpRequest::protocolName(const QString& path)
{
    const QString prefix = QStringLiteral("/protocols/");
    if (!path.startsWith(prefix))
        return QString();
    const QString name = path.mid(prefix.size());
    if (name.isEmpty() || name.contains('/') || name.contains('\\') ||
        name.contains(QLatin1String("..")) || name.contains(QChar(0)) ||
        name.contains(QChar(0xFFFD)))
        return QString();
    return name;
}

QByteArray HttpRequest::reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 431:
        return "Request Header Fields Too Large";
    default:
        return "Internal Server Error";
    }
}

QByteArray HttpRequest::responseHead(int status, const QByteArray& contentType, qint64 length,
                                     bool keepAlive)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) +
                      "\r\nServer: SOLMIR-3\r\nContent-Type: " + contentType +
                      "\r\nContent-Length: " + QByteArray::number(length) +
                      "\r\nConnection: " + (keepAlive ? "keep-alive" : "close") + "\r\n";
    if (status == 405)
        head += "Allow: GET, HEAD\r\n";
    return head + "\r\n";
}
