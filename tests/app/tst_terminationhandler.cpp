// A logout, Ctrl+C or `kill` ends the program through its event loop, so that everything a
// normal close does (saving conf.ini) still happens.
#include "app/terminationhandler.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <csignal>

namespace {

// exec() ends either through the handler's quit (0) or through this guard (99).
constexpr int guardExitCode = 99;

void armGuard()
{
    QTimer::singleShot(10000, qApp, [] { QCoreApplication::exit(guardExitCode); });
}

using Handler = void (*)(int);

Handler disposition(int signalNumber)
{
    struct sigaction current = {};
    ::sigaction(signalNumber, nullptr, &current);
    return current.sa_handler;
}

} // namespace

class TestTerminationHandler : public QObject
{
    Q_OBJECT
private slots:
    void signalQuitsTheEventLoop_data();
    void signalQuitsTheEventLoop();
    void signalAlsoLeavesANestedLoop();
    void twoSignalsOfOneLogoutQuitOnce();
    void dispositionsAreRestored();
};

void TestTerminationHandler::signalQuitsTheEventLoop_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void TestTerminationHandler::signalQuitsTheEventLoop()
{
    QFETCH(int, signalNumber);
    TerminationHandler handler;
    QSignalSpy requested(&handler, SIGNAL(terminationRequested(int)));
    QSignalSpy aboutToQuit(qApp, SIGNAL(aboutToQuit()));
    QCOMPARE(handler.receivedSignal(), 0);
    QTimer::singleShot(0, qApp, [signalNumber] { ::raise(signalNumber); });
    armGuard();

    QCOMPARE(QCoreApplication::exec(), 0);
    QCOMPARE(requested.count(), 1);
    QCOMPARE(requested.first().first().toInt(), signalNumber);
    QCOMPARE(handler.receivedSignal(), signalNumber);
    QCOMPARE(aboutToQuit.count(), 1);
}

void TestTerminationHandler::signalAlsoLeavesANestedLoop()
{
    // A message box open at logout runs an event loop of its own; the quit must reach main's.
    TerminationHandler handler;
    bool nestedReturned = false;
    QTimer::singleShot(0, qApp, [&nestedReturned] {
        QTimer::singleShot(50, qApp, [] { ::raise(SIGTERM); });
        QEventLoop nested;
        nested.exec();
        nestedReturned = true;
    });
    armGuard();

    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(nestedReturned);
    QCOMPARE(handler.receivedSignal(), int(SIGTERM));
}

void TestTerminationHandler::twoSignalsOfOneLogoutQuitOnce()
{
    TerminationHandler handler;
    QSignalSpy requested(&handler, SIGNAL(terminationRequested(int)));
    QTimer::singleShot(0, qApp, [] {
        ::raise(SIGHUP);
        ::raise(SIGTERM);
    });
    armGuard();

    QCOMPARE(QCoreApplication::exec(), 0);
    // Both bytes are read in one go; the process is alive to tell.
    QCOMPARE(requested.count(), 1);
    QCOMPARE(handler.receivedSignal(), int(SIGTERM));
}

void TestTerminationHandler::dispositionsAreRestored()
{
    // Whatever was there before (the test framework has handlers of its own) comes back.
    const int numbers[] = {SIGTERM, SIGINT, SIGHUP};
    QList<Handler> before;
    for (const int number : numbers)
        before.append(disposition(number));
    {
        TerminationHandler handler;
        for (int i = 0; i < 3; ++i)
            QVERIFY(disposition(numbers[i]) != before.at(i));
    }
    for (int i = 0; i < 3; ++i)
        QVERIFY(disposition(numbers[i]) == before.at(i));
}

QTEST_GUILESS_MAIN(TestTerminationHandler)
#include "tst_terminationhandler.moc"
