#include "remotescreenwatchdog.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

RemoteScreenWatchdog::RemoteScreenWatchdog(int limitMs, const char* what)
{
    watcher = std::thread([this, limitMs, what] {
        std::unique_lock<std::mutex> lock(mutex);
        if (!done.wait_for(lock, std::chrono::milliseconds(limitMs), [this] { return finished; })) {
            std::fprintf(stderr, "HANG: %s did not finish within %d ms\n", what, limitMs);
            std::fflush(stderr);
            std::abort();
        }
    });
}

RemoteScreenWatchdog::~RemoteScreenWatchdog()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        finished = true;
    }
    done.notify_all();
    watcher.join();
}
