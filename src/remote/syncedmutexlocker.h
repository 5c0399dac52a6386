#pragma once
// SyncedMutexLocker: QMutexLocker that also tells ThreadSanitizer about the lock, which Qt's futex
// mutex hides from it.
#include <QMutex>

class SyncedMutexLocker
{
public:
    explicit SyncedMutexLocker(QMutex* mutex);
    // Waits at most tryMs for the lock; owns() tells whether it was taken.
    SyncedMutexLocker(QMutex* mutex, int tryMs);
    ~SyncedMutexLocker();
    SyncedMutexLocker(const SyncedMutexLocker&) = delete;
    SyncedMutexLocker& operator=(const SyncedMutexLocker&) = delete;

    // For hand-overs Qt makes invisible (a thread join): call right after taking, right before
    // releasing.
    static void acquired(QMutex* mutex);
    static void releasing(QMutex* mutex);

    bool owns() const { return locked; }
    void unlock();

private:
    QMutex* mutex;
    bool locked = false;
};
