#include "protocols/protocolspool.h"

#include <QNetworkReply>

ProtocolSpool::ProtocolSpool(QNetworkReply* spooled, const QString& folder,
                             std::unique_ptr<AtomicFile> opened)
    : QObject(spooled), reply(spooled), folderPath(folder), file(std::move(opened))
{
    reply->setReadBufferSize(readBufferSize);
    connect(reply, SIGNAL(readyRead()), this, SLOT(onReadyRead()));
}

ProtocolSpool* ProtocolSpool::of(QNetworkReply* reply)
{
    return reply ? reply->findChild<ProtocolSpool*>(QString(), Qt::FindDirectChildrenOnly)
                 : nullptr;
}

bool ProtocolSpool::drain()
{
    char piece[64 * 1024];
    while (!failed && reply->bytesAvailable() > 0) {
        const qint64 n = reply->read(piece, sizeof piece);
        if (n <= 0)
            break;
        if (!file->write(piece, n)) {
            // A full disk: the rest of the body has nowhere to go.
            failed = true;
            file->discard();
            reply->abort();
        }
    }
    return !failed;
}
