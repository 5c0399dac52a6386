#pragma once
// RfbSessionHarness: an HVNC session wired as the screen view wires it, recording what the operator
// would see.
#include "remote/hvnc.h"

#include <QList>
#include <QObject>
#include <QStringList>

#include <functional>

class RfbSessionHarness : public QObject
{
    Q_OBJECT
public:
    // Builds the program's single objects, points prIP at address and starts a session.
    explicit RfbSessionHarness(const QString& address, QObject* parent = nullptr);
    ~RfbSessionHarness() override;

    HVNC* session = nullptr;
    QStringList statuses;
    QList<int> actions;
    QList<bool> connectStates;
    int updates = 0;
    int passwordRequests = 0;

    // How the "operator" answers the password dialog.
    QString passwordAnswer;
    bool passwordAccepted = true;
    // Runs inside the blocking updateDisplay() delivery, while the worker stands still.
    std::function<void()> onUpdateHook;

    void connectSession();
    void disconnectSession();
    // Processes events until cond holds or timeoutMs passes.
    static bool waitFor(const std::function<bool()>& cond, int timeoutMs = 20000);
    // Waits until the worker has moved to action and stays there.
    bool waitForAction(int action, int timeoutMs = 20000);
    // Waits until the session came back to Idle after having left it.
    bool waitForIdleAfter(int timeoutMs = 30000);
    quint16 pixel(int x, int y);
    void deleteSession();

    // Peak resident memory of this process in KiB.
    static qint64 peakRssKiB();
    // A memory figure of this process from the kernel, as "VmRSS:", in KiB.
    static qint64 statusKiB(const QByteArray& field);

private slots:
    void onStatus(QString text, int type);
    void onAction(int action);
    void onConnectState(bool connected);
    void onUpdated();
    void onPassword();
};
