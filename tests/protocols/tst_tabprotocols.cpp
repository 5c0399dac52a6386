// The protocols tab end to end: real widgets, a real loopback HTTP peer and real files.
#include "appfixture.h"
#include "httpfakeserver.h"
#include "logcapture.h"
#include "messageboxwatcher.h"
#include "parameters/configurator.h"
#include "parameters/parametrip.h"
#include "parameters/parametrpath.h"
#include "parameters/parametrstring.h"
#include "parameters/settings.h"
#include "parameters/widgets/editfield.h"
#include "parameters/widgets/hpathedit.h"
#include "parameters/widgets/prfield.h"
#include "protocols/downloadprogress.h"
#include "protocols/filedownloader.h"
#include "protocols/modelprotocols.h"
#include "protocols/multiplefilesdownloader.h"
#include "protocols/tabprotocols.h"
#include "protocols/transferguard.h"
#include "remote/displayframe.h"
#include "remote/hvnc.h"
#include "shell/hbutton.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

using solmirtest::HttpFakeReply;
using solmirtest::HttpFakeServer;
using solmirtest::protocolBody;

namespace {

QList<QUrl> openedUrls;

// Stands in for the desktop for "file" URLs, so nothing really opens.
class Desktop : public QObject
{
    Q_OBJECT
public slots:
    void open(const QUrl& url) { openedUrls.append(url); }
};

// A desktop with no application for the file.
bool refuseOpen(const QUrl& url)
{
    openedUrls.append(url);
    return false;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
}

} // namespace

class TestTabProtocols : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void layoutAndSortedListingWhenShown();
    void searchFiltersWhileTyping_data();
    void searchFiltersWhileTyping();
    void clickTogglesMarkSelectAllAndClear();
    void downloadSelectedVisibleInShownOrder();
    void openFileAndFolder();
    void encodedNamesStayInTheFolder();
    void failedDownloadsWriteNothing_data();
    void failedDownloadsWriteNothing();
    void openedFileIsTheSavedFile_data();
    void openedFileIsTheSavedFile();
    void refreshDuringOpenFileEnablesButtons();
    void switchingTabsRefetchesAndClearsMarks();

private:
    void showTab();
    void press(int id) { QTest::mouseClick(tab->button(id), Qt::LeftButton); }
    QLineEdit* lineEditOf(HAbstractParametr* parametr) const;
    QLineEdit* searchEdit() const { return lineEditOf(tab->protocolModel()->filterParametr()); }
    QLineEdit* folderEdit() const { return lineEditOf(Settings::instance()->prProtocolsPath); }
    QStringList shownNames() const;
    QList<bool> shownMarks() const;
    void clickRow(int row);
    QMap<QString, QByteArray> writtenFiles() const;
    HttpFakeServer* server = nullptr;
    QTemporaryDir* dir = nullptr;
    QString folder;
    QTabWidget* tabs = nullptr;
    TabProtocols* tab = nullptr;
    solmirtest::MessageBoxWatcher* boxes = nullptr;
    Desktop desktop;
    QByteArray home;
};

void TestTabProtocols::initTestCase()
{
    solmirtest::createSingletons();
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &desktop, "open");
    home = qgetenv("HOME");
}

void TestTabProtocols::init()
{
    server = new HttpFakeServer(this);
    QVERIFY(server->listen(QHostAddress(QStringLiteral("127.6.3.1")), 80));
    server->publish(
        {"b.xlsx", "A.xlsx", "c.xlsx", "a.xlsx"},
        {protocolBody("B"), protocolBody("big A"), protocolBody("C"), protocolBody("small a")});
    Settings::instance()->prIP->setAddress(QHostAddress(QStringLiteral("127.6.3.1")));
    dir = new QTemporaryDir;
    QVERIFY(dir->isValid());
    folder = dir->path() + "/protocols";
    Settings::instance()->prProtocolsPath->setValue(folder);
    openedUrls.clear();
    boxes = new solmirtest::MessageBoxWatcher;
    tabs = new QTabWidget;
    tabs->addTab(new QWidget, QStringLiteral("Управление"));
    tab = new TabProtocols(tabs);
    tabs->addTab(tab, QStringLiteral("Протоколы СОЛМИР-3"));
    tabs->resize(900, 600);
}

