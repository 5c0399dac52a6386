#pragma once
// TransferGuard: bounds one HTTP transfer from the device in size, silence and pace, and tells
// whether its body arrived whole.
#include <QByteArray>
#include <QObject>
#include <QTimer>

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

    // The body of a finished reply, read once, when it arrived whole: no error, status 200
    // exactly, and as many bytes as it announced. False, with an empty body, otherwise.
    static bool takeBody(QNetworkReply* reply, QByteArray* body);

    static constexpr qint64 defaultMaxSize = 256LL * 1024 * 1024;
    // Like curl's --speed-limit 1024 --speed-time 30: a transfer slower than this on average
    // over one window fails, as a silent one does.
    static constexpr qint64 speedLimit = 1024;
    static constexpr int defaultSpeedTimeMs = 30000;
    static constexpr int defaultSilenceMs = 30000;
    // Shortened limits for tests; every later request uses them.
    static void setLimits(int silenceMs, int speedTimeMs);

private slots:
    void onProgress(qint64 received, qint64 total);
    void onWindowEnd();

private:
    TransferGuard(QNetworkReply* reply, qint64 maxSize);

    QNetworkReply* reply;
    qint64 maxSize;
    qint64 received = 0;
    qint64 receivedAtWindowStart = 0;
    QTimer window;
};
