#pragma once
// TerminationHandler: turns SIGTERM, SIGINT and SIGHUP into an orderly quit of the event loop,
// so that the main window's destructor still saves conf.ini at a session logout.
#include <QObject>

class QSocketNotifier;

class TerminationHandler : public QObject
{
    Q_OBJECT
public:
    explicit TerminationHandler(QObject* parent = nullptr);
    // Restores the dispositions that were in force before.
    ~TerminationHandler() override;

    // The signal that asked for the quit, 0 while none has.
    int receivedSignal() const { return received; }

signals:
    void terminationRequested(int signalNumber);

private slots:
    void onSignalPipe();

private:
    QSocketNotifier* notifier = nullptr;
    int received = 0;
};
