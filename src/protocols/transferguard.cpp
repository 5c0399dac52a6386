#include "protocols/transferguard.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {
int silenceMs = TransferGuard::defaultSilenceMs;
int speedTimeMs = TransferGuard::defaultSpeedTimeMs;
} // namespace

void TransferGuard::setLimits(int silence, int speedTime)
{
    silenceMs = silence;
    speedTimeMs = speedTime;
}

QNetworkReply* TransferGuard::get(QNetworkAccessManager* manager, const QUrl& url, qint64 maxSize,
                                  Coding coding)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(silenceMs);
    // Said outright: Qt 6 would follow redirects by default, Qt 5 does not.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    // Qt drops the stated length of a body it unpacks, and a cut compressed body then passes.
    if (coding == Identity)
        request.setRawHeader("Accept-Encoding", "identity");
    QNetworkReply* reply = manager->get(request);
    new TransferGuard(reply, maxSize);
    return reply;
}

TransferGuard::TransferGuard(QNetworkReply* guarded, qint64 limit)
    : QObject(guarded), reply(guarded), maxSize(limit)
{
    connect(reply, SIGNAL(downloadProgress(qint64, qint64)), this,
            SLOT(onProgress(qint64, qint64)));
    connect(reply, SIGNAL(finished()), &window, SLOT(stop()));
    connect(&window, SIGNAL(timeout()), this, SLOT(onWindowEnd()));
    window.start(speedTimeMs);
}

void TransferGuard::onProgress(qint64 bytes, qint64 total)
{
    received = bytes;
    if (bytes > maxSize || total > maxSize)
        reply->abort();
}

void TransferGuard::onWindowEnd()
{
    if (reply->isFinished())
        return;
    if ((received - receivedAtWindowStart) * 1000 < speedLimit * speedTimeMs) {
        window.stop();
        reply->abort();
        return;
    }
    receivedAtWindowStart = received;
}

bool TransferGuard::takeBody(QNetworkReply* reply, QByteArray* body)
{
    body->clear();
    if (!reply || reply->error() != QNetworkReply::NoError)
        return false;
    // 206 is a piece of the file and a redirect is not followed: only 200 is the whole body.
    if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 200)
        return false;
    const QByteArray coding = reply->rawHeader("Content-Encoding").trimmed().toLower();
    if (!coding.isEmpty() && coding != "identity" &&
        reply->request().rawHeader("Accept-Encoding") == "identity")
        return false; // packed although asked not to: neither its length nor its text is usable
    const auto* guard = reply->findChild<TransferGuard*>(QString(), Qt::FindDirectChildrenOnly);
    if (guard && reply->bytesAvailable() > guard->maxSize)
        return false;
    // A peer that closes the connection mid-body is reported as a success; the stated length
    // tells such a body apart wherever Qt keeps it, i.e. for every body it did not unpack.
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && reply->bytesAvailable() != length.toLongLong())
        return false;
    *body = reply->readAll();
    return true;
}
