// The password dialog of the remote screen view against a simulated device that demands
// VNC authentication: the right password, a wrong one, a cancelled dialog, and a dialog
// whose attempt ends before it is answered.
#include "appfixture.h"
#include "messageboxwatcher.h"
#include "remote/displayframe.h"
#include "remote/hvnc.h"
#include "remotescreenfixture.h"
#include "rfbfakeserver.h"
#include "simulator/rfbserver.h"
#include "simulator/simoptions.h"

#include <QElapsedTimer>
#include <QInputDialog>
#include <QLineEdit>
#include <QTimer>
#include <QtTest>

namespace {

constexpr int kConnectMs = 20000;

// Answers the password dialog from inside its own event loop, where the test's code
// cannot run.
class DialogAnswerer : public QObject
{
public:
    DialogAnswerer(const QString& answer, bool accept) : text(answer), accepting(accept)
    {
        QObject::connect(&timer, &QTimer::timeout, [this] { poll(); });
        timer.start(20);
    }

    int seen = 0;
    QString title;
    QString label;
    QLineEdit::EchoMode echo = QLineEdit::Password;

private:
    void poll()
    {
        QInputDialog* dialog = RemoteScreenFixture::visibleInputDialog();
        if (!dialog || dialog == last)
            return;
        last = dialog;
        ++seen;
        title = dialog->windowTitle();
        label = dialog->labelText();
        echo = dialog->textEchoMode();
        auto* line = dialog->findChild<QLineEdit*>();
        if (line)
            QTest::keyClicks(line, text);
        if (accepting)
            dialog->accept();
        else
            dialog->reject();
    }

    QTimer timer;
    QString text;
    bool accepting;
    QPointer<QInputDialog> last;
};

} // namespace

class TestDisplayFramePassword : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void attempt_data();
    void attempt();
    void promptEndsWithItsAttempt_data();
    void promptEndsWithItsAttempt();

private:
    std::unique_ptr<RfbServer> device;
};

void TestDisplayFramePassword::initTestCase()
{
    solmirtest::createSingletons();
    const QString address = QStringLiteral("127.5.3.1");
    SimOptions options = RemoteScreenFixture::deviceOptions(address);
    options.password = QStringLiteral("solmir");
    device = RemoteScreenFixture::startDevice(options);
    QVERIFY(device);
}

void TestDisplayFramePassword::attempt_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<bool>("connects");
    QTest::addColumn<QStringList>("boxTexts");
    QTest::newRow("right password") << "solmir" << true << true << QStringList();
    QTest::newRow("wrong password")
        << "wrong" << true << false << QStringList{QStringLiteral("Введен неверный пароль!")};
    QTest::newRow("cancelled") << "solmir" << false << false << QStringList();
}

void TestDisplayFramePassword::attempt()
{
    QFETCH(QString, typed);
    QFETCH(bool, accept);
    QFETCH(bool, connects);
    QFETCH(QStringList, boxTexts);
    RemoteScreenFixture::setDeviceAddress(QStringLiteral("127.5.3.1"));
    solmirtest::MessageBoxWatcher boxes;
    DialogAnswerer answerer(typed, accept);
    QWidget window;
    auto* view = new DisplayFrame(&window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    view->session()->setAction(HVNC::Connect);
    QTRY_COMPARE_WITH_TIMEOUT(answerer.seen, 1, kConnectMs);
    QCOMPARE(answerer.title, QStringLiteral("Авторизация"));
    QCOMPARE(answerer.label, QStringLiteral("Введите пароль"));
    QCOMPARE(answerer.echo, QLineEdit::Normal);
    if (connects) {
        QTRY_VERIFY_WITH_TIMEOUT(view->session()->isReady(), kConnectMs);
        QCOMPARE(view->size(), QSize(800, 480));
        view->session()->setErrorShown(true);
        view->session()->setAction(HVNC::Disconnect);
    }
    QTRY_COMPARE_WITH_TIMEOUT(view->session()->action(), int(HVNC::Idle), kConnectMs);
    QTest::qWait(300);
    QCOMPARE(boxes.texts(), boxTexts);
    QCOMPARE(answerer.seen, 1);
}

void TestDisplayFramePassword::promptEndsWithItsAttempt_data()
{
    QTest::addColumn<bool>("serverDrops"); // else the operator's disconnect
    QTest::newRow("server drops") << true;
    QTest::newRow("disconnect") << false;
}

void TestDisplayFramePassword::promptEndsWithItsAttempt()
{
    QFETCH(bool, serverDrops);
    const QString address = QStringLiteral("127.5.3.2");
    RfbFakeServer server;
    server.securityTypes = QByteArray::fromHex("02");
    server.password = QStringLiteral("solmir");
    QVERIFY(server.listen(QHostAddress(address)));
    RemoteScreenFixture::setDeviceAddress(address);
    solmirtest::MessageBoxWatcher boxes;
    QWidget window;
    auto* view = new DisplayFrame(&window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    // Runs inside the prompt's event loop: ends the attempt as soon as the prompt is up, and
    // closes a prompt left open by it.
    int prompts = 0;
    bool orphan = false;
    QElapsedTimer since;
    QPointer<QInputDialog> seen;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QInputDialog* dialog = RemoteScreenFixture::visibleInputDialog();
        if (dialog && dialog != seen) {
            seen = dialog;
            ++prompts;
            since.start();
            if (serverDrops) {
                server.closeClient();
            } else {
                view->session()->setErrorShown(true);
                view->session()->setAction(HVNC::Disconnect);
            }
        } else if (dialog && since.elapsed() > 3000) {
            orphan = true;
            dialog->reject();
        }
    });
    poll.start(20);

    view->session()->setAction(HVNC::Connect);
    QTRY_COMPARE_WITH_TIMEOUT(prompts, 1, kConnectMs);
    QTRY_VERIFY_WITH_TIMEOUT(!RemoteScreenFixture::visibleInputDialog(), kConnectMs);
    QTRY_COMPARE_WITH_TIMEOUT(view->session()->action(), int(HVNC::Idle), kConnectMs);
    QTest::qWait(300);
    QVERIFY(!orphan);
    // The worker or the socket's own report names the cause, whichever comes first.
    QCOMPARE(boxes.count(), serverDrops ? 1 : 0);
    if (serverDrops)
        QVERIFY(boxes.texts().first().contains(
            HVNC::socketErrorText(QAbstractSocket::RemoteHostClosedError)));
    QVERIFY(server.chosenSecurity().isEmpty());
}

QTEST_MAIN(TestDisplayFramePassword)
#include "tst_displayframe_password.moc"
