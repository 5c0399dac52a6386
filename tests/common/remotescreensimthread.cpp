#include "remotescreensimthread.h"

#include "simulator/rfbserver.h"

#include <QtDebug>

RemoteScreenSimThread::RemoteScreenSimThread(const SimOptions& deviceOptions)
    : options(deviceOptions)
{
}

RemoteScreenSimThread::~RemoteScreenSimThread()
{
    quit();
    wait();
}

bool RemoteScreenSimThread::startDevice()
{
    start();
    ready.acquire();
    return listening;
}

void RemoteScreenSimThread::run()
{
    // The server and its sockets are created, used and deleted on this thread only.
    RfbServer server(options);
    listening = server.start();
    if (!listening)
        qWarning() << "simulator did not start:" << server.errorString();
    ready.release();
    if (listening)
        exec();
}
