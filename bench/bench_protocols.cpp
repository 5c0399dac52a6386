// Protocols benchmark: a listing of 10,000 links parsed and shown, a filter keystroke over
// 10,000 rows, and a batch of 200 files of 256 KiB against curl fetching the same URLs.
#include "appfixture.h"
#include "httpfakeserver.h"
#include "messageboxwatcher.h"
#include "parameters/parametrip.h"
#include "parameters/parametrpath.h"
#include "parameters/settings.h"
#include "protocols/filedownloader.h"
#include "protocols/modelprotocols.h"
#include "protocols/multiplefilesdownloader.h"
#include "protocols/tabprotocols.h"

#include <QApplication>
#include <QChildEvent>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <algorithm>
#include <cstdio>

using solmirtest::HttpFakeServer;

namespace {

const QString address = QStringLiteral("127.6.4.1");

// The peer runs on its own thread so that it never competes with the client's event loop.
struct ThreadedServer
{
    QThread thread;
    HttpFakeServer* server = new HttpFakeServer;
    bool start()
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
        QMetaObject::invokeMethod(
            server, [this]() { delete server; }, Qt::BlockingQueuedConnection);
        thread.quit();
        thread.wait();
    }
};

// Starts the clock when a listing reply reaches the model: hooks each new downloader as it
// is created, ahead of the model's own connection.
class ReplyClock : public QObject
{
public:
    QElapsedTimer clock;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::ChildAdded) {
            auto* child = static_cast<FileDownloader*>(static_cast<QChildEvent*>(event)->child());
            connect(child, &FileDownloader::downloaded, this, [this]() { clock.start(); });
        }
        return false;
    }
};

QLineEdit* searchEditOf(TabProtocols* tab)
{
    const auto edits = tab->findChildren<QLineEdit*>();
    for (QLineEdit* edit : edits) {
        if (edit->maxLength() == 50)
            return edit;
    }
    return nullptr;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    solmirtest::createSingletons();
    solmirtest::MessageBoxWatcher boxes;
    TabProtocols::setOpenUrlHandler([](const QUrl&) { return true; });

    QStringList names;
    QList<QByteArray> bodies;
    const QByteArray body(256 * 1024, 'p');
    for (int i = 0; i < 10000; ++i) {
        names << QStringLiteral("Протокол_%1_P-%2.xlsx").arg(i, 5, 10, QLatin1Char('0')).arg(i * 7);
        if (i < 200)
            bodies << body;
    }
    ThreadedServer served;
    served.server->publish(names, bodies);
    if (!served.start()) {
        std::fprintf(stderr, "cannot listen on %s:80\n", qPrintable(address));
        return 1;
    }
    Settings::instance()->prIP->setAddress(QHostAddress(address));
    QTemporaryDir dir;
    Settings::instance()->prProtocolsPath->setValue(dir.path());

    TabProtocols tab;
    tab.resize(900, 600);
    ModelProtocols* model = tab.protocolModel();
    QTableView* table = tab.tableView();
    ReplyClock replyClock;
    model->installEventFilter(&replyClock);

    QList<double> listing;
    for (int round = 0; round < 7; ++round) {
        QSignalSpy finished(model, SIGNAL(donwloadFinished()));
        if (round == 0)
            tab.show();
        else
            model->loadProtocols();
        if (!finished.wait(30000) || model->rowCount() != names.size()) {
            std::fprintf(stderr, "listing failed: %d rows\n", model->rowCount());
            return 1;
        }
        table->viewport()->repaint();
        listing << replyClock.clock.nsecsElapsed() / 1e6;
    }

    QLineEdit* search = searchEditOf(&tab);
    QList<double> keystroke;
    const QString typed = QStringLiteral("p-7");
    for (int round = 0; round < 7; ++round) {
        search->clear();
        QCoreApplication::processEvents();
        for (const QChar ch : typed) {
            QElapsedTimer clock;
            clock.start();
            QTest::keyClicks(search, QString(ch));
            table->viewport()->repaint();
            keystroke << clock.nsecsElapsed() / 1e6;
        }
    }
    search->clear();

    QStringList urls;
    const QString base = QStringLiteral("http://%1/protocols/").arg(address);
    for (int i = 0; i < 200; ++i)
        urls << base + names.at(i);
    MultipleFilesDownloader batch(Settings::instance()->prProtocolsPath);
    QSignalSpy done(&batch, SIGNAL(downloaded()));
    QElapsedTimer batchClock;
    batchClock.start();
    batch.download(urls);
    if (!done.wait(120000) || !batch.lastBatchComplete()) {
        std::fprintf(stderr, "batch failed\n");
        return 1;
    }
    const double batchMs = batchClock.nsecsElapsed() / 1e6;

    QStringList curlArgs{QStringLiteral("-s")};
    for (const QString& url : urls)
        curlArgs << QStringLiteral("-o") << QStringLiteral("/dev/null")
                 << QString::fromLatin1(QUrl(url).toEncoded());
    QProcess curl;
    QElapsedTimer curlClock;
    curlClock.start();
    curl.start(QStringLiteral("curl"), curlArgs);
    const bool curlOk = curl.waitForFinished(120000) && curl.exitCode() == 0;
    const double curlMs = curlClock.nsecsElapsed() / 1e6;

    const double listingMedian = median(listing);
    const double keyMax = *std::max_element(keystroke.begin(), keystroke.end());
    std::printf("listing 10000 links, reply to table shown: median %.1f ms, max %.1f ms "
                "(target 50 ms)\n",
                listingMedian, *std::max_element(listing.begin(), listing.end()));
    std::printf("filter keystroke over 10000 rows: median %.1f ms, max %.1f ms (target 30 ms)\n",
                median(keystroke), keyMax);
    std::printf("batch 200 x 256 KiB: %.1f ms; curl same URLs: %s %.1f ms; ratio %.2f "
                "(target 1.5)\n",
                batchMs, curlOk ? "" : "(curl failed)", curlMs, curlOk ? batchMs / curlMs : 0.0);
    const bool met =
        listingMedian <= 50 && median(keystroke) <= 30 && (!curlOk || batchMs <= 1.5 * curlMs);
    return met ? 0 : 2;
}
