// The protocol model: roles, marks, the search filter and the listing refresh over real HTTP.
#include "appfixture.h"
#include "httpfakeserver.h"
#include "parameters/parametrip.h"
#include "parameters/parametrstring.h"
#include "parameters/settings.h"
#include "protocols/downloadprogress.h"
#include "protocols/modelprotocols.h"
#include "protocols/tabulonsortfilterproxymodel.h"

#include <QProgressBar>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

using solmirtest::HttpFakeReply;
using solmirtest::HttpFakeServer;

namespace {

const QString mainAddress = QStringLiteral("127.6.1.1");

void pointAt(const QString& address)
{
    Settings::instance()->prIP->setAddress(QHostAddress(address));
}

QStringList names(const QAbstractItemModel* model)
{
    QStringList list;
    for (int row = 0; row < model->rowCount(); ++row)
        list << model->index(row, 0).data().toString();
    return list;
}

// Runs a server on a thread of its own, so it answers while the GUI thread is blocked.
struct ThreadedServer
{
    QThread thread;
    HttpFakeServer* server = new HttpFakeServer;
    bool start(const QString& address)
    {
        server->moveToThread(&thread);
        thread.start();
        bool ok = false;
        QMetaObject::invokeMethod(
            server, [&]() { ok = server->listen(QHostAddress(address), 80); },
            Qt::BlockingQueuedConnection);
        return ok;
    }
    ~ThreadedServer()
    {
        if (thread.isRunning())
            QMetaObject::invokeMethod(
                server, [this]() { delete server; }, Qt::BlockingQueuedConnection);
        else
            delete server;
        thread.quit();
        thread.wait();
    }
};

} // namespace

class TestModelProtocols : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void searchParametrIsBoundedAndNotStored();
    void rolesHeadersAndMarks();
    void setDataRefusesOtherRoles();
    void setAllSelectedAndRefreshClearMarks();
    void searchFilter_data();
    void searchFilter();
    void refreshAppliesCurrentFilter();
    void refreshShowsOverlayUntilReply();
    void refreshErrorRepliesGiveEmptyList_data();
    void refreshErrorRepliesGiveEmptyList();
    void refreshWithoutServerOrAddress();
    void twoQuickRefreshesKeepTheLater();
    void staleQueuedReplyIsDropped();

private:
    bool load(ModelProtocols& model);
    HttpFakeServer* server = nullptr;
};

void TestModelProtocols::initTestCase()
{
    solmirtest::createSingletons();
}

void TestModelProtocols::init()
{
    server = new HttpFakeServer(this);
    QVERIFY(server->listen(QHostAddress(mainAddress), 80));
    pointAt(mainAddress);
}

void TestModelProtocols::cleanup()
{
    delete server;
    server = nullptr;
}

bool TestModelProtocols::load(ModelProtocols& model)
{
    QSignalSpy finished(&model, SIGNAL(donwloadFinished()));
    model.loadProtocols();
    return finished.wait(10000);
}

void TestModelProtocols::searchParametrIsBoundedAndNotStored()
{
    ModelProtocols model;
    QCOMPARE(model.filterParametr()->maxLength(), 50);
    QCOMPARE(model.filterParametr()->value(), QString());
    QCOMPARE(model.filterParametr()->caption(), QStringLiteral("Поиск по имени протокола"));
    QCOMPARE(model.proxyModel()->sourceModel(), &model);
    QCOMPARE(ModelProtocols::instance(), &model);
}

