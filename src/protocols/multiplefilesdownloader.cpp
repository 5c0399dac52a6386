#include "protocols/multiplefilesdownloader.h"

#include "parameters/parametrpath.h"
#include "protocols/protocolstore.h"
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

bool MultipleFilesDownloader::startNext()
{
    url = QUrl(queue.takeFirst(), QUrl::TolerantMode);
    QString name;
    // Refused before it is requested: the batch stops here as at a file it cannot save.
    if (!ProtocolStore::requestableName(url, &name)) {
        MessageHandler::showCritical(
            QStringLiteral("Ошибка сохранения протокола %1!").arg(ProtocolStore::shownName(name)));
    } else {
        // Read afresh for every file: an edit of the folder field applies from the next file on.
        current = ProtocolStore::fetch(&manager, url, dirParametr->valueText());
        if (current)
            return true;
    }
    MessageHandler::showCritical(tr("Ошибка при сохранении файла!"));
    finishBatch(false);
    return false;
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
    switch (ProtocolStore::saveReply(pReply, dirParametr->valueText())) {
    case ProtocolStore::Outcome::LoadFailed:
        MessageHandler::showCritical(tr("Ошибка при загрузке файла!"));
        finishBatch(false);
        return;
    case ProtocolStore::Outcome::SaveFailed:
        MessageHandler::showCritical(tr("Ошибка при сохранении файла!"));
        finishBatch(false);
        return;
    case ProtocolStore::Outcome::Saved:
        break;
    }
    ++saved;
    if (queue.isEmpty()) {
        finishBatch(true);
        return;
    }
    if (startNext())
        emit progressChanged(saved * 100 / total);
}