void TestTabProtocols::cleanup()
{
    delete tabs;
    delete boxes;
    delete server;
    delete dir;
    TransferGuard::setLimits(TransferGuard::defaultSilenceMs, TransferGuard::defaultSpeedTimeMs);
    TabProtocols::setOpenUrlHandler(nullptr);
    qputenv("HOME", home);
}

void TestTabProtocols::showTab()
{
    QSignalSpy finished(tab->protocolModel(), SIGNAL(donwloadFinished()));
    tabs->show();
    tabs->setCurrentWidget(tab);
    QVERIFY(finished.wait(10000));
}

QLineEdit* TestTabProtocols::lineEditOf(HAbstractParametr* parametr) const
{
    for (PrField* field : tab->findChildren<PrField*>()) {
        if (field->editField() && field->editField()->parametr() == parametr) {
            QWidget* editor = field->editField()->editor();
            auto* path = qobject_cast<HPathEdit*>(editor);
            return path ? path->lineEdit() : qobject_cast<QLineEdit*>(editor);
        }
    }
    return nullptr;
}

QStringList TestTabProtocols::shownNames() const
{
    QStringList list;
    QAbstractItemModel* proxy = tab->tableView()->model();
    for (int row = 0; row < proxy->rowCount(); ++row)
        list << proxy->index(row, 0).data().toString();
    return list;
}

QList<bool> TestTabProtocols::shownMarks() const
{
    QList<bool> list;
    QAbstractItemModel* proxy = tab->tableView()->model();
    for (int row = 0; row < proxy->rowCount(); ++row)
        list << proxy->index(row, 0).data(Qt::CheckStateRole).toBool();
    return list;
}

void TestTabProtocols::clickRow(int row)
{
    QTableView* table = tab->tableView();
    const QRect rect = table->visualRect(table->model()->index(row, 0));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
}

// Every file under the temporary tree, hidden ones too, with its bytes.
QMap<QString, QByteArray> TestTabProtocols::writtenFiles() const
{
    QMap<QString, QByteArray> files;
    QDirIterator it(dir->path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(path, readFile(path));
    }
    return files;
}

void TestTabProtocols::layoutAndSortedListingWhenShown()
{
    const QStringList captions{"Открыть текущий файл", "Загрузить выбранные файлы",
                               "Выбрать все файлы", "Очистить выделение",
                               "Открыть папку с протоколами"};
    for (int id = 0; id < captions.size(); ++id) {
        QCOMPARE(tab->button(id)->text(), captions.at(id));
        QCOMPARE(tab->button(id)->height(), 30);
        QVERIFY(!tab->button(id)->icon().isNull());
    }
    QStringList labels;
    for (QLabel* label : tab->findChildren<QLabel*>())
        labels << label->text();
    QVERIFY(labels.contains("Поиск по имени протокола"));
    QVERIFY(labels.contains("Путь для сохранения протоколов"));
    QCOMPARE(searchEdit()->maxLength(), 50);
    QCOMPARE(tab->tableView()->selectionMode(), QAbstractItemView::SingleSelection);
    // Nothing is fetched before the page is first shown.
    QCOMPARE(server->requestCount(), 0);

    // The busy overlay covers the whole tab, following its size, until the listing is in.
    HttpFakeReply slow =
        HttpFakeReply::ok(HttpFakeServer::listingPage({"b.xlsx", "A.xlsx", "c.xlsx", "a.xlsx"}));
    slow.delayMs = 300;
    server->setReply("/protocols", slow);
    QSignalSpy finished(tab->protocolModel(), SIGNAL(donwloadFinished()));
    tabs->show();
    tabs->setCurrentWidget(tab);
    QVERIFY(tab->progressWidget()->isVisible());
    tabs->resize(1000, 700);
    QTRY_COMPARE(tab->progressWidget()->size(), tab->size());
    QVERIFY(finished.wait(10000));
    QVERIFY(!tab->progressWidget()->isVisible());
    QCOMPARE(server->requests(), QList<QByteArray>{"/protocols"});
    QCOMPARE(shownNames(), (QStringList{"c.xlsx", "b.xlsx", "a.xlsx", "A.xlsx"}));
    QAbstractItemModel* proxy = tab->tableView()->model();
    for (int row = 0; row < 4; ++row)
        QCOMPARE(proxy->headerData(row, Qt::Vertical).toString(), QString::number(row + 1));
    QCOMPARE(proxy->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Имя протокола"));

    // The operator's header click sets the order, and a refresh keeps it.
    QHeaderView* header = tab->tableView()->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(header->sectionViewportPosition(0) + 10, header->height() / 2));
    QCOMPARE(shownNames(), (QStringList{"A.xlsx", "a.xlsx", "b.xlsx", "c.xlsx"}));
    tab->protocolModel()->loadProtocols();
    QVERIFY(finished.wait(10000));
    QCOMPARE(shownNames(), (QStringList{"A.xlsx", "a.xlsx", "b.xlsx", "c.xlsx"}));
}
void TestTabProtocols::searchFiltersWhileTyping_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("any case") << "A" << QStringList{"a.xlsx", "A.xlsx"};
    QTest::newRow("up to the end") << "a.XLSX" << QStringList{"a.xlsx", "A.xlsx"};
    QTest::newRow("question mark") << "b?xl" << QStringList{"b.xlsx"};
    QTest::newRow("set") << "[bc]" << QStringList{"c.xlsx", "b.xlsx"};
    QTest::newRow("star") << "*" << QStringList{"c.xlsx", "b.xlsx", "a.xlsx", "A.xlsx"};
    QTest::newRow("no match") << "a*2" << QStringList();
}

