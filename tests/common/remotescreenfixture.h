#pragma once
// RemoteScreenFixture: helpers of the remote screen tests: simulated devices on loopback,
// the device address, the RFB input messages that reached a device, the password dialog.
#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

class QInputDialog;
class RfbServer;
struct SimOptions;

class RemoteScreenFixture
{
public:
    // Options of a deterministic device at address:5900: a still screen, no HTTP server.
    static SimOptions deviceOptions(const QString& address);
    // A started simulator in this thread, or null (the reason is logged).
    static std::unique_ptr<RfbServer> startDevice(const SimOptions& options);
    static void setDeviceAddress(const QString& address);
    // KeyEvent and PointerEvent messages only, in arrival order.
    static QList<QByteArray> inputMessages(const RfbServer& server);
    // The visible password dialog among the top-level widgets, or null.
    static QInputDialog* visibleInputDialog();
};
