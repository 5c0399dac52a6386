// SimTestClient: a scripted RFB/HTTP client for tests that talk to the simulator in-process.
#pragma once

#include "simulator/simoptions.h"

#include <QByteArray>
#include <QHostAddress>
#include <QImage>
#include <QTcpSocket>
#include <memory>

class RfbServer;

class SimTestClient
{
public:
    static constexpr int defaultTimeoutMs = 5000;

    bool connectTo(const QHostAddress& address, quint16 port);
    // Starts a still (not animated) simulated device on the given loopback address, RFB on a
    // free port and no HTTP, and connects to it, through ServerInit with `handshake`.
    std::unique_ptr<RfbServer> startDevice(const char* address, SimOptions options = SimOptions(),
                                           bool handshake = true);
    // Exactly n bytes, processing events meanwhile (the server runs in this thread);
    // fewer when the peer closes or the time runs out.
    QByteArray read(int n, int timeoutMs = defaultTimeoutMs);
    // Whatever arrives until the peer closes or the time runs out.
    QByteArray readUntilClosed(int timeoutMs = defaultTimeoutMs);
    // Everything that arrives within the given quiet time.
    QByteArray drain(int quietMs);
    void write(const QByteArray& bytes);
    bool waitForClosed(int timeoutMs = defaultTimeoutMs);
    bool isOpen() const;

    // RFB 3.8 up to the end of ServerInit with security None; returns ServerInit (empty on
    // failure).
    QByteArray handshakeNone();
    // RFB 3.8 with VNC Authentication; returns the SecurityResult word and, on failure,
    // the reason in *reason.
    quint32 handshakeVnc(const QString& password, QByteArray* reason = nullptr);
    // Requests an update of `request` and reads a Raw update whose rectangles must tile the
    // request, clipped to the screen, from the top down; returns its pixels row by row in the
    // given bytes per pixel and sets *rectangles, or returns empty when anything is amiss.
    QByteArray requestUpdate(const QRect& request, const QSize& screen, int bytesPerPixel,
                             int* rectangles = nullptr);

    static QByteArray updateRequest(bool incremental, int x, int y, int w, int h);
    static QByteArray pointerEvent(quint8 mask, int x, int y);
    static QByteArray keyEvent(bool down, quint32 keysym);
    static QByteArray setPixelFormat(const QByteArray& pixelFormat16);
    static quint32 be32(const QByteArray& bytes, int offset);
    static quint16 be16(const QByteArray& bytes, int offset);

private:
    // Version 3.8 both ways, then the given security type if the server offers it.
    bool chooseSecurity(char type);

    QTcpSocket sock;
};
