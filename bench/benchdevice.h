#pragma once
// BenchDevice: an RFB peer on a thread of its own that notes when each input message arrives.
// Either a server that answers every request at once with one update prepared in advance, so
// that a pass times the client only, or the animated simulator, which draws a new screen
// several times a second as the device does.
#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QSemaphore>
#include <QSize>
#include <QString>
#include <QThread>

#include <atomic>
#include <pthread.h>

class BenchDevice : public QThread
{
    Q_OBJECT
public:
    enum Kind
    {
        PreparedFrame,
        AnimatedSimulator
    };
    struct Arrival
    {
        QByteArray message;
        qint64 atNs = 0; // CLOCK_MONOTONIC, comparable with the client's clock
    };

    BenchDevice(Kind kind, const QString& address, QSize size);
    ~BenchDevice() override;

    // Starts the thread and waits until the device listens on address:5900.
    bool startDevice();
    // The KeyEvent and PointerEvent messages received since the last call, in order.
    QList<Arrival> takeInput();
    // The device's thread, valid once startDevice() has returned.
    pthread_t threadId() const { return thread; }

protected:
    void run() override;

private:
    void note(const QByteArray& message);

    const Kind kind;
    const QString address;
    const QSize size;
    QSemaphore ready;
    std::atomic<bool> listening{false};
    pthread_t thread{};
    QMutex inputMutex;
    QList<Arrival> input;
};
