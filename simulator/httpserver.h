// HttpServer: the simulated device's HTTP server publishing its measurement protocols.
#pragma once

#include "simoptions.h"

#include <QObject>
#include <QStringList>
#include <memory>

class QTcpServer;
class ProtocolLibrary;

class HttpServer : public QObject
{
    Q_OBJECT
public:
    explicit HttpServer(const SimOptions& options, QObject* parent = nullptr);
    ~HttpServer() override;
    // Listens on options.address:httpPort; a port of 0 picks a free one (tests).
    bool start();
    quint16 port() const;
    QString errorString() const;
    QStringList fileNames() const;      // names listed on /protocols, in listing order
    QStringList requestedPaths() const; // decoded paths of every GET received, in order
    QString folder() const;             // where the published files lie

    ProtocolLibrary* library() const { return protocols.get(); }
    void recordRequest(const QString& path);

private slots:
    void onNewConnection();

private:
    SimOptions opts;
    QTcpServer* server;
    std::unique_ptr<ProtocolLibrary> protocols;
    QStringList requests;
    QString error;
};
