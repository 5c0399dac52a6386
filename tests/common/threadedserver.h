#pragma once
// ThreadedServer: a test peer on a thread of its own, so that it never competes with the
// client's event loop; it is deleted on that thread.
#include <QMetaObject>
#include <QThread>

#include <functional>

template <typename Server> struct ThreadedServer
{
    QThread thread;
    Server* server;
    explicit ThreadedServer(Server* s) : server(s) {}
    // Moves the server to its thread and runs listen there.
    bool start(const std::function<bool()>& listen)
    {
        server->moveToThread(&thread);
        thread.start();
        bool ok = false;
        QMetaObject::invokeMethod(
            server, [&]() { ok = listen(); }, Qt::BlockingQueuedConnection);
        return ok;
    }
    ~ThreadedServer()
    {
        QMetaObject::invokeMethod(
            server, [this]() { delete server; }, Qt::BlockingQueuedConnection);
        thread.quit();
        thread.wait();
    }
};
