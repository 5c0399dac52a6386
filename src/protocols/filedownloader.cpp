#include "protocols/filedownloader.h"

#include "protocols/protocolstore.h"

FileDownloader::FileDownloader(const QUrl& address, QObject* parent) : QObject(parent), url(address)
{
    connect(&manager, SIGNAL(finished(QNetworkReply*)), this,
            SLOT(downloadFinished(QNetworkReply*)));
}

bool FileDownloader::startDownload()
{
    if (!spooled) {
        TransferGuard::get(&manager, url, maxSize, coding);
        return true;
    }
    return ProtocolStore::fetch(&manager, url, spoolFolder) != nullptr;
}

void FileDownloader::abandon()
{
    abandoned = true;
    const QList<QNetworkReply*> running = manager.findChildren<QNetworkReply*>();
    for (QNetworkReply* pending : running)
        pending->abort();
    deleteLater();
}

void FileDownloader::take()
{
    if (taken)
        return;
    taken = true;
    TransferGuard::takeBody(reply, &data, &refused);
}

QByteArray FileDownloader::downloadedData()
{
    take();
    return data;
}

bool FileDownloader::succeeded()
{
    take();
    return refused.isEmpty();
}

QString FileDownloader::failure()
{
    take();
    return refused;
}

void FileDownloader::downloadFinished(QNetworkReply* pReply)
{
    // The reply stays with the manager, and so with this downloader, until both go.
    if (abandoned || reply)
        return;
    reply = pReply;
    emit downloaded();
}

void FileDownloader::replyFinished()
{
    if (auto* finished = qobject_cast<QNetworkReply*>(sender()))
        downloadFinished(finished);
}

void FileDownloader::replyError(QNetworkReply::NetworkError)
{
    replyFinished();
}
