#pragma once
// HttpFakeServer: a tiny in-test HTTP/1.1 peer with canned replies per path and a request log.
#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QMetaType>
#include <QMutex>
#include <QObject>
#include <QPair>
#include <QStringList>

class QTcpServer;
class QTcpSocket;

namespace solmirtest {

struct HttpFakeReply
{
    enum class Mode
    {
        Normal,       // the whole reply
        CloseMidBody, // announce the full Content-Length, send half the body, close
        Stall,        // announce the full Content-Length, send half the body, then go silent
        Chunked,      // the whole body in two chunks
        BadChunk,     // half the body as a chunk, then a chunk-size line "zz", then the rest
        Paced,        // announce the full Content-Length, send `burst` bytes, then pace the rest
        Generated     // a stored ZIP around `generated` bytes of filler, made as it is sent
    };
    int status = 200;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
    Mode mode = Mode::Normal;
    int delayMs = 0;        // wait this long before answering
    int burst = 0;          // Paced: bytes sent at once
    int bytesPerSecond = 0; // Paced: the rest at this rate, a piece every 50 ms or every byte
    qint64 generated = 0;   // Generated: the filler's size; negative: chunks of filler for ever

    static HttpFakeReply ok(const QByteArray& body);
    static HttpFakeReply withStatus(int status, const QByteArray& body = QByteArray());
    static HttpFakeReply redirect(const QByteArray& location);
    static HttpFakeReply paced(const QByteArray& body, int bytesPerSecond, int burst = 0);
    // A protocol of any size, or a body without end, that the server never holds whole.
    static HttpFakeReply generatedZip(qint64 fillerBytes);
    // The body gzip-compressed, with its Content-Encoding.
    static HttpFakeReply gzipped(const QByteArray& body);
};

// A whole ZIP file, as an .xlsx is, that holds content.
QByteArray protocolBody(const QByteArray& content);

class HttpFakeServer : public QObject
{
    Q_OBJECT
public:
    // The server closes itself after lifetimeMs whatever happens, so no test leaves it behind.
    explicit HttpFakeServer(QObject* parent = nullptr, int lifetimeMs = 300000);
    ~HttpFakeServer() override;

    bool listen(const QHostAddress& address, quint16 port = 80);
    void close();

    // rawPath is the request target as sent, e.g. "/protocols/a%20b.xlsx".
    void setReply(const QByteArray& rawPath, const HttpFakeReply& reply);
    // Serves an HTML listing with one link per name at "/protocols" and each file's body at
    // "/protocols/" + the percent-encoded name.
    void publish(const QStringList& names, const QList<QByteArray>& bodies);

    // The log may be read from another thread than the one serving (see tests that run the
    // server on a thread of its own).
    QList<QByteArray> requests() const;
    QStringList decodedRequests() const;
    int requestCount() const { return requests().size(); }
    int countOf(const QByteArray& rawPath) const { return requests().count(rawPath); }
    bool waitForRequests(int n, int timeoutMs = 10000);

    static QByteArray listingPage(const QStringList& names);
    static QByteArray encodedName(const QString& name);

private slots:
    void onNewConnection();
    void onReadyRead();

private:
    void answer(QTcpSocket* socket, const QByteArray& target);
    void send(QTcpSocket* socket, const HttpFakeReply& reply);
    void sendGenerated(QTcpSocket* socket, QByteArray head, qint64 filler);

    QTcpServer* server;
    QHash<QByteArray, HttpFakeReply> replies;
    HttpFakeReply fallback;
    mutable QMutex logMutex;
    QList<QByteArray> log;
    QHash<QTcpSocket*, QByteArray> buffers;
};

} // namespace solmirtest

Q_DECLARE_METATYPE(solmirtest::HttpFakeReply)
