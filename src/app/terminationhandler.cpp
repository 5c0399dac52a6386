#include "app/terminationhandler.h"

#include "shell/logging.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int handledSignals[] = {SIGTERM, SIGINT, SIGHUP};

// Only the async-signal-safe part lives in the signal handler: one byte into a pipe that the
// event loop watches. The pipe and the counter are process-wide, as signal dispositions are.
int signalPipe[2] = {-1, -1};
std::atomic<int> pendingSignals{0};
struct sigaction previous[sizeof handledSignals / sizeof handledSignals[0]];

void onSignal(int number)
{
    // A logout may send two different signals at once, so only a third one, while the first is
    // still being served, is taken as insisting: the default action then ends the process.
    if (pendingSignals.fetch_add(1) >= 2) {
        ::signal(number, SIG_DFL);
        ::raise(number);
        return;
    }
    const int savedErrno = errno;
    const char byte = char(number);
    while (::write(signalPipe[1], &byte, 1) < 0 && errno == EINTR) {
    }
    errno = savedErrno;
}

} // namespace

TerminationHandler::TerminationHandler(QObject* parent) : QObject(parent)
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    pendingSignals = 0;
    notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &TerminationHandler::onSignalPipe);

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    int i = 0;
    for (const int number : handledSignals)
        ::sigaction(number, &action, &previous[i++]);
}

TerminationHandler::~TerminationHandler()
{
    if (!notifier)
        return;
    int i = 0;
    for (const int number : handledSignals)
        ::sigaction(number, &previous[i++], nullptr);
    delete notifier;
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

void TerminationHandler::onSignalPipe()
{
    char byte = 0;
    while (::read(signalPipe[0], &byte, 1) > 0)
        received = uchar(byte);
    if (received == 0)
        return;
    qCInfo(lcApp, "signal %d (%s) received: saving the settings and ending", received,
           ::strsignal(received));
    emit terminationRequested(received);
    // Leaves every event loop, nested ones of open dialogs included, so that exec() in main
    // returns and the window is destroyed in order.
    QCoreApplication::quit();
}
