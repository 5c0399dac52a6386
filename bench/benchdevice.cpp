#include "benchdevice.h"

#include "benchsupport.h"
#include "rfbfakeserver.h"
#include "simulator/rfbserver.h"
#include "simulator/simoptions.h"

#include <QHostAddress>
#include <QImage>
#include <QMutexLocker>

BenchDevice::BenchDevice(Kind deviceKind, const QString& deviceAddress, QSize screenSize)
    : kind(deviceKind), address(deviceAddress), size(screenSize)
{
}

BenchDevice::~BenchDevice()
{
    quit();
    wait();
}

bool BenchDevice::startDevice()
{
    start();
    ready.acquire();
    return listening;
}

QList<BenchDevice::Arrival> BenchDevice::takeInput()
{
    QMutexLocker lock(&inputMutex);
    QList<Arrival> taken;
    taken.swap(input);
    return taken;
}

void BenchDevice::note(const QByteArray& message)
{
    // Stamped first: the time the device has the bytes, not the time it took the lock.
    const qint64 at = benchsupport::nowNs();
    if (message.isEmpty() || (message.at(0) != 4 && message.at(0) != 5))
        return;
    QMutexLocker lock(&inputMutex);
    input.append(Arrival{message, at});
}

void BenchDevice::run()
{
    thread = pthread_self();
    // Each peer and its sockets live on this thread only.
    if (kind == PreparedFrame) {
        RfbFakeServer server;
        server.screenSize = size;
        QImage frame(size, QImage::Format_RGB16);
        for (int y = 0; y < size.height(); ++y) {
            auto* line = reinterpret_cast<quint16*>(frame.scanLine(y));
            for (int x = 0; x < size.width(); ++x)
                line[x] = quint16((x * 31 / size.width()) << 11 | (y * 63 / size.height()) << 5);
        }
        const QByteArray prepared = RfbFakeServer::fullFrame(frame);
        server.reply = [prepared](int) { return prepared; };
        server.onMessage = [this](const QByteArray& message) { note(message); };
        listening = server.listen(QHostAddress(address));
        ready.release();
        if (listening)
            exec();
        return;
    }
    SimOptions options;
    options.address = QHostAddress(address);
    options.rfbPort = 5900;
    options.httpPort = 0;
    options.screenSize = size;
    options.animate = true;
    RfbServer server(options);
    connect(&server, &RfbServer::clientMessage, &server,
            [this](QByteArray message) { note(message); });
    listening = server.start();
    ready.release();
    if (listening)
        exec();
}
