#include "memorysource.h"

#include <QThread>

#include <algorithm>
#include <cstring>

MemorySource::MemorySource(const QByteArray& arrived)
    : MemorySource(arrived.constData(), arrived.size())
{
}

MemorySource::MemorySource(const char* data, qint64 size) : data(data), size(size)
{
    clock.start();
}

void MemorySource::arriveAfter(int ms, const QByteArray& bytes)
{
    later.append(qMakePair(ms, bytes));
}

bool MemorySource::atEnd() const
{
    return pos >= size && later.isEmpty();
}

QByteArray MemorySource::peek(int count) const
{
    return QByteArray(data + pos, int(std::min<qint64>(count, size - pos)));
}

qint64 MemorySource::readSome(char* into, qint64 maxBytes, const QDeadlineTimer& deadline)
{
    while (pos >= size) {
        if (later.isEmpty())
            return -1;
        const qint64 wait = later.first().first - clock.elapsed();
        if (wait > 0) {
            const qint64 left = deadline.isForever() ? wait : deadline.remainingTime();
            QThread::msleep(ulong(std::max<qint64>(0, std::min(wait, left))));
            if (left < wait)
                return 0;
        }
        current = later.takeFirst().second;
        data = current.constData();
        size = current.size();
        pos = 0;
    }
    const qint64 n = std::min(size - pos, maxBytes);
    std::memcpy(into, data + pos, size_t(n));
    pos += n;
    return n;
}