void TestTabProtocols::searchFiltersWhileTyping()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, shown);
    showTab();
    QTest::keyClicks(searchEdit(), typed);
    QCOMPARE(shownNames(), shown);
    // The search text is never stored in conf.ini.
    Configurator::instance()->save();
    QSettings conf(solmirtest::confIniPath(), QSettings::IniFormat);
    QVERIFY(conf.allKeys().size() >= 2);
    for (const QString& key : conf.allKeys())
        QVERIFY2(conf.value(key).toString() != typed, qPrintable(key));
    for (int i = 0; i < typed.size(); ++i)
        QTest::keyClick(searchEdit(), Qt::Key_Backspace);
    QCOMPARE(shownNames().size(), 4);
}

void TestTabProtocols::clickTogglesMarkSelectAllAndClear()
{
    showTab();
    clickRow(1);
    QCOMPARE(shownMarks(), (QList<bool>{false, true, false, false}));
    const QModelIndexList selected = tab->tableView()->selectionModel()->selectedRows();
    QCOMPARE(selected.size(), 1);
    QCOMPARE(selected.first().row(), 1);
    clickRow(1);
    QCOMPARE(shownMarks(), (QList<bool>{false, false, false, false}));
    press(TabProtocols::SelectAll);
    QCOMPARE(shownMarks(), (QList<bool>{true, true, true, true}));
    // A full reset: the highlighted row goes too.
    QVERIFY(tab->tableView()->selectionModel()->selectedRows().isEmpty());
    press(TabProtocols::ClearSelection);
    QCOMPARE(shownMarks(), (QList<bool>{false, false, false, false}));
}
void TestTabProtocols::downloadSelectedVisibleInShownOrder()
{
    showTab();
    press(TabProtocols::DownloadSelected);
    QVERIFY(boxes->waitForCount(1));
    // A ticked row hidden by the filter counts as nothing ticked.
    clickRow(0); // c.xlsx
    QTest::keyClicks(searchEdit(), "b");
    press(TabProtocols::DownloadSelected);
    QVERIFY(boxes->waitForCount(2));
    QCOMPARE(boxes->texts(), (QStringList{"Файл не выбран!", "Файл не выбран!"}));
    QCOMPARE(boxes->boxes().first().icon, QMessageBox::Warning);
    QCOMPARE(server->requestCount(), 1);

    QTest::keyClick(searchEdit(), Qt::Key_Backspace);
    clickRow(2); // a.xlsx
    clickRow(3); // A.xlsx
    QTest::keyClicks(searchEdit(), "a");
    QCOMPARE(shownNames(), (QStringList{"a.xlsx", "A.xlsx"}));
    // The folder is missing several levels deep, and the operator edits it while the second
    // file is in flight: that file goes to the new folder.
    const QString deep = dir->path() + "/one/two/three";
    Settings::instance()->prProtocolsPath->setValue(deep);
    HttpFakeReply slow = HttpFakeReply::ok(protocolBody("big A"));
    slow.delayMs = 300;
    server->setReply("/protocols/A.xlsx", slow);
    QSignalSpy progress(tab->batchDownloader(), SIGNAL(progressChanged(int)));
    QSignalSpy ended(tab->batchDownloader(), SIGNAL(downloaded()));
    press(TabProtocols::DownloadSelected);
    QVERIFY(!tab->buttons()->isEnabled());
    // Nothing to fetch while a batch runs neither ends nor spoils it.
    tab->batchDownloader()->download({});
    QVERIFY(server->waitForRequests(3));
    const QString moved = dir->path() + "/moved";
    folderEdit()->selectAll();
    QTest::keyClicks(folderEdit(), moved);
    QCOMPARE(Settings::instance()->prProtocolsPath->valueText(), moved);
    QVERIFY(boxes->waitForCount(3));
    QCOMPARE(boxes->texts().last(), QStringLiteral("Файлы загружены."));
    QCOMPARE(boxes->boxes().last().icon, QMessageBox::Information);
    QVERIFY(tab->buttons()->isEnabled());
    QCOMPARE(server->requests(),
             (QList<QByteArray>{"/protocols", "/protocols/a.xlsx", "/protocols/A.xlsx"}));
    QCOMPARE(progress.count(), 1);
    QCOMPARE(progress.first().first().toInt(), 50);
    QCOMPARE(readFile(deep + "/a.xlsx"), protocolBody("small a"));
    QCOMPARE(readFile(moved + "/A.xlsx"), protocolBody("big A"));
    QVERIFY(!QFile::exists(deep + "/c.xlsx"));
    QCOMPARE(ended.count(), 1);
    QVERIFY(tab->batchDownloader()->lastBatchComplete());

    // An empty batch ends at once, saves nothing and is not reported as loaded.
    tab->batchDownloader()->download({});
    QCOMPARE(ended.count(), 2);
    QVERIFY(!tab->batchDownloader()->lastBatchComplete());
    QCOMPARE(boxes->count(), 3);
    QVERIFY(tab->buttons()->isEnabled());
}
void TestTabProtocols::openFileAndFolder()
{
    writeFile(folder + "/b.xlsx", "an older, longer copy");
    showTab();
    press(TabProtocols::OpenFile);
    QVERIFY(boxes->waitForCount(1));
    QCOMPARE(boxes->texts().last(), QStringLiteral("Файл не выбран!"));
    // SingleSelection stops the operator from doing it; the selection model itself can.
    QItemSelectionModel* selection = tab->tableView()->selectionModel();
    QAbstractItemModel* proxy = tab->tableView()->model();
    selection->select(proxy->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection->select(proxy->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    press(TabProtocols::OpenFile);
    QVERIFY(boxes->waitForCount(2));
    QCOMPARE(boxes->texts().last(),
             QStringLiteral("Для открытия протокола выберите только один файл!"));
    QCOMPARE(boxes->boxes().last().icon, QMessageBox::Warning);
    QCOMPARE(server->requestCount(), 1);

    clickRow(1); // b.xlsx: overwrites the older copy, then opens it
    press(TabProtocols::OpenFile);
    QVERIFY(!tab->buttons()->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!openedUrls.isEmpty(), 10000);
    QVERIFY(tab->buttons()->isEnabled());
    QCOMPARE(openedUrls, QList<QUrl>{QUrl::fromLocalFile(folder + "/b.xlsx")});
    QCOMPARE(readFile(folder + "/b.xlsx"), protocolBody("B"));
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"b.xlsx"});

    // No application for the file: its folder, created several levels deep, opens instead.
    TabProtocols::setOpenUrlHandler(refuseOpen);
    openedUrls.clear();
    const QString deep = dir->path() + "/x/y/z";
    Settings::instance()->prProtocolsPath->setValue(deep);
    clickRow(0); // c.xlsx
    press(TabProtocols::OpenFile);
    QTRY_COMPARE_WITH_TIMEOUT(openedUrls.size(), 2, 10000);
    QCOMPARE(openedUrls,
             (QList<QUrl>{QUrl::fromLocalFile(deep + "/c.xlsx"), QUrl::fromLocalFile(deep)}));
    QCOMPARE(readFile(deep + "/c.xlsx"), protocolBody("C"));

    TabProtocols::setOpenUrlHandler(nullptr);
    openedUrls.clear();
    Settings::instance()->prProtocolsPath->setValue(dir->path() + "/does/not/exist");
    press(TabProtocols::OpenFolder);
    QVERIFY(boxes->waitForCount(3));
    QCOMPARE(boxes->texts().last(), QStringLiteral("Выбранная папка не найдена!"));
    QCOMPARE(boxes->boxes().last().icon, QMessageBox::Critical);
    QVERIFY(!QDir(dir->path() + "/does").exists());
    QVERIFY(openedUrls.isEmpty());
    Settings::instance()->prProtocolsPath->setValue(deep);
    press(TabProtocols::OpenFolder);
    QCOMPARE(openedUrls, QList<QUrl>{QUrl::fromLocalFile(deep)});
    QCOMPARE(boxes->count(), 3);
}
void TestTabProtocols::encodedNamesStayInTheFolder()
{
    // The local name is the last segment of the decoded link: an encoded "/" is a separator
    // like any other, a backslash an ordinary character.
    server->setReply("/protocols", HttpFakeReply::ok(HttpFakeServer::listingPage(
                                       {"..%2F..%2Fevil.xlsx", "a%5C..%5Cw.xlsx", "%D0%9F.xlsx",
                                        "slow.xlsx", "steady.xlsx"})));
    server->setReply("/protocols/..%2F..%2Fevil.xlsx", HttpFakeReply::ok(protocolBody("E")));
    // Whole chunked and compressed replies save like plain ones.
    HttpFakeReply chunked = HttpFakeReply::ok(protocolBody("W"));
    chunked.mode = HttpFakeReply::Mode::Chunked;
    server->setReply("/protocols/a%5C..%5Cw.xlsx", chunked);
    server->setReply("/protocols/%D0%9F.xlsx", HttpFakeReply::gzipped(protocolBody("P")));
    // So do slow ones whose speed comes, or stays, above the floor for longer than the speed
    // time: a slow start is no fault. Qt reports the bytes in bursts, so the rates keep a margin
    // from the floor that a short test window can still tell.
    TransferGuard::setLimits(800, 1200, 600);
    const QByteArray paced = protocolBody(QByteArray(2200, 's'));
    HttpFakeReply slow = HttpFakeReply::paced(paced, 1600);
    slow.delayMs = 600;
    server->setReply("/protocols/slow.xlsx", slow);
    server->setReply("/protocols/steady.xlsx", HttpFakeReply::paced(paced, 1600));
    showTab();
    press(TabProtocols::SelectAll);
    press(TabProtocols::DownloadSelected);
    QVERIFY(boxes->waitForCount(1));
    QCOMPARE(boxes->texts(), QStringList{"Файлы загружены."});
    QCOMPARE(writtenFiles(),
             (QMap<QString, QByteArray>{{folder + "/a\\..\\w.xlsx", protocolBody("W")},
                                        {folder + "/evil.xlsx", protocolBody("E")},
                                        {folder + "/slow.xlsx", paced},
                                        {folder + "/steady.xlsx", paced},
                                        {folder + QStringLiteral("/П.xlsx"), protocolBody("P")}}));
}

