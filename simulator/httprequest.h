// HttpRequest: parsing of one HTTP/1.x request head and the small pieces of a response.
#pragma once

#include <QByteArray>
#include <QString>

class HttpRequest
{
public:
    bool valid = false;
    QByteArray method;
    QByteArray target;
    bool keepAlive = false;
    qint64 contentLength = 0;

    // Offset just behind the blank line that ends the head, or -1 while it is incomplete.
    static int headEnd(const QByteArray& buffer);
    static HttpRequest parse(const QByteArray& head);
    // The target's path without query or fragment, percent-decoded as UTF-8.
    static QString decodedPath(const QByteArray& target);
    // The file name asked for by "/protocols/NAME", or empty when the path is not such a
    // request or the name could leave the protocols folder.
    static QString protocolName(const QString& path);
    static QByteArray responseHead(int status, const QByteArray& contentType, qint64 length,
                                   bool keepAlive);
    static QByteArray reasonPhrase(int status);
};
