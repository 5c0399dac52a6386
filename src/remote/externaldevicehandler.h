#pragma once
// ExternalDeviceHandler: base of a device session whose whole conversation runs on a worker thread.
#include <QObject>

#include <atomic>

class QMutex;
class QThread;

class ExternalDeviceHandler : public QObject
{
    Q_OBJECT
public:
    explicit ExternalDeviceHandler(QObject* parent = nullptr);
    ~ExternalDeviceHandler() override;

    // Starts a new worker thread running process(); an earlier worker is ended and joined
    // first, so two workers never share one session.
    void start();
    // Asks the worker to end and waits for it at most 200 ms.
    void stop();

    static void delay(int ms);

protected:
    virtual void process();
    virtual void customHook();
    // Wakes the worker out of any wait so that it notices the end of running at once.
    virtual void interrupt();
    // stop(), then waits for the worker without a limit. A subclass destructor must call it
    // before its members go, since the worker runs the subclass's process().
    void finish();

    std::atomic<bool> running{false};

private slots:
    void handleDevice();

private:
    void joinRetired(bool deliverBlockedCalls);

    QThread* thread = nullptr;
    // A worker that did not end within stop()'s wait; joined before anything new starts.
    QThread* retired = nullptr;
    QMutex* mutex;
};
