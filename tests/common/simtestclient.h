// SimTestClient: a scripted RFB/HTTP client for tests that talk to the simulator in-process.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QImage>
#include <QTcpSocket>

class SimTestClient
{
public:
    static constexpr int defaultTimeoutMs = 5000;

    bool connectTo(const QHostAddress& address, quint16 port);
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
    QTcpSocket& socket() { return sock; }

    // RFB 3.8 up to the end of ServerInit with security None; returns ServerInit (empty on
    // failure).
    QByteArray handshakeNone();
    // RFB 3.8 with VNC Authentication; returns the SecurityResult word and, on failure,
    // the reason in *reason.
    quint32 handshakeVnc(const QString& password, QByteArray* reason = nullptr);
    // Sends a FramebufferUpdateRequest and reads the update into an image of the given
    // bytes per pixel; false when anything but a Raw update arrives.
    bool requestUpdate(const QSize& screen, int bytesPerPixel, QByteArray* pixels,
                       int* rectangles = nullptr);

    static QByteArray updateRequest(bool incremental, int x, int y, int w, int h);
    static QByteArray pointerEvent(quint8 mask, int x, int y);
    static QByteArray keyEvent(bool down, quint32 keysym);
    static QByteArray setPixelFormat(const QByteArray& pixelFormat16);
    static quint32 be32(const QByteArray& bytes, int offset);
    static quint16 be16(const QByteArray& bytes, int offset);

private:
    QTcpSocket sock;
};
