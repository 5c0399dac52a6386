#include "protocols/filedownloader.h"

#include <QNetworkRequest>

namespace {
int requestTimeoutMs = 30000;
}

FileDownloader::FileDownloader(const QUrl& address, QObject* parent) : QObject(parent), url(address)
{
    connect(&manager, SIGNAL(finished(QNetworkReply*)), this,
            SLOT(downloadFinished(QNetworkReply*)));
}

void FileDownloader::setTransferTimeout(int ms)
{
    requestTimeoutMs = ms;
}

int FileDownloader::transferTimeout()
{
    return requestTimeoutMs;
}

QNetworkRequest FileDownloader::makeRequest(const QUrl& url)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(requestTimeoutMs);
    // Said outright: Qt 6 would follow redirects by default, Qt 5 does not.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    return request;
}

bool FileDownloader::replySucceeded(QNetworkReply* reply)
{
    if (reply->error() != QNetworkReply::NoError)
        return false;
    // Redirects are not followed, so a 3xx is as much a failure as a 4xx or 5xx.
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status < 200 || status >= 300)
        return false;
    // A peer that closes the connection mid-body can still be reported as a success; the
    // announced length tells a truncated body apart (unless Qt decompressed it on the way).
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    const QByteArray encoding = reply->rawHeader("Content-Encoding").trimmed().toLower();
    if (length.isValid() && (encoding.isEmpty() || encoding == "identity"))
        return reply->bytesAvailable() == length.toLongLong();
    return true;
}

void FileDownloader::startDownload()
{
    QNetworkReply* reply = manager.get(makeRequest(url));
    connect(reply, SIGNAL(downloadProgress(qint64, qint64)), this,
            SLOT(onReplyProgress(qint64, qint64)));
}

QByteArray FileDownloader::downloadedData() const
{
    return data;
}

void FileDownloader::downloadFinished(QNetworkReply* pReply)
{
    ok = replySucceeded(pReply) && pReply->bytesAvailable() <= maxSize;
    data = ok ? pReply->readAll() : QByteArray();
    pReply->deleteLater();
    emit downloaded();
}

void FileDownloader::replyFinished()
{
    auto* reply = qobject_cast<QNetworkReply*>(sender());
    if (reply)
        downloadFinished(reply);
}

void FileDownloader::replyError(QNetworkReply::NetworkError)
{
    ok = false;
    data.clear();
    if (sender())
        sender()->deleteLater();
    emit downloaded();
}

void FileDownloader::onReplyProgress(qint64 received, qint64 total)
{
    if (received > maxSize || total > maxSize) {
        if (auto* reply = qobject_cast<QNetworkReply*>(sender()))
            reply->abort();
    }
}
