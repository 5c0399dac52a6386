#pragma once
// MemorySource: the device's bytes held in memory, for the server reader without a network:
// what has arrived is there at once, later pieces come at their time, and after the last one
// the connection has ended.
#include "remote/bytesource.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QPair>

class MemorySource : public ByteSource
{
public:
    // The bytes are not copied: they must outlive the source.
    explicit MemorySource(const QByteArray& arrived = QByteArray());
    MemorySource(const char* data, qint64 size);

    // bytes arrive ms after the source was made.
    void arriveAfter(int ms, const QByteArray& bytes);
    bool atEnd() const;
    // The next bytes to be read, without taking them.
    QByteArray peek(int count) const;

    qint64 readSome(char* data, qint64 maxBytes, const QDeadlineTimer& deadline) override;
    // Nothing is dropped: the rest of any stream may as well arrive just after a drop.
    void discardWaiting() override {}
    bool isConnected() const override { return true; }

private:
    const char* data;
    qint64 size;
    qint64 pos = 0;
    QList<QPair<int, QByteArray>> later;
    QByteArray current;
    QElapsedTimer clock;
};
