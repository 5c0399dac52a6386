#include "simtestclient.h"

#include "remote/vnccipher.h"
#include "simulator/rfbserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QtEndian>

bool SimTestClient::connectTo(const QHostAddress& address, quint16 port)
{
    sock.connectToHost(address, port);
    QElapsedTimer timer;
    timer.start();
    while (sock.state() != QAbstractSocket::ConnectedState && timer.elapsed() < defaultTimeoutMs &&
           sock.state() != QAbstractSocket::UnconnectedState)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return sock.state() == QAbstractSocket::ConnectedState;
}

std::unique_ptr<RfbServer> SimTestClient::startDevice(const char* address, SimOptions options,
                                                      bool handshake)
{
    options.address = QHostAddress(QString::fromLatin1(address));
    options.rfbPort = 0;
    options.httpPort = 0;
    options.animate = false;
    auto server = std::make_unique<RfbServer>(options);
    if (!server->start() || !connectTo(options.address, server->port()) ||
        (handshake && handshakeNone().isEmpty()))
        return nullptr;
    return server;
}

QByteArray SimTestClient::read(int n, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (sock.bytesAvailable() < n && timer.elapsed() < timeoutMs &&
           sock.state() == QAbstractSocket::ConnectedState)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return sock.read(n);
}

QByteArray SimTestClient::readUntilClosed(int timeoutMs)
{
    waitForClosed(timeoutMs);
    return sock.readAll();
}

QByteArray SimTestClient::drain(int quietMs)
{
    QByteArray out;
    QElapsedTimer quiet;
    quiet.start();
    while (quiet.elapsed() < quietMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (sock.bytesAvailable() > 0) {
            out += sock.readAll();
            quiet.restart();
        }
    }
    return out;
}

void SimTestClient::write(const QByteArray& bytes)
{
    sock.write(bytes);
    sock.flush();
}

bool SimTestClient::waitForClosed(int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (sock.state() != QAbstractSocket::UnconnectedState && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return sock.state() == QAbstractSocket::UnconnectedState;
}

bool SimTestClient::isOpen() const
{
    return sock.state() == QAbstractSocket::ConnectedState;
}

bool SimTestClient::chooseSecurity(char type)
{
    if (read(12) != "RFB 003.008\n")
        return false;
    write("RFB 003.008\n");
    const QByteArray count = read(1);
    if (count.size() != 1 || !read(static_cast<quint8>(count.at(0))).contains(type))
        return false;
    write(QByteArray(1, type));
    return true;
}

QByteArray SimTestClient::handshakeNone()
{
    if (!chooseSecurity('\1') || read(4) != QByteArray(4, '\0'))
        return QByteArray();
    write(QByteArray(1, '\1'));
    QByteArray init = read(24);
    if (init.size() != 24)
        return QByteArray();
    return init + read(static_cast<int>(be32(init, 20)));
}

quint32 SimTestClient::handshakeVnc(const QString& password, QByteArray* reason)
{
    if (!chooseSecurity('\2'))
        return 0xFFFFFFFFu;
    const QByteArray challenge = read(16);
    if (challenge.size() != 16)
        return 0xFFFFFFFFu;
    write(vncResponse(challenge, password));
    const QByteArray result = read(4);
    if (result.size() != 4)
        return 0xFFFFFFFFu;
    const quint32 word = be32(result, 0);
    if (word != 0 && reason) {
        const QByteArray length = read(4);
        *reason = length.size() == 4 ? read(static_cast<int>(be32(length, 0))) : QByteArray();
    }
    return word;
}

QByteArray SimTestClient::requestUpdate(const QRect& request, const QSize& screen,
                                        int bytesPerPixel, int* rectangles)
{
    write(updateRequest(false, request.x(), request.y(), request.width(), request.height()));
    const QRect area = request & QRect(QPoint(), screen);
    const QByteArray head = read(4);
    if (head.size() != 4 || head.at(0) != 0)
        return QByteArray();
    const int count = be16(head, 2);
    if (rectangles)
        *rectangles = count;
    QByteArray pixels;
    int top = area.top();
    for (int i = 0; i < count; ++i) {
        const QByteArray rect = read(12);
        const int h = be16(rect, 6);
        if (rect.size() != 12 || be16(rect, 0) != area.x() || be16(rect, 2) != top ||
            be16(rect, 4) != area.width() || h <= 0 || be32(rect, 8) != 0)
            return QByteArray();
        pixels += read(area.width() * h * bytesPerPixel);
        top += h;
    }
    if (top != area.bottom() + 1 || pixels.size() != area.width() * area.height() * bytesPerPixel)
        return QByteArray();
    return pixels;
}

QByteArray SimTestClient::updateRequest(bool incremental, int x, int y, int w, int h)
{
    QByteArray b(10, '\0');
    b[0] = 3;
    b[1] = incremental ? 1 : 0;
    qToBigEndian<quint16>(static_cast<quint16>(x), b.data() + 2);
    qToBigEndian<quint16>(static_cast<quint16>(y), b.data() + 4);
    qToBigEndian<quint16>(static_cast<quint16>(w), b.data() + 6);
    qToBigEndian<quint16>(static_cast<quint16>(h), b.data() + 8);
    return b;
}

QByteArray SimTestClient::pointerEvent(quint8 mask, int x, int y)
{
    QByteArray b(6, '\0');
    b[0] = 5;
    b[1] = static_cast<char>(mask);
    qToBigEndian<quint16>(static_cast<quint16>(x), b.data() + 2);
    qToBigEndian<quint16>(static_cast<quint16>(y), b.data() + 4);
    return b;
}

QByteArray SimTestClient::keyEvent(bool down, quint32 keysym)
{
    QByteArray b(8, '\0');
    b[0] = 4;
    b[1] = down ? 1 : 0;
    qToBigEndian<quint32>(keysym, b.data() + 4);
    return b;
}

QByteArray SimTestClient::setPixelFormat(const QByteArray& pixelFormat16)
{
    return QByteArray(4, '\0') + pixelFormat16.leftJustified(16, '\0', true);
}

quint32 SimTestClient::be32(const QByteArray& bytes, int offset)
{
    if (offset + 4 > bytes.size())
        return 0;
    return qFromBigEndian<quint32>(reinterpret_cast<const uchar*>(bytes.constData()) + offset);
}

quint16 SimTestClient::be16(const QByteArray& bytes, int offset)
{
    if (offset + 2 > bytes.size())
        return 0;
    return qFromBigEndian<quint16>(reinterpret_cast<const uchar*>(bytes.constData()) + offset);
}
