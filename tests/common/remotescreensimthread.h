#pragma once
// RemoteScreenSimThread: a simulated device served from a thread of its own, so that it
// keeps answering while the GUI thread under test does not process events.
#include "simulator/simoptions.h"

#include <QSemaphore>
#include <QThread>

#include <atomic>

class RemoteScreenSimThread : public QThread
{
    Q_OBJECT
public:
    explicit RemoteScreenSimThread(const SimOptions& options);
    ~RemoteScreenSimThread() override;

    // Starts the thread and waits until the device listens; false when it could not.
    bool startDevice();

protected:
    void run() override;

private:
    SimOptions options;
    QSemaphore ready;
    std::atomic<bool> listening{false};
};
