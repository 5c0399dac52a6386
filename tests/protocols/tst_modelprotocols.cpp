// The protocol model and its downloader: marks, refresh, failed, stale or oversized replies.
#include "appfixture.h"
#include "httpfakeserver.h"
#include "parameters/parametrip.h"
#include "parameters/parametrstring.h"
#include "parameters/settings.h"
#include "protocols/filedownloader.h"
#include "protocols/modelprotocols.h"
#include "protocols/tabulonsortfilterproxymodel.h"
#include "protocols/transferguard.h"
#include "threadedserver.h"

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

bool load(ModelProtocols& model)
{
    QSignalSpy finished(&model, SIGNAL(donwloadFinished()));
    model.loadProtocols();
    return finished.wait(10000);
}

} // namespace

class TestModelProtocols : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void marksAndRefresh();
    void failedListingGivesEmptyList_data();
    void failedListingGivesEmptyList();
    void staleQueuedReplyIsDropped();
    void oversizedBodyIsRefused();

private:
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
    TransferGuard::setLimits(TransferGuard::defaultSilenceMs, TransferGuard::defaultSpeedTimeMs);
}

void TestModelProtocols::marksAndRefresh()
{
    server->publish({"b.xlsx", "a.xlsx", "c.xlsx"}, {});
    ModelProtocols model;
    QVERIFY(load(model));
    QCOMPARE(names(&model), (QStringList{"b.xlsx", "a.xlsx", "c.xlsx"}));
    const QModelIndex first = model.index(0, 0);
    QCOMPARE(first.data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    // The view draws the mark but never toggles or edits it: the tab toggles it on a click.
    QVERIFY(!model.flags(first).testFlag(Qt::ItemIsUserCheckable));
    QVERIFY(!model.flags(first).testFlag(Qt::ItemIsEditable));
    QVERIFY(!model.setData(first, QStringLiteral("renamed"), Qt::EditRole));
    QVERIFY(!model.setData(model.index(5, 0), true, Qt::CheckStateRole));
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QVERIFY(model.setData(first, true, Qt::CheckStateRole));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(first.data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QCOMPARE(first.data().toString(), QStringLiteral("b.xlsx"));

    // A refresh drops the marks and keeps the search that was typed before it.
    model.filterParametr()->setValue(QStringLiteral("C"));
    QVERIFY(load(model));
    QCOMPARE(names(model.proxyModel()), QStringList{"c.xlsx"});
    QCOMPARE(model.rowCount(), 3);
    QVERIFY(!model.index(0, 0).data(Qt::CheckStateRole).toBool());
}

void TestModelProtocols::failedListingGivesEmptyList_data()
{
    QTest::addColumn<HttpFakeReply>("reply");
    QTest::addColumn<QString>("address");
    // Every error page holds links; none of them may reach the list.
    const QByteArray page = HttpFakeServer::listingPage({"error.xlsx"});
    HttpFakeReply redirect = HttpFakeReply::redirect("/elsewhere");
    redirect.body = page;
    QTest::newRow("404") << HttpFakeReply::withStatus(404, page) << mainAddress;
    QTest::newRow("500") << HttpFakeReply::withStatus(500, page) << mainAddress;
    QTest::newRow("302") << redirect << mainAddress;
    QTest::newRow("200 empty") << HttpFakeReply::ok(QByteArray()) << mainAddress;
    // A part of a listing is no listing: none of its links may reach the list either.
    QStringList many;
    for (int i = 0; i < 100; ++i)
        many << QStringLiteral("p%1.xlsx").arg(i);
    const QByteArray listing = HttpFakeServer::listingPage(many);
    HttpFakeReply cutGzip = HttpFakeReply::gzipped(listing);
    cutGzip.mode = HttpFakeReply::Mode::CloseMidBody;
    QTest::newRow("206") << HttpFakeReply::withStatus(206, listing) << mainAddress;
    QTest::newRow("gzip cut against its length") << cutGzip << mainAddress;
    QTest::newRow("trickle") << HttpFakeReply::paced(listing, 10) << mainAddress;
    QTest::newRow("nobody listening") << HttpFakeReply() << "127.6.1.9";
    QTest::newRow("no address") << HttpFakeReply() << QString();
}

void TestModelProtocols::failedListingGivesEmptyList()
{
    QFETCH(HttpFakeReply, reply);
    QFETCH(QString, address);
    server->setReply("/protocols", reply);
    pointAt(address);
    TransferGuard::setLimits(500, 1000);
    ModelProtocols model;
    QVERIFY(load(model));
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(server->countOf("/elsewhere"), 0);
}

void TestModelProtocols::staleQueuedReplyIsDropped()
{
    ThreadedServer<HttpFakeServer> first(new HttpFakeServer);
    HttpFakeReply old = HttpFakeReply::ok(HttpFakeServer::listingPage({"old.xlsx"}));
    old.delayMs = 300;
    first.server->setReply("/protocols", old);
    QVERIFY(first.start(
        [&]() { return first.server->listen(QHostAddress(QStringLiteral("127.6.1.3")), 80); }));
    server->publish({"new.xlsx"}, {});
    ModelProtocols model;
    QSignalSpy finished(&model, SIGNAL(donwloadFinished()));
    pointAt(QStringLiteral("127.6.1.3"));
    model.loadProtocols();
    QTRY_COMPARE_WITH_TIMEOUT(first.server->requestCount(), 1, 10000);
    // Blocked while the first reply arrives, so it waits in the event queue behind the next
    // refresh, as when the operator switches tabs while the session connects.
    QThread::msleep(900);
    pointAt(mainAddress);
    model.loadProtocols();
    QVERIFY(finished.wait(10000));
    QTest::qWait(200);
    QCOMPARE(names(&model), QStringList{"new.xlsx"});
    QCOMPARE(finished.count(), 1);
}

void TestModelProtocols::oversizedBodyIsRefused()
{
    server->setReply("/protocols/big.xlsx", HttpFakeReply::ok(QByteArray(100000, 'x')));
    FileDownloader file(QUrl("http://127.6.1.1/protocols/big.xlsx"));
    file.setMaxSize(50000);
    QSignalSpy done(&file, SIGNAL(downloaded()));
    file.startDownload();
    QVERIFY(done.wait(10000));
    QVERIFY(!file.succeeded());
    QVERIFY(file.downloadedData().isEmpty());
}

QTEST_MAIN(TestModelProtocols)
#include "tst_modelprotocols.moc"
