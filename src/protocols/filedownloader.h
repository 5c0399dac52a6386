#pragma once
// FileDownloader: fetches one URL from the device's HTTP server and holds the finished reply for
// whoever asked.
#include "protocols/transferguard.h"

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QUrl>

class FileDownloader : public QObject
{
    Q_OBJECT
public:
    FileDownloader(const QUrl& url, QObject* parent = nullptr);

    // Sends the request; false when a protocol's folder cannot take it (already reported).
    bool startDownload();
    // The body, read from the finished reply on the first call, when it arrived whole; empty
    // otherwise.
    QByteArray downloadedData();
    // False after a network error, a status other than 200 or a body cut short.
    bool succeeded();
    // Why it did not succeed, in plain words.
    QString failure();
    const QUrl& address() const { return url; }
    // The finished reply itself, for a receiver that saves it; it lives as long as the downloader.
    QNetworkReply* finishedReply() const { return reply; }

    // A body larger than this is refused instead of being held in memory.
    void setMaxSize(qint64 bytes) { maxSize = bytes; }
    void setCoding(TransferGuard::Coding wanted) { coding = wanted; }
    // The body is a protocol for this folder: written there as it arrives, never held whole.
    void spoolInto(const QString& folderText)
    {
        spoolFolder = folderText;
        spooled = true;
    }

signals:
    void downloaded();

public slots:
    // Drops the request for good: its answer, even one already on its way, reaches no receiver.
    void abandon();

private slots:
    void downloadFinished(QNetworkReply* pReply);
    void replyFinished();
    void replyError(QNetworkReply::NetworkError code);

private:
    void take();

    QUrl url;
    QNetworkAccessManager manager;
    QByteArray data;
    QPointer<QNetworkReply> reply;
    bool taken = false;
    QString refused;
    bool abandoned = false;
    qint64 maxSize = TransferGuard::defaultMaxSize;
    TransferGuard::Coding coding = TransferGuard::AnyCoding;
    QString spoolFolder;
    bool spooled = false;
};