void TestTabProtocols::failedDownloadsWriteNothing_data()
{
    QTest::addColumn<bool>("batch");
    QTest::addColumn<QString>("listed");
    QTest::addColumn<HttpFakeReply>("reply");
    QTest::addColumn<QString>("refused"); // the name in the save error; none for a load error
    QTest::addColumn<int>("folderKind");  // 0 a folder, 1 under a file, 2 none chosen, 3 name
    // Every body but the cut ones would be a whole protocol.
    const QByteArray whole = protocolBody(QByteArray(60000, 'z'));
    const auto misbehaving = [&](HttpFakeReply reply, HttpFakeReply::Mode mode) {
        reply.mode = mode;
        return reply;
    };
    using Mode = HttpFakeReply::Mode;
    const auto row = [](const char* name, const QString& listed, const HttpFakeReply& reply,
                        const QString& refused, int folderKind = 0) {
        for (const bool batch : {false, true})
            QTest::newRow(qPrintable(QString(batch ? "batch, " : "open, ") + name))
                << batch << listed << reply << refused << folderKind;
    };
    row("404", "b.xlsx", HttpFakeReply::withStatus(404, "<html>missing</html>"), "");
    row("500", "b.xlsx", HttpFakeReply::withStatus(500, "<html>broken</html>"), "");
    row("redirect", "b.xlsx", HttpFakeReply::redirect("/protocols/-next.xlsx"), "");
    row("empty", "b.xlsx", HttpFakeReply::ok(QByteArray()), "");
    row("206", "b.xlsx", HttpFakeReply::withStatus(206, whole), "");
    row("closed mid-body", "b.xlsx", misbehaving(HttpFakeReply::ok(whole), Mode::CloseMidBody), "");
    row("gzip cut against its length", "b.xlsx",
        misbehaving(HttpFakeReply::gzipped(whole), Mode::CloseMidBody), "");
    row("malformed chunk size", "b.xlsx", misbehaving(HttpFakeReply::ok(whole), Mode::BadChunk),
        "");
    row("stalled mid-body", "b.xlsx", misbehaving(HttpFakeReply::ok(whole), Mode::Stall), "");
    row("trickle", "b.xlsx", HttpFakeReply::paced(whole, 10), "");
    row("fast start, then trickle", "b.xlsx", HttpFakeReply::paced(whole, 10, 30000), "");
    row("steady below the floor", "b.xlsx", HttpFakeReply::paced(whole, 600), "");
    row("not a protocol", "b.xlsx", HttpFakeReply::ok("<html>no zip</html>"), "");
    const QByteArray inner = protocolBody("embedded");
    const QByteArray outer = protocolBody("before" + inner + "after");
    row("cut after an embedded end record", "b.xlsx",
        HttpFakeReply::ok(outer.left(outer.indexOf(inner) + inner.size())), "");
    // Refused before any request, each control character shown as U+FFFD.
    row("control character", "P-04\n17.xlsx", HttpFakeReply::ok(whole), "P-04\uFFFD17.xlsx", 3);
    row("dot-file", ".bashrc", HttpFakeReply::ok(whole), ".bashrc", 3);
    row("a script", "run.sh", HttpFakeReply::ok(whole), "run.sh", 3);
    row("trailing space", "report.xlsx ", HttpFakeReply::ok(whole), "report.xlsx ", 3);
    // Root ignores permissions, but not a regular file where a folder should be.
    row("folder under a file", "b.xlsx", HttpFakeReply::ok(whole), "b.xlsx", 1);
    // No folder chosen: folder + "/" would be the file system root.
    row("no folder", "solmir3-rootless.xlsx", HttpFakeReply::ok(whole), "solmir3-rootless.xlsx", 2);
}

