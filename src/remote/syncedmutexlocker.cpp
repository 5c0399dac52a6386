#include "remote/syncedmutexlocker.h"

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#define SOLMIR_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#include <sanitizer/tsan_interface.h>
#define SOLMIR_TSAN 1
#endif
#endif

SyncedMutexLocker::SyncedMutexLocker(QMutex* mutex) : mutex(mutex), locked(true)
{
    mutex->lock();
    acquired(mutex);
}

SyncedMutexLocker::SyncedMutexLocker(QMutex* mutex, int tryMs)
    : mutex(mutex), locked(mutex->tryLock(tryMs))
{
    if (locked)
        acquired(mutex);
}

SyncedMutexLocker::~SyncedMutexLocker()
{
    unlock();
}

void SyncedMutexLocker::unlock()
{
    if (!locked)
        return;
    locked = false;
    releasing(mutex);
    mutex->unlock();
}

void SyncedMutexLocker::acquired(QMutex* mutex)
{
#ifdef SOLMIR_TSAN
    __tsan_acquire(mutex);
#else
    Q_UNUSED(mutex)
#endif
}

void SyncedMutexLocker::releasing(QMutex* mutex)
{
#ifdef SOLMIR_TSAN
    __tsan_release(mutex);
#else
    Q_UNUSED(mutex)
#endif
}
