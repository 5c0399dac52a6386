#pragma once
// Clocks, spreads and input drivers shared by the remote screen benchmarks.
#include <QByteArray>
#include <QSize>

#include <pthread.h>

#include <atomic>
#include <functional>
#include <vector>

class BenchDevice;
class HVNC;
class QObject;

namespace benchsupport {

// CLOCK_MONOTONIC in nanoseconds; the same clock on every thread.
qint64 nowNs();
// CPU time one thread has used, in nanoseconds.
qint64 threadCpuNs(pthread_t thread);
// Runs the event loop for ms to the millisecond, sleeping while there is nothing to do.
void waitPrecise(int ms);

struct Spread
{
    double median = 0;
    double p99 = 0;
    int count = 0;
};
Spread spread(std::vector<double> values);

// Passes per second from the ends of the passes themselves, not from a count over a window,
// which would be coarse at ten passes a second. note() is called on the session's thread as
// each pass ends.
struct PassRate
{
    std::atomic<bool> counting{false};
    std::atomic<int> passes{0};
    std::atomic<qint64> firstNs{0};
    std::atomic<qint64> lastNs{0};
    void note();
    double perSecond() const;
};

// The session's worker thread, learnt from its first actionChanged(), which the worker emits.
struct WorkerThread
{
    std::atomic<bool> known{false};
    pthread_t id{};
    // context must outlive the connection's use; it is the receiver the slot runs "in".
    void watch(HVNC* session, QObject* context);
};

// CPU time of the worker and of this (GUI) thread over a window of ms, while rate takes the
// ends of the passes.
struct PassWindow
{
    double wallNs = 0;
    qint64 workerNs = 0;
    qint64 guiNs = 0;
};
PassWindow measurePasses(pthread_t worker, PassRate& rate, int ms);

// Time of the session's own reader taking one whole-frame update that has already arrived into
// the image, in its pieces and under the image lock: median of repeated runs.
double storeMsPerFrame(QSize size);

// Fast typing: count keys, each released 10 ms after its press, the next press 50 to 146 ms
// later so that the keys fall all over the pass cycle. type(i, down) hands the event to the
// client and returns the message the device must receive. Latency: from the hand-over to the
// device having the bytes, one figure per press and per release.
std::vector<double> typingLatenciesMs(BenchDevice& device, int count,
                                      const std::function<QByteArray(int, bool)>& type);

// A drag with the left button held: count moves 10 ms apart, move i at x = firstX + i (one
// pixel to the right each). Latency of a move: from the hand-over to the device having that
// position or a newer one; a move replaced by a newer one in the queue waits for that one.
std::vector<double> dragLatenciesMs(BenchDevice& device, int count, int firstX,
                                    const std::function<void(int x)>& move);

} // namespace benchsupport
