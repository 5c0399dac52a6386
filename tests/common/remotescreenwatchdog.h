#pragma once
// RemoteScreenWatchdog: aborts the test process when a guarded operation does not finish
// within its limit, so that a hang shows as a failure instead of a stuck test.
#include <condition_variable>
#include <mutex>
#include <thread>

class RemoteScreenWatchdog
{
public:
    RemoteScreenWatchdog(int limitMs, const char* what);
    // Marks the operation done and joins the watching thread.
    ~RemoteScreenWatchdog();

private:
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::thread watcher;
};
