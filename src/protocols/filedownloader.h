#pragma once
// FileDownloader: fetches one URL from the device's HTTP server and keeps the body in memory.
#include <QByteArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QObject>
#include <QUrl>

class FileDownloader : public QObject
{
    Q_OBJECT
public:
    FileDownloader(const QUrl& url, QObject* parent = nullptr);

    void startDownload();
    QByteArray downloadedData() const;
    QUrl downloadUrl() const { return url; }
    // False after a network error or an HTTP status outside 2xx; the body is then dropped.
    bool succeeded() const { return ok; }

    // A body larger than this is refused instead of being held in memory.
    void setMaxSize(qint64 bytes) { maxSize = bytes; }

    // Applies to every request of both downloaders: a device that stops sending for this long
    // fails the request instead of keeping the operator waiting forever.
    static void setTransferTimeout(int ms);
    static int transferTimeout();
    static constexpr qint64 defaultMaxSize = 256LL * 1024 * 1024;

    // The request both downloaders send, and the check both apply to what comes back.
    static QNetworkRequest makeRequest(const QUrl& url);
    static bool replySucceeded(QNetworkReply* reply);

signals:
    void downloaded();

private slots:
    void downloadFinished(QNetworkReply* pReply);
    void replyFinished();
    void replyError(QNetworkReply::NetworkError code);
    void onReplyProgress(qint64 received, qint64 total);

private:
    QUrl url;
    QNetworkAccessManager manager;
    QByteArray data;
    bool ok = false;
    qint64 maxSize = defaultMaxSize;
};
