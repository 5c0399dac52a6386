// The input ledger as a table: input records in, the messages the device ends up with out, over
// a queue that can refuse a message or push out its oldest one, as the session's does.
#include "remote/inputledger.h"
#include "remote/rfbprotocol.h"

#include <QtEndian>
#include <QtTest>

class TestInputLedger : public QObject
{
    Q_OBJECT
private slots:
    void recordsToMessages_data();
    void recordsToMessages();
};

namespace {

// K+61 a key pressed, K-61 released (keysym in hex), P1@10,20 a PointerEvent.
QString shown(const QByteArray& m)
{
    if (m.at(0) == rfb::KeyEvent)
        return QStringLiteral("K%1%2")
            .arg(m.at(1) ? '+' : '-')
            .arg(qFromBigEndian<quint32>(m.constData() + 4), 0, 16);
    return QStringLiteral("P%1@%2,%3")
        .arg(quint8(m.at(1)))
        .arg(qFromBigEndian<quint16>(m.constData() + 2))
        .arg(qFromBigEndian<quint16>(m.constData() + 4));
}

} // namespace

void TestInputLedger::recordsToMessages_data()
{
    // k41+ / k41- a key (k31=21+: physical 31 sends 21), p1@x,y the buttons held, w+@x,y a
    // notch up; R input taken away, F a new connection, N/Y not ready/ready, x/o the queue
    // refuses/accepts, d it pushes out its oldest for the next message, t the retry timer.
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("device");
    QTest::newRow("press and release") << "k41+ k41-"
                                       << "K+41 K-41";
    QTest::newRow("a release sends its press's keysym") << "k31=21+ k31-"
                                                        << "K+21 K-21";
    QTest::newRow("a refused release is owed") << "k41+ x k41- o t"
                                               << "K+41 K-41";
    QTest::newRow("owed releases go before new input") << "k41+ x k41- o k42+"
                                                       << "K+41 K-41 K+42";
    QTest::newRow("a pushed-out release is sent again") << "k41+ k41- d k42+ d k43+ t"
                                                        << "K+42 K+43 K-41";
    QTest::newRow("a pushed-out pointer is sent again") << "p1@5,5 p0@6,6 d k41+ t"
                                                        << "P0@6,6 K+41 P0@6,6";
    QTest::newRow("a refused press is not held") << "x p1@1,1 k41+ o R"
                                                 << "";
    QTest::newRow("taken away: the last key first, then the buttons")
        << "k41+ k42+ p1@10,20 R"
        << "K+41 K+42 P1@10,20 K-42 K-41 P0@10,20";
    QTest::newRow("nothing held, nothing sent") << "p0@1,1 R"
                                                << "P0@1,1";
    QTest::newRow("a new connection starts clean") << "k41+ p1@1,1 F R"
                                                   << "K+41 P1@1,1";
    QTest::newRow("no connection, nothing held") << "N k41+ p1@1,1 Y R"
                                                 << "";
    QTest::newRow("a notch is a whole click") << "w+@3,4 w-@3,4"
                                              << "P8@3,4 P0@3,4 P16@3,4 P0@3,4";
    QTest::newRow("a notch in mid-drag") << "p1@3,4 w+@3,4 p0@5,6"
                                         << "P1@3,4 P9@3,4 P1@3,4 P0@5,6";
    QTest::newRow("a notch pushed out leaves nothing down") << "w+@3,4 d d w+@3,4 t"
                                                            << "P8@3,4 P0@3,4";
}

void TestInputLedger::recordsToMessages()
{
    QFETCH(QString, script);
    QFETCH(QString, device);
    QList<QByteArray> queue;
    bool refuse = false;
    bool ready = true;
    int pushOut = 0;
    InputLedger ledger(
        [&](const QByteArray& message, int, QList<QByteArray>* dropped) {
            if (refuse)
                return false;
            for (; pushOut > 0 && !queue.isEmpty(); --pushOut)
                dropped->append(queue.takeFirst());
            queue.append(message);
            return true;
        },
        [&]() { return ready; });
    const QRegularExpression record(
        "^([kpw])([0-9a-f]*)(?:=([0-9a-f]+))?([+-])?(?:@(\\d+),(\\d+))?$");
    for (const QString& step : script.split(' ', Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch m = record.match(step);
        if (step == "R")
            ledger.releaseAll();
        else if (step == "F")
            ledger.forget();
        else if (step == "N" || step == "Y")
            ready = step == "Y";
        else if (step == "x" || step == "o")
            refuse = step == "x";
        else if (step == "d")
            ++pushOut;
        else if (step == "t")
            ledger.retry();
        else if (m.captured(1) == "k")
            ledger.key({m.captured(2).toULongLong(nullptr, 16), m.captured(4) == "+",
                        int((m.captured(3).isEmpty() ? m.captured(2) : m.captured(3))
                                .toUInt(nullptr, 16))});
        else if (m.captured(1) == "p")
            ledger.pointer(
                {quint8(m.captured(2).toUInt()), m.captured(5).toInt(), m.captured(6).toInt()});
        else if (m.captured(1) == "w")
            ledger.wheelNotch(m.captured(4) == "+", m.captured(5).toInt(), m.captured(6).toInt());
        else
            QFAIL(qPrintable("unknown step " + step));
    }
    QStringList got;
    for (const QByteArray& message : qAsConst(queue))
        got << shown(message);
    QCOMPARE(got.join(' '), device);
}

QTEST_GUILESS_MAIN(TestInputLedger)
#include "tst_inputledger.moc"
