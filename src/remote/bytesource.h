#pragma once
// ByteSource: where the server reader takes the device's bytes from: the session's socket, bytes
// in memory (the reader's test, the fuzzer, the benchmarks) or the recorder's connection.
#include <QDeadlineTimer>
#include <QtGlobal>

class ByteSource
{
public:
    virtual ~ByteSource() = default;

    // Up to maxBytes into data, waiting until the deadline for the first of them. Returns the
    // number read, 0 when the deadline passed first, -1 when no more bytes can come.
    virtual qint64 readSome(char* data, qint64 maxBytes, const QDeadlineTimer& deadline) = 0;
    // Drops what has arrived and not been read, without waiting.
    virtual void discardWaiting() = 0;
    // The connection still stands (bytes already read do not count).
    virtual bool isConnected() const = 0;
};