void TestTabProtocols::failedDownloadsWriteNothing()
{
    QFETCH(bool, batch);
    QFETCH(QString, listed);
    QFETCH(HttpFakeReply, reply);
    QFETCH(QString, refused);
    QFETCH(int, folderKind);
    // A trickle of one byte per 100 ms never falls silent for long, but stays far too slow.
    TransferGuard::setLimits(800, 1200, 600);
    LogCapture log;
    const QByteArray path = "/protocols/" + HttpFakeServer::encodedName(listed);
    // Any link text counts, whatever it says, as long as the target ends in ".xlsx".
    server->setReply("/protocols",
                     HttpFakeReply::ok("<a href=\"/protocols/x.xlsx\">" + listed.toUtf8() +
                                       "</a><br>\n" + HttpFakeServer::listingPage({"-next.xlsx"})));
    server->setReply("/protocols/-next.xlsx", HttpFakeReply::ok(protocolBody("N")));
    server->setReply(path, reply);
    const QString inner = dir->path() + "/in/side";
    writeFile(inner + "/b.xlsx", "intact");
    Settings::instance()->prProtocolsPath->setValue(inner);
    if (folderKind == 1) {
        writeFile(dir->path() + "/blocker", "a file, not a folder");
        Settings::instance()->prProtocolsPath->setValue(dir->path() + "/blocker/protocols");
    } else if (folderKind == 2) {
        Settings::instance()->prProtocolsPath->setValue(QString());
    }
    showTab();
    QCOMPARE(shownNames(), (QStringList{listed, "-next.xlsx"}));
    if (batch)
        press(TabProtocols::SelectAll);
    else
        clickRow(0);
    press(batch ? TabProtocols::DownloadSelected : TabProtocols::OpenFile);
    QStringList messages;
    if (refused.isEmpty())
        messages << (batch ? QStringLiteral("Ошибка при загрузке файла!")
                           : QStringLiteral("Ошибка загрузки протокола %1!").arg(listed));
    else if (folderKind == 3 && !batch)
        messages << QStringLiteral("Ошибка загрузки протокола %1!").arg(refused);
    else
        messages << QStringLiteral("Ошибка сохранения протокола %1!").arg(refused);
    if (batch && !refused.isEmpty())
        messages << QStringLiteral("Ошибка при сохранении файла!");
    QVERIFY(boxes->waitForCount(messages.size()));
    QTRY_VERIFY_WITH_TIMEOUT(tab->buttons()->isEnabled(), 10000);
    QTest::qWait(100); // room for a wrong "Файлы загружены." to show up
    QCOMPARE(boxes->texts(), messages);
    QCOMPARE(boxes->boxes().first().icon, QMessageBox::Critical);
    // Neither a redirect is followed nor the batch goes on past the failure; what cannot be
    // saved is not even fetched.
    QCOMPARE(server->requests().last(), refused.isEmpty() ? path : QByteArray("/protocols"));
    QVERIFY(openedUrls.isEmpty());
    // The old copy is intact, and nothing else was written anywhere in the temporary tree.
    QMap<QString, QByteArray> expected{{inner + "/b.xlsx", "intact"}};
    if (folderKind == 1)
        expected.insert(dir->path() + "/blocker", "a file, not a folder");
    QCOMPARE(writtenFiles(), expected);
    QVERIFY(!QFileInfo::exists("/" + listed));
    // Where the box says only that it failed, the record says why.
    QVERIFY(!log.texts("solmir.protocols", QtWarningMsg).isEmpty());
}

