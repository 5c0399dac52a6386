#include "benchsupport.h"

#include "benchdevice.h"
#include "memorysource.h"
#include "recordinghandler.h"
#include "remote/hvnc.h"
#include "remote/rfbprotocol.h"
#include "remote/serverreader.h"

#include <QEventLoop>
#include <QImage>
#include <QMutex>
#include <QTimer>

#include <time.h>

#include <algorithm>
#include <cmath>

namespace benchsupport {

namespace {

bool waitForArrival(BenchDevice& device, QList<BenchDevice::Arrival>& arrivals,
                    const std::function<bool(const QList<BenchDevice::Arrival>&)>& done)
{
    for (int i = 0; i < 150; ++i) {
        arrivals += device.takeInput();
        if (done(arrivals))
            return true;
        waitPrecise(20);
    }
    return false;
}

} // namespace

qint64 nowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

qint64 threadCpuNs(pthread_t thread)
{
    clockid_t clock;
    if (pthread_getcpuclockid(thread, &clock) != 0)
        return 0;
    timespec ts{};
    clock_gettime(clock, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void waitPrecise(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

Spread spread(std::vector<double> values)
{
    Spread s;
    s.count = int(values.size());
    if (values.empty())
        return s;
    std::sort(values.begin(), values.end());
    s.median = values[values.size() / 2];
    const size_t rank = size_t(std::ceil(0.99 * double(values.size())));
    s.p99 = values[std::min(values.size(), std::max<size_t>(rank, 1)) - 1];
    return s;
}

void PassRate::note()
{
    if (!counting)
        return;
    const qint64 now = nowNs();
    if (passes++ == 0)
        firstNs = now;
    lastNs = now;
}

double PassRate::perSecond() const
{
    const int intervals = passes - 1;
    return intervals > 0 ? intervals / (double(lastNs - firstNs) / 1e9) : 0.0;
}

void WorkerThread::watch(HVNC* session, QObject* context)
{
    QObject::connect(
        session, &HVNC::actionChanged, context,
        [this](int) {
            if (!known.exchange(true))
                id = pthread_self();
        },
        Qt::DirectConnection);
}

PassWindow measurePasses(pthread_t worker, PassRate& rate, int ms)
{
    const pthread_t gui = pthread_self();
    const qint64 workerBefore = threadCpuNs(worker);
    const qint64 guiBefore = threadCpuNs(gui);
    const qint64 wallBefore = nowNs();
    rate.counting = true;
    waitPrecise(ms);
    rate.counting = false;
    PassWindow window;
    window.wallNs = double(nowNs() - wallBefore);
    window.workerNs = threadCpuNs(worker) - workerBefore;
    window.guiNs = threadCpuNs(gui) - guiBefore;
    return window;
}

double storeMsPerFrame(QSize size)
{
    QImage image(size, QImage::Format_RGB16);
    image.fill(Qt::black);
    QByteArray update = QByteArray::fromHex("00000001");
    rfb::appendU16(update, 0);
    rfb::appendU16(update, 0);
    rfb::appendU16(update, quint16(size.width()));
    rfb::appendU16(update, quint16(size.height()));
    rfb::appendU32(update, quint32(rfb::encodingRaw));
    QByteArray pixels(size.width() * size.height() * 2, '\0');
    for (int i = 0; i < pixels.size(); ++i)
        pixels[i] = char(i * 7);
    update += pixels;
    RecordingHandler handler(&image);
    std::vector<double> times;
    for (int run = 0; run < 41; ++run) {
        // A prepared answer that has wholly arrived: what the reader costs without the network.
        MemorySource source(update);
        ServerReader reader(source);
        const qint64 start = nowNs();
        const char message = handler.read(reader);
        times.push_back(double(nowNs() - start) / 1e6);
        if (message != 'U')
            return -1;
    }
    return spread(times).median;
}

std::vector<double> typingLatenciesMs(BenchDevice& device, int count,
                                      const std::function<QByteArray(int, bool)>& type)
{
    struct Sent
    {
        QByteArray message;
        qint64 atNs;
    };
    std::vector<Sent> sent;
    device.takeInput();
    for (int i = 0; i < count; ++i) {
        qint64 at = nowNs();
        QByteArray message = type(i, true);
        sent.push_back(Sent{message, at});
        waitPrecise(10);
        at = nowNs();
        message = type(i, false);
        sent.push_back(Sent{message, at});
        waitPrecise(50 + (i * 37) % 97);
    }
    QList<BenchDevice::Arrival> arrivals;
    const QByteArray last = sent.back().message;
    waitForArrival(device, arrivals, [&](const QList<BenchDevice::Arrival>& got) {
        return !got.isEmpty() && got.last().message == last;
    });
    // In order: a message the client dropped is skipped, the rest keep their order.
    std::vector<double> latencies;
    int next = 0;
    for (const Sent& s : sent) {
        for (int j = next; j < arrivals.size(); ++j) {
            if (arrivals.at(j).message == s.message) {
                latencies.push_back(double(arrivals.at(j).atNs - s.atNs) / 1e6);
                next = j + 1;
                break;
            }
        }
    }
    return latencies;
}

std::vector<double> dragLatenciesMs(BenchDevice& device, int count, int firstX,
                                    const std::function<void(int x)>& move)
{
    std::vector<qint64> sentAt;
    device.takeInput();
    for (int i = 0; i < count; ++i) {
        sentAt.push_back(nowNs());
        move(firstX + i);
        waitPrecise(10);
    }
    const int lastX = firstX + count - 1;
    const auto xOf = [](const QByteArray& m) { return rfb::readU16(m, 2); };
    const auto held = [](const QByteArray& m) { return m.size() == 6 && (m.at(1) & 1) != 0; };
    QList<BenchDevice::Arrival> arrivals;
    waitForArrival(device, arrivals, [&](const QList<BenchDevice::Arrival>& got) {
        return std::any_of(got.begin(), got.end(), [&](const BenchDevice::Arrival& a) {
            return held(a.message) && int(xOf(a.message)) >= lastX;
        });
    });
    std::vector<double> latencies;
    int next = 0;
    for (int i = 0; i < count; ++i) {
        while (next < arrivals.size() && !(held(arrivals.at(next).message) &&
                                           int(xOf(arrivals.at(next).message)) >= firstX + i))
            ++next;
        if (next == arrivals.size())
            break;
        latencies.push_back(double(arrivals.at(next).atNs - sentAt[size_t(i)]) / 1e6);
    }
    return latencies;
}

} // namespace benchsupport
