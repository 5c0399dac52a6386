#pragma once
// SyncedMutexLocker: QMutexLocker that also tells ThreadSanitizer about the lock, which Qt's futex
// mutex hides from it.
#include <QMutex>

class SyncedMutexLocker
{
public:
    explicit SyncedMutexLocker(QMutex* mutex);
    ~SyncedMutexLocker();
    SyncedMutexLocker(const SyncedMutexLocker&) = delete;
    SyncedMutexLocker& operator=(const SyncedMutexLocker&) = delete;

    // For locks taken or released by hand (tryLock): call right after taking, right before
    // releasing.
    static void acquired(QMutex* mutex);
    static void releasing(QMutex* mutex);

private:
    QMutex* mutex;
};