void TestTabProtocols::openedFileIsTheSavedFile_data()
{
    QTest::addColumn<QString>("folderText"); // one starting with "/" lies in the home folder
    QTest::addColumn<QString>("listed");
    QTest::addColumn<QString>("saved"); // relative to the home folder
    QTest::newRow("relative folder") << "Протоколы"
                                     << "b.xlsx"
                                     << "Протоколы/b.xlsx";
    QTest::newRow("home") << "~"
                          << "b.xlsx"
                          << "b.xlsx";
    QTest::newRow("under home") << "~/Протоколы"
                                << "R.XLSX"
                                << "Протоколы/R.XLSX";
    QTest::newRow("absolute") << "/sub/../abs/"
                              << "b.xlsx"
                              << "abs/b.xlsx";
}

void TestTabProtocols::openedFileIsTheSavedFile()
{
    QFETCH(QString, folderText);
    QFETCH(QString, listed);
    QFETCH(QString, saved);
    qputenv("HOME", QFile::encodeName(dir->path()));
    // Any link text counts, whatever the target: the target ends in ".xlsx" for the scan.
    server->setReply("/protocols", HttpFakeReply::ok("<a href=\"/protocols/x.xlsx\">" +
                                                     listed.toUtf8() + "</a>"));
    server->setReply("/protocols/" + HttpFakeServer::encodedName(listed),
                     HttpFakeReply::ok(protocolBody("opened")));
    Settings::instance()->prProtocolsPath->setValue(
        folderText.startsWith(QLatin1Char('/')) ? dir->path() + folderText : folderText);
    showTab();
    clickRow(0);
    press(TabProtocols::OpenFile);
    QTRY_VERIFY_WITH_TIMEOUT(!openedUrls.isEmpty(), 10000);
    QCOMPARE(readFile(dir->path() + "/" + saved), protocolBody("opened"));
    press(TabProtocols::OpenFolder);
    QCOMPARE(openedUrls,
             (QList<QUrl>{QUrl::fromLocalFile(dir->path() + "/" + saved),
                          QUrl::fromLocalFile(QFileInfo(dir->path() + "/" + saved).path())}));
    QTRY_VERIFY(tab->buttons()->isEnabled());
}

