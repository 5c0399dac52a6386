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
    QNetworkReply* reply = manager->get(request);
    new TransferGuard(reply, maxSize);
    return reply;
}

TransferGuard::TransferGuard(QNetworkReply* guarded, qint64 limit)
    : QObject(guarded), reply(guarded), maxSize(limit)
{
    connect(reply, SIGNAL(downloadProgress(qint64, qint64)), this,
            SLOT(onProgress(qint64, qint64)));
    connect(reply, SIGNAL(finished()), &tick, SLOT(stop()));
    connect(&tick, SIGNAL(timeout()), this, SLOT(onTick()));
    // A coarse timer drifts by up to a twentieth of its interval, tick after tick.
    tick.setTimerType(Qt::PreciseTimer);
    clock.start();
    samples.append({0, 0});
    tick.start(rateWindowMs / samplesPerWindow);
}

void TransferGuard::onProgress(qint64 bytes, qint64 total)
{
    received = bytes;
    if (bytes > maxSize || total > maxSize)
        reply->abort();
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
        tick.stop();
        reply->abort();
    }
}

bool TransferGuard::arrivedWhole(QNetworkReply* reply, qint64 bytes)
{
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
    if (guard && bytes > guard->maxSize)
        return false;
    // A peer that closes the connection mid-body is reported as a success; the stated length
    // tells such a body apart wherever Qt keeps it, i.e. for every body it did not unpack.
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    return !length.isValid() || bytes == length.toLongLong();
}

bool TransferGuard::takeBody(QNetworkReply* reply, QByteArray* body)
{
    body->clear();
    if (!reply || !arrivedWhole(reply, reply->bytesAvailable()))
        return false;
    *body = reply->readAll();
    return true;
}
