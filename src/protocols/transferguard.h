#pragma once
// TransferGuard: bounds one HTTP transfer from the device in size, silence and pace, and tells
// whether its body arrived whole.
#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

class QNetworkAccessManager;
class QNetworkReply;
class QUrl;

class TransferGuard : public QObject
{
    Q_OBJECT
public:
    enum Coding
    {
        AnyCoding, // Qt's own offer of compressed bodies, which it unpacks
        Identity   // the body as stored, so that its stated length can always be checked
    };

    // Sends a GET for url on manager; the guard lives as the reply's child and aborts the reply
    // when its body would exceed maxSize, when the peer falls silent, or when it is too slow.
    static QNetworkReply* get(QNetworkAccessManager* manager, const QUrl& url, qint64 maxSize,
                              Coding coding = AnyCoding);

    // Why a finished reply did not bring its whole body, of which `bytes` were received, in plain
    // words with the numbers behind it; empty when it did: no error, status 200 exactly, not
    // packed against the request, within its ceiling, and as many bytes as it announced.
    static QString refusal(QNetworkReply* reply, qint64 bytes);
    static bool arrivedWhole(QNetworkReply* reply, qint64 bytes)
    {
        return refusal(reply, bytes).isEmpty();
    }
    // Milliseconds since the request was sent, for the record.
    static qint64 elapsedMs(QNetworkReply* reply);
    // The body of a finished reply held in memory, read once, when it arrived whole; false, with
    // an empty body and the refusal in why, otherwise.
    static bool takeBody(QNetworkReply* reply, QByteArray* body, QString* why = nullptr);

    static constexpr qint64 defaultMaxSize = 256LL * 1024 * 1024;
    // curl's --speed-limit 1024 --speed-time 30: a transfer whose current speed, the rate over
    // the last few seconds, stays below the limit for the whole speed time fails. A slow start
    // is no fault as long as the speed comes; a burst does not pay for a trickle after it.
    static constexpr qint64 speedLimit = 1024;
    static constexpr int defaultSpeedTimeMs = 30000;
    static constexpr int defaultRateWindowMs = 5000;
    static constexpr int defaultSilenceMs = 30000;
    // Shortened limits for tests; every later request uses them.
    static void setLimits(int silenceMs, int speedTimeMs, int rateWindowMs = defaultRateWindowMs);

private slots:
    void onProgress(qint64 received, qint64 total);
    void onTick();

private:
    TransferGuard(QNetworkReply* reply, qint64 maxSize, const QElapsedTimer& started);

    struct Sample
    {
        qint64 at;
        qint64 bytes;
    };
    QNetworkReply* reply;
    qint64 maxSize;
    qint64 received = 0;
    qint64 lastFast = 0; // when the current speed last reached the limit; the start counts
    QString aborted;     // why the guard itself stopped the transfer
    QVector<Sample> samples;
    QElapsedTimer clock;
    QTimer tick;
};
