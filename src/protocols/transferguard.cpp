#include "protocols/transferguard.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {
int silenceMs = TransferGuard::defaultSilenceMs;
int speedTimeMs = TransferGuard::defaultSpeedTimeMs;
int rateWindowMs = TransferGuard::defaultRateWindowMs;
// curl samples its speed once a second over five seconds.
const int samplesPerWindow = 5;
} // namespace

void TransferGuard::setLimits(int silence, int speedTime, int rateWindow)
{
    silenceMs = silence;
    speedTimeMs = speedTime;
    rateWindowMs = qBound(samplesPerWindow, rateWindow, speedTime);
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
    // The clock starts with the request, as Qt's silence timer does.
    QElapsedTimer started;
    started.start();
    QNetworkReply* reply = manager->get(request);
    new TransferGuard(reply, maxSize, started);
    return reply;
}

TransferGuard::TransferGuard(QNetworkReply* guarded, qint64 limit, const QElapsedTimer& started)
    : QObject(guarded), reply(guarded), maxSize(limit), clock(started)
{
    connect(reply, SIGNAL(downloadProgress(qint64, qint64)), this,
            SLOT(onProgress(qint64, qint64)));
    connect(reply, SIGNAL(finished()), &tick, SLOT(stop()));
    connect(&tick, SIGNAL(timeout()), this, SLOT(onTick()));
    // A coarse timer drifts by up to a twentieth of its interval, tick after tick.
    tick.setTimerType(Qt::PreciseTimer);
    samples.append({0, 0});
    tick.start(rateWindowMs / samplesPerWindow);
}

void TransferGuard::onProgress(qint64 bytes, qint64 total)
{
    received = bytes;
    if (bytes > maxSize || total > maxSize) {
        aborted = QStringLiteral("larger than the ceiling of %1 bytes (%2 announced)")
                      .arg(maxSize)
                      .arg(total);
        reply->abort();
    }
}

void TransferGuard::onTick()
{
    if (reply->isFinished())
        return;
    const qint64 now = clock.elapsed();
    samples.append({now, received});
    // The base is the newest sample that is a whole window old, or the start.
    while (samples.size() > 1 && samples.at(1).at <= now - rateWindowMs)
        samples.removeFirst();
    const Sample& base = samples.first();
    const qint64 span = now - base.at;
    if (span > 0 && (received - base.bytes) * 1000 >= speedLimit * span) {
        lastFast = now;
    } else if (now - lastFast >= speedTimeMs) {
        aborted = QStringLiteral("slower than %1 bytes/s for %2 ms (%3 bytes in %4 ms)")
                      .arg(speedLimit)
                      .arg(speedTimeMs)
                      .arg(received)
                      .arg(now);
        tick.stop();
        reply->abort();
    }
}

qint64 TransferGuard::elapsedMs(QNetworkReply* reply)
{
    const auto* guard =
        reply ? reply->findChild<TransferGuard*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
    return guard ? guard->clock.elapsed() : -1;
}

QString TransferGuard::refusal(QNetworkReply* reply, qint64 bytes)
{
    if (!reply)
        return QStringLiteral("no reply");
    const auto* guard = reply->findChild<TransferGuard*>(QString(), Qt::FindDirectChildrenOnly);
    // 206 is a piece of the file and a redirect is not followed: only 200 is the whole body.
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && status.toInt() != 200)
        return QStringLiteral("status %1, not 200").arg(status.toInt());
    const QNetworkReply::NetworkError error = reply->error();
    if (error != QNetworkReply::NoError) {
        if (guard && !guard->aborted.isEmpty())
            return guard->aborted;
        // Nothing else cancels a reply that still has a receiver: Qt's silence time-out did.
        if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError)
            return QStringLiteral("silent: no byte within %1 ms").arg(silenceMs);
        return QStringLiteral("network error %1: %2").arg(int(error)).arg(reply->errorString());
    }
    if (!status.isValid())
        return QStringLiteral("no HTTP status");
    const QByteArray coding = reply->rawHeader("Content-Encoding").trimmed().toLower();
    if (!coding.isEmpty() && coding != "identity" &&
        reply->request().rawHeader("Accept-Encoding") == "identity")
        // Packed although asked not to: neither its length nor its text is usable.
        return QStringLiteral("sent as %1 although asked not to").arg(QString::fromLatin1(coding));
    if (guard && bytes > guard->maxSize)
        return QStringLiteral("%1 bytes, over the ceiling of %2").arg(bytes).arg(guard->maxSize);
    // A peer that closes the connection mid-body is reported as a success; the stated length
    // tells such a body apart wherever Qt keeps it, i.e. for every body it did not unpack.
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && bytes != length.toLongLong())
        return QStringLiteral("%1 of %2 announced bytes").arg(bytes).arg(length.toLongLong());
    return QString();
}

bool TransferGuard::takeBody(QNetworkReply* reply, QByteArray* body, QString* why)
{
    body->clear();
    const QString refused = refusal(reply, reply ? reply->bytesAvailable() : 0);
    if (why)
        *why = refused;
    if (!refused.isEmpty())
        return false;
    *body = reply->readAll();
    return true;
}
