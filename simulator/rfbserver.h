// RfbServer: the RFB 3.8 server of one simulated device, serving its panel to every client.
#pragma once

#include "simoptions.h"

#include <QImage>
#include <QList>
#include <QObject>

class QTcpServer;
class PanelScreen;

class RfbServer : public QObject
{
    Q_OBJECT
public:
    explicit RfbServer(const SimOptions& options, QObject* parent = nullptr);
    bool start(); // listen on options.address:rfbPort; false + errorString() on failure
    quint16 port() const;
    QString errorString() const;
    QImage frame() const; // the current screen, Format_RGB16 (what the next update sends)
    // Every whole client message after ClientInit, in order. A ClientCutText longer than
    // 64 KiB is recorded as its 8-byte header only (its text is skipped unread).
    QList<QByteArray> clientMessages() const;
    void clearClientMessages();
    int connectionCount() const;
    // FramebufferUpdate messages sent, all connections (the odd ones of type 0 included).
    int updatesSent() const;

    const SimOptions& options() const { return opts; }
    PanelScreen* screen() const { return panel; }
    void recordMessage(const QByteArray& message);
    void noteUpdateSent();

signals:
    void clientMessage(QByteArray message);
    void clientConnected();
    void clientDisconnected();

private slots:
    void onNewConnection();

private:
    SimOptions opts;
    QTcpServer* server;
    PanelScreen* panel;
    QList<QByteArray> messages;
    int connections = 0;
    int updates = 0;
};