void TestTabProtocols::refreshDuringOpenFileEnablesButtons()
{
    HttpFakeReply slow = HttpFakeReply::ok(protocolBody("late"));
    slow.delayMs = 400;
    server->setReply("/protocols/b.xlsx", slow);
    showTab();
    clickRow(1);
    press(TabProtocols::OpenFile);
    QVERIFY(!tab->buttons()->isEnabled());
    QVERIFY(server->waitForRequests(2));
    QSignalSpy finished(tab->protocolModel(), SIGNAL(donwloadFinished()));
    auto* pending = tab->findChild<FileDownloader*>();
    QVERIFY(pending);
    QMetaObject::invokeMethod(tab, "onConnectStateChanged", Q_ARG(bool, true));
    QVERIFY(tab->buttons()->isEnabled());
    // Its answer may already be on its way before the refresh's deletion takes effect.
    QMetaObject::invokeMethod(pending, "downloadFinished", Qt::DirectConnection,
                              Q_ARG(QNetworkReply*, pending->findChild<QNetworkReply*>()));
    QVERIFY(finished.wait(10000));
    QTest::qWait(600);
    // The abandoned download never saves nor opens anything.
    QVERIFY(openedUrls.isEmpty());
    QVERIFY(!QFile::exists(folder + "/b.xlsx"));
    QVERIFY(tab->buttons()->isEnabled());
    QCOMPARE(boxes->count(), 0);
}