void TestModelProtocols::rolesHeadersAndMarks()
{
    server->publish({"b.xlsx", "a.xlsx", "c.xlsx"}, {});
    ModelProtocols model;
    QVERIFY(load(model));
    QCOMPARE(names(&model), (QStringList{"b.xlsx", "a.xlsx", "c.xlsx"}));
    QCOMPARE(model.columnCount(), 1);
    const QModelIndex first = model.index(0, 0);
    QCOMPARE(first.data(Qt::EditRole).toString(), QStringLiteral("b.xlsx"));
    QCOMPARE(first.data(Qt::CheckStateRole).toInt(), 0);
    QVERIFY(!first.data(Qt::ToolTipRole).isValid());
    // The view draws the mark but never toggles or edits it itself.
    QVERIFY(model.flags(first).testFlag(Qt::ItemIsSelectable));
    QVERIFY(model.flags(first).testFlag(Qt::ItemIsEnabled));
    QVERIFY(!model.flags(first).testFlag(Qt::ItemIsUserCheckable));
    QVERIFY(!model.flags(first).testFlag(Qt::ItemIsEditable));
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Имя протокола"));
    QVERIFY(!model.headerData(1, Qt::Horizontal).isValid());
    QVERIFY(!model.headerData(0, Qt::Horizontal, Qt::ToolTipRole).isValid());
    QCOMPARE(model.headerData(0, Qt::Vertical).toString(), QStringLiteral("1"));
    QCOMPARE(model.headerData(2, Qt::Vertical).toString(), QStringLiteral("3"));

    QSignalSpy changed(&model, SIGNAL(dataChanged(QModelIndex, QModelIndex, QVector<int>)));
    QVERIFY(model.setData(first, QVariant(true), Qt::CheckStateRole));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(first.data(Qt::CheckStateRole).toInt(), 2);
    QVERIFY(first.data(Qt::CheckStateRole).toBool());
    QVERIFY(model.setData(first, QVariant(int(Qt::Unchecked)), Qt::CheckStateRole));
    QVERIFY(!first.data(Qt::CheckStateRole).toBool());
    QVERIFY(model.setData(first, QVariant(int(Qt::Checked)), Qt::CheckStateRole));
    QVERIFY(first.data(Qt::CheckStateRole).toBool());

    // The proxy keeps numbering rows from the top after sorting.
    model.proxyModel()->sort(0, Qt::DescendingOrder);
    QCOMPARE(names(model.proxyModel()), (QStringList{"c.xlsx", "b.xlsx", "a.xlsx"}));
    for (int row = 0; row < 3; ++row)
        QCOMPARE(model.proxyModel()->headerData(row, Qt::Vertical).toString(),
                 QString::number(row + 1));
}

void TestModelProtocols::setDataRefusesOtherRoles()
{
    server->publish({"a.xlsx"}, {});
    ModelProtocols model;
    QVERIFY(load(model));
    QVERIFY(!model.setData(model.index(0, 0), QStringLiteral("renamed"), Qt::EditRole));
    QVERIFY(!model.setData(model.index(0, 0), QStringLiteral("renamed"), Qt::DisplayRole));
    QVERIFY(!model.setData(model.index(5, 0), true, Qt::CheckStateRole));
    QCOMPARE(names(&model), QStringList{"a.xlsx"});
}

void TestModelProtocols::setAllSelectedAndRefreshClearMarks()
{
    server->publish({"a.xlsx", "b.xlsx"}, {});
    ModelProtocols model;
    QVERIFY(load(model));
    QSignalSpy reset(&model, SIGNAL(modelReset()));
    model.setAllSelected(true);
    QCOMPARE(reset.count(), 1);
    QVERIFY(model.index(0, 0).data(Qt::CheckStateRole).toBool());
    QVERIFY(model.index(1, 0).data(Qt::CheckStateRole).toBool());
    QVERIFY(load(model));
    QCOMPARE(model.rowCount(), 2);
    QVERIFY(!model.index(0, 0).data(Qt::CheckStateRole).toBool());
    QVERIFY(!model.index(1, 0).data(Qt::CheckStateRole).toBool());
}

void TestModelProtocols::searchFilter_data()
{
    QTest::addColumn<QString>("search");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<int>("entries");
    QTest::newRow("empty") << "" << QStringList{"Ab1.xlsx", "ax1.xlsx", "b22.xlsx", "C.xlsx"} << 0;
    QTest::newRow("star") << "*" << QStringList{"Ab1.xlsx", "ax1.xlsx", "b22.xlsx", "C.xlsx"} << 0;
    QTest::newRow("contains any case") << "B" << QStringList{"Ab1.xlsx", "b22.xlsx"} << 1;
    QTest::newRow("letter question digit") << "A?1" << QStringList{"Ab1.xlsx", "ax1.xlsx"} << 1;
    QTest::newRow("set") << "[2c]" << QStringList{"b22.xlsx", "C.xlsx"} << 1;
    QTest::newRow("inner star") << "a*2" << QStringList() << 1;
    QTest::newRow("none") << "zz" << QStringList() << 1;
    QTest::newRow("double star") << "**"
                                 << QStringList{"Ab1.xlsx", "ax1.xlsx", "b22.xlsx", "C.xlsx"} << 1;
}

void TestModelProtocols::searchFilter()
{
    QFETCH(QString, search);
    QFETCH(QStringList, shown);
    QFETCH(int, entries);
    server->publish({"Ab1.xlsx", "ax1.xlsx", "b22.xlsx", "C.xlsx"}, {});
    ModelProtocols model;
    QVERIFY(load(model));
    model.filterParametr()->setValue(search);
    model.applyFilter();
    QCOMPARE(model.proxyModel()->filterList().size(), entries);
    QCOMPARE(names(model.proxyModel()), shown);
}

