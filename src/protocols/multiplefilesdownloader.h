#pragma once
// MultipleFilesDownloader: fetches a batch of protocol URLs one by one into the protocols folder.
#include <QNetworkAccessManager>
#include <QObject>
#include <QStringList>
#include <QUrl>

class ParametrPath;
class QNetworkReply;

class MultipleFilesDownloader : public QObject
{
    Q_OBJECT
public:
    MultipleFilesDownloader(ParametrPath* folder, QObject* parent = nullptr);

    void download(const QStringList& urls);
    bool isRunning() const { return current != nullptr; }
    // True when the last batch saved every file; false when it stopped at an error or was
    // given nothing to fetch.
    bool lastBatchComplete() const { return complete; }
    int batchSize() const { return total; }

signals:
    void downloaded();
    void progressChanged(int percent);

private slots:
    void downloadFinished(QNetworkReply* pReply);

private:
    bool startNext();
    void finishBatch(bool completed);

    QUrl url;
    QNetworkAccessManager manager;
    QStringList queue;
    ParametrPath* dirParametr;
    int total = 0;
    int saved = 0;
    bool complete = false;
    QNetworkReply* current = nullptr;
};