void TestTabProtocols::switchingTabsRefetchesAndClearsMarks()
{
    showTab();
    press(TabProtocols::SelectAll);
    // The first of two quick refreshes answers late; only the later one may fill the list.
    HttpFakeReply late = HttpFakeReply::ok(HttpFakeServer::listingPage({"late.xlsx"}));
    late.delayMs = 300;
    server->setReply("/protocols", late);
    QSignalSpy finished(tab->protocolModel(), SIGNAL(donwloadFinished()));
    tabs->setCurrentIndex(0);
    tabs->setCurrentWidget(tab);
    QVERIFY(server->waitForRequests(2));
    server->publish({"new.xlsx", "b.xlsx"}, {});
    tabs->setCurrentIndex(0);
    tabs->setCurrentWidget(tab);
    QVERIFY(finished.wait(10000));
    QTest::qWait(500);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(shownNames(), (QStringList{"new.xlsx", "b.xlsx"}));
    QCOMPARE(shownMarks(), (QList<bool>{false, false}));

    // Even while the page is hidden, a change of the session's connection state fetches the list.
    tabs->setCurrentIndex(0);
    server->publish({"after.xlsx"}, {});
    DisplayFrame frame;
    tab->setDisplayFrame(&frame);
    emit frame.session()->connectStateChanged(false);
    QVERIFY(finished.wait(10000));
    QCOMPARE(server->countOf("/protocols"), 4);
    QCOMPARE(shownNames(), QStringList{"after.xlsx"});
}
QTEST_MAIN(TestTabProtocols)
#include "tst_tabprotocols.moc"