void TestModelProtocols::refreshAppliesCurrentFilter()
{
    server->publish({"one.xlsx", "two.xlsx"}, {});
    ModelProtocols model;
    model.filterParametr()->setValue(QStringLiteral("TW"));
    QVERIFY(load(model));
    QCOMPARE(names(model.proxyModel()), QStringList{"two.xlsx"});
}

void TestModelProtocols::refreshShowsOverlayUntilReply()
{
    HttpFakeReply slow = HttpFakeReply::ok(HttpFakeServer::listingPage({"a.xlsx"}));
    slow.delayMs = 200;
    server->setReply("/protocols", slow);
    QWidget host;
    host.resize(300, 200);
    auto* overlay = new DownloadProgress(&host);
    ModelProtocols model;
    model.setProgressWidget(overlay);
    overlay->finished();
    host.show();
    QSignalSpy cleared(&model, SIGNAL(clearDownloads()));
    QSignalSpy finished(&model, SIGNAL(donwloadFinished()));
    model.loadProtocols();
    QCOMPARE(cleared.count(), 1);
    QCOMPARE(model.rowCount(), 0);
    QVERIFY(overlay->isVisible());
    QVERIFY(!overlay->progressBar()->isVisible());
    QVERIFY(finished.wait(10000));
    QVERIFY(!overlay->isVisible());
    QCOMPARE(names(&model), QStringList{"a.xlsx"});
    QCOMPARE(server->requests(), QList<QByteArray>{"/protocols"});
}

void TestModelProtocols::refreshErrorRepliesGiveEmptyList_data()
{
    QTest::addColumn<int>("status");
    QTest::newRow("404") << 404;
    QTest::newRow("500") << 500;
    QTest::newRow("302") << 302;
    QTest::newRow("200 empty") << 200;
}

void TestModelProtocols::refreshErrorRepliesGiveEmptyList()
{
    QFETCH(int, status);
    // The error page itself holds links; none of them may reach the list.
    const QByteArray page =
        status == 200 ? QByteArray() : HttpFakeServer::listingPage({"error.xlsx"});
    server->setReply("/protocols", HttpFakeReply::withStatus(status, page));
    ModelProtocols model;
    QVERIFY(load(model));
    QCOMPARE(model.rowCount(), 0);
}

void TestModelProtocols::refreshWithoutServerOrAddress()
{
    ModelProtocols model;
    pointAt(QStringLiteral("127.6.1.9"));
    QVERIFY(load(model));
    QCOMPARE(model.rowCount(), 0);
    Settings::instance()->prIP->setAddress(QHostAddress());
    QVERIFY(load(model));
    QCOMPARE(model.rowCount(), 0);
}

void TestModelProtocols::twoQuickRefreshesKeepTheLater()
{
    HttpFakeServer other;
    QVERIFY(other.listen(QHostAddress(QStringLiteral("127.6.1.2")), 80));
    HttpFakeReply slowFirst = HttpFakeReply::ok(HttpFakeServer::listingPage({"first.xlsx"}));
    slowFirst.delayMs = 100;
    server->setReply("/protocols", slowFirst);
    other.publish({"second.xlsx"}, {});
    ModelProtocols model;
    QSignalSpy finished(&model, SIGNAL(donwloadFinished()));
    model.loadProtocols();
    pointAt(QStringLiteral("127.6.1.2"));
    model.loadProtocols();
    QVERIFY(finished.wait(10000));
    // Give the abandoned request every chance to come back.
    QTest::qWait(300);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(names(&model), QStringList{"second.xlsx"});
}

void TestModelProtocols::staleQueuedReplyIsDropped()
{
    ThreadedServer first;
    HttpFakeReply reply = HttpFakeReply::ok(HttpFakeServer::listingPage({"old.xlsx"}));
    reply.delayMs = 300;
    first.server->setReply("/protocols", reply);
    QVERIFY(first.start(QStringLiteral("127.6.1.3")));
    server->publish({"new.xlsx"}, {});
    ModelProtocols model;
    QSignalSpy finished(&model, SIGNAL(donwloadFinished()));
    pointAt(QStringLiteral("127.6.1.3"));
    model.loadProtocols();
    QTRY_COMPARE_WITH_TIMEOUT(first.server->requestCount(), 1, 10000);
    // Block while the first reply arrives, so it waits in the event queue behind the next
    // refresh, exactly as when the operator switches tabs while the session connects.
    QThread::msleep(900);
    pointAt(mainAddress);
    model.loadProtocols();
    QVERIFY(finished.wait(10000));
    QTest::qWait(200);
    QCOMPARE(names(&model), QStringList{"new.xlsx"});
    QCOMPARE(finished.count(), 1);
}

QTEST_MAIN(TestModelProtocols)
#include "tst_modelprotocols.moc"
