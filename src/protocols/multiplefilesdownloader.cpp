#include "protocols/multiplefilesdownloader.h"

#include "parameters/parametrpath.h"
#include "protocols/filedownloader.h"
#include "protocols/protocolfiles.h"
#include "shell/messagehandler.h"

#include <QNetworkReply>

MultipleFilesDownloader::MultipleFilesDownloader(ParametrPath* folder, QObject* parent)
    : QObject(parent), dirParametr(folder)
{
    connect(&manager, SIGNAL(finished(QNetworkReply*)), this,
            SLOT(downloadFinished(QNetworkReply*)));
}

void MultipleFilesDownloader::download(const QStringList& urls)
{
    // Nothing to fetch is no batch, and no success to report: a running batch goes on and ends
    // by itself; otherwise the caller hears at once that nothing was saved.
    if (urls.isEmpty()) {
        if (!current) {
            total = 0;
            saved = 0;
            finishBatch(false);
        }
        return;
    }
    if (current) {
        // A new batch replaces a running one; its reply must not be taken for the new one's.
        QNetworkReply* old = current;
        current = nullptr;
        old->abort();
    }
    total = urls.size();
    saved = 0;
    complete = false;
    queue = urls;
    startNext();
}

void MultipleFilesDownloader::startNext()
{
    url = QUrl(queue.takeFirst(), QUrl::TolerantMode);
    current = manager.get(FileDownloader::makeRequest(url));
    connect(current, SIGNAL(downloadProgress(qint64, qint64)), this,
            SLOT(onReplyProgress(qint64, qint64)));
}

void MultipleFilesDownloader::finishBatch(bool completed)
{
    complete = completed;
    emit downloaded();
}

void MultipleFilesDownloader::downloadFinished(QNetworkReply* pReply)
{
    pReply->deleteLater();
    if (pReply != current)
        return;
    current = nullptr;
    const bool ok = FileDownloader::replySucceeded(pReply) &&
                    pReply->bytesAvailable() <= FileDownloader::defaultMaxSize;
    data = ok ? pReply->readAll() : QByteArray();
    if (data.isEmpty()) {
        MessageHandler::showCritical(tr("Ошибка при загрузке файла!"));
        finishBatch(false);
        return;
    }
    if (!saveFile()) {
        MessageHandler::showCritical(tr("Ошибка при сохранении файла!"));
        finishBatch(false);
        return;
    }
    ++saved;
    data.clear();
    if (queue.isEmpty()) {
        finishBatch(true);
        return;
    }
    startNext();
    emit progressChanged(saved * 100 / total);
}

bool MultipleFilesDownloader::saveFile()
{
    // Read afresh for every file: an edit of the folder field applies from the next file on.
    const QString folder = dirParametr->valueText();
    QString name;
    const bool safe = safeProtocolFileName(url, &name);
    if (data.isEmpty()) {
        MessageHandler::showCritical(QStringLiteral("Ошибка загрузки протокола %1!").arg(name));
        return false;
    }
    if (!safe || !saveProtocolFile(folder, name, data)) {
        MessageHandler::showCritical(QStringLiteral("Ошибка сохранения протокола %1!").arg(name));
        return false;
    }
    return true;
}

void MultipleFilesDownloader::onReplyProgress(qint64 received, qint64 size)
{
    if (received > FileDownloader::defaultMaxSize || size > FileDownloader::defaultMaxSize) {
        if (auto* reply = qobject_cast<QNetworkReply*>(sender()))
            reply->abort();
    }
}
