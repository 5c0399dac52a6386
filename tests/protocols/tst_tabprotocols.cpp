// The protocols tab end to end: real widgets, a real loopback HTTP peer and real files.
#include "appfixture.h"
#include "httpfakeserver.h"
#include "messageboxwatcher.h"
#include "parameters/parametrip.h"
#include "parameters/parametrpath.h"
#include "parameters/parametrstring.h"
#include "parameters/settings.h"
#include "parameters/widgets/editfield.h"
#include "parameters/widgets/hpathedit.h"
#include "parameters/widgets/prfield.h"
#include "protocols/downloadprogress.h"
#include "protocols/modelprotocols.h"
#include "protocols/multiplefilesdownloader.h"
#include "protocols/tabprotocols.h"
#include "protocols/tabulonsortfilterproxymodel.h"
#include "shell/hbutton.h"

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

using solmirtest::HttpFakeReply;
using solmirtest::HttpFakeServer;

Q_DECLARE_METATYPE(solmirtest::HttpFakeReply)

namespace {

const QString address = QStringLiteral("127.6.3.1");
QList<QUrl> openedUrls;
bool openResult = true;

bool recordOpen(const QUrl& url)
{
    openedUrls.append(url);
    return openResult;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TestTabProtocols : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void layoutCaptionsAndIcons();
    void listingAppearsSortedWhenShown();
    void headerClickOrderSurvivesRefresh();
    void searchFiltersWhileTyping();
    void clickTogglesMark();
    void downloadSelectedVisibleInShownOrder();
    void downloadSelectedNothingMarked();
    void downloadSelectedStopsAtErrorWithoutSuccessMessage();
    void downloadSelectedFollowsFolderEdit();
    void openFileSelectionMessages();
    void openFileSavesOverwritesAndOpens();
    void openFileFallsBackToFolder();
    void openFileFailures_data();
    void openFileFailures();
    void openFileInterruptedKeepsOldCopy();
    void refreshDuringOpenFileEnablesButtons();
    void openFolder();
    void selectAllAndClear();
    void switchingTabsRefetchesAndClearsMarks();
    void connectionStateChangeRefetches();
    void overlayFollowsTabSize();

private:
    void showTab();
    QLineEdit* searchEdit() const;
    QLineEdit* folderEdit() const;
    QStringList shownNames() const;
    void clickRow(int row);
    HttpFakeServer* server = nullptr;
    QTemporaryDir* dir = nullptr;
    QTabWidget* tabs = nullptr;
    TabProtocols* tab = nullptr;
    solmirtest::MessageBoxWatcher* boxes = nullptr;
};

void TestTabProtocols::initTestCase()
{
    solmirtest::createSingletons();
    TabProtocols::setOpenUrlHandler(recordOpen);
}

void TestTabProtocols::init()
{
    server = new HttpFakeServer(this);
    QVERIFY(server->listen(QHostAddress(address), 80));
    server->publish({"b.xlsx", "A.xlsx", "c.xlsx", "a.xlsx"}, {"B", "big A", "C", "small a"});
    Settings::instance()->prIP->setAddress(QHostAddress(address));
    dir = new QTemporaryDir;
    QVERIFY(dir->isValid());
    Settings::instance()->prProtocolsPath->setValue(dir->path() + "/protocols");
    openedUrls.clear();
    openResult = true;
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
    tab = nullptr;
}

void TestTabProtocols::showTab()
{
    QSignalSpy finished(tab->protocolModel(), SIGNAL(donwloadFinished()));
    if (!tabs->isVisible())
        tabs->show();
    tabs->setCurrentWidget(tab);
    QVERIFY(finished.wait(10000));
}

QLineEdit* TestTabProtocols::searchEdit() const
{
    const auto fields = tab->findChildren<PrField*>();
    for (PrField* field : fields) {
        if (field->editField() &&
            field->editField()->parametr() == tab->protocolModel()->filterParametr())
            return qobject_cast<QLineEdit*>(field->editField()->editor());
    }
    return nullptr;
}

QLineEdit* TestTabProtocols::folderEdit() const
{
    const auto fields = tab->findChildren<PrField*>();
    for (PrField* field : fields) {
        if (field->editField() &&
            field->editField()->parametr() == Settings::instance()->prProtocolsPath) {
            auto* path = qobject_cast<HPathEdit*>(field->editField()->editor());
            return path ? path->lineEdit() : nullptr;
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

void TestTabProtocols::clickRow(int row)
{
    QTableView* table = tab->tableView();
    const QRect rect = table->visualRect(table->model()->index(row, 0));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
}

void TestTabProtocols::layoutCaptionsAndIcons()
{
    const QStringList captions{"Открыть текущий файл", "Загрузить выбранные файлы",
                               "Выбрать все файлы", "Очистить выделение",
                               "Открыть папку с протоколами"};
    for (int id = 0; id < 5; ++id) {
        HButton* button = tab->button(id);
        QVERIFY(button);
        QCOMPARE(button->text(), captions.at(id));
        QCOMPARE(button->height(), 30);
        QCOMPARE(button->minimumHeight(), 30);
        QCOMPARE(button->maximumHeight(), 30);
        QCOMPARE(button->iconSize(), QSize(20, 20));
        QVERIFY(!button->icon().isNull());
    }
    QVERIFY(searchEdit());
    QCOMPARE(searchEdit()->maxLength(), 50);
    QVERIFY(folderEdit());
    QCOMPARE(folderEdit()->text(), dir->path() + "/protocols");
    const auto labels = tab->findChildren<QLabel*>();
    QStringList texts;
    for (QLabel* label : labels)
        texts << label->text();
    QVERIFY(texts.contains("Поиск по имени протокола"));
    QVERIFY(texts.contains("Путь для сохранения протоколов"));
    QTableView* table = tab->tableView();
    QCOMPARE(table->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);
    QVERIFY(table->isSortingEnabled());
    QCOMPARE(table->model(), tab->protocolModel()->proxyModel());
    // Nothing is fetched before the page is first shown.
    QCOMPARE(server->requestCount(), 0);
}

void TestTabProtocols::listingAppearsSortedWhenShown()
{
    showTab();
    QCOMPARE(server->requests(), QList<QByteArray>{"/protocols"});
    QCOMPARE(shownNames(), (QStringList{"c.xlsx", "b.xlsx", "a.xlsx", "A.xlsx"}));
    QAbstractItemModel* proxy = tab->tableView()->model();
    QCOMPARE(proxy->headerData(0, Qt::Vertical).toString(), QStringLiteral("1"));
    QCOMPARE(proxy->headerData(3, Qt::Vertical).toString(), QStringLiteral("4"));
    QCOMPARE(proxy->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Имя протокола"));
    QVERIFY(!tab->progressWidget()->isVisible());
}

void TestTabProtocols::headerClickOrderSurvivesRefresh()
{
    showTab();
    QHeaderView* header = tab->tableView()->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(header->sectionViewportPosition(0) + 10, header->height() / 2));
    QCOMPARE(shownNames(), (QStringList{"A.xlsx", "a.xlsx", "b.xlsx", "c.xlsx"}));
    QSignalSpy finished(tab->protocolModel(), SIGNAL(donwloadFinished()));
    tab->protocolModel()->loadProtocols();
    QVERIFY(finished.wait(10000));
    QCOMPARE(shownNames(), (QStringList{"A.xlsx", "a.xlsx", "b.xlsx", "c.xlsx"}));
}

void TestTabProtocols::searchFiltersWhileTyping()
{
    showTab();
    QLineEdit* edit = searchEdit();
    QVERIFY(edit);
    QTest::keyClicks(edit, "A");
    QCOMPARE(shownNames(), (QStringList{"a.xlsx", "A.xlsx"}));
    QTest::keyClicks(edit, ".");
    QCOMPARE(shownNames(), (QStringList{"a.xlsx", "A.xlsx"}));
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(shownNames().size(), 4);
    QTest::keyClicks(edit, "[bc]");
    QCOMPARE(shownNames(), (QStringList{"c.xlsx", "b.xlsx"}));
    // The search text is never stored in conf.ini.
    QVERIFY(!readFile(solmirtest::confIniPath()).contains("[bc]"));
}

void TestTabProtocols::clickTogglesMark()
{
    showTab();
    ModelProtocols* model = tab->protocolModel();
    clickRow(1); // b.xlsx
    const QModelIndex shown = tab->tableView()->model()->index(1, 0);
    QVERIFY(shown.data(Qt::CheckStateRole).toBool());
    QCOMPARE(tab->tableView()->selectionModel()->selectedRows(0).size(), 1);
    QCOMPARE(tab->tableView()->selectionModel()->selectedRows(0).first().row(), 1);
    int marked = 0;
    for (int row = 0; row < model->rowCount(); ++row)
        marked += model->index(row, 0).data(Qt::CheckStateRole).toBool() ? 1 : 0;
    QCOMPARE(marked, 1);
    clickRow(1);
    QVERIFY(!shown.data(Qt::CheckStateRole).toBool());
}

void TestTabProtocols::downloadSelectedVisibleInShownOrder()
{
    showTab();
    // Tick a.xlsx, c.xlsx and A.xlsx, then hide c.xlsx with the filter.
    clickRow(0);
    clickRow(2);
    clickRow(3);
    QTest::keyClicks(searchEdit(), "a");
    QCOMPARE(shownNames(), (QStringList{"a.xlsx", "A.xlsx"}));
    server->clearLog();
    QTest::mouseClick(tab->button(TabProtocols::DownloadSelected), Qt::LeftButton);
    QVERIFY(!tab->buttons()->isEnabled());
    QVERIFY(boxes->waitForCount(1));
    QCOMPARE(boxes->texts(), QStringList{"Файлы загружены."});
    QCOMPARE(boxes->boxes().first().icon, QMessageBox::Information);
    QVERIFY(tab->buttons()->isEnabled());
    QCOMPARE(server->requests(), (QList<QByteArray>{"/protocols/a.xlsx", "/protocols/A.xlsx"}));
    const QString folder = dir->path() + "/protocols";
    QCOMPARE(readFile(folder + "/a.xlsx"), QByteArray("small a"));
    QCOMPARE(readFile(folder + "/A.xlsx"), QByteArray("big A"));
    QVERIFY(!QFile::exists(folder + "/c.xlsx"));
}

void TestTabProtocols::downloadSelectedNothingMarked()
{
    showTab();
    QTest::mouseClick(tab->button(TabProtocols::DownloadSelected), Qt::LeftButton);
    QVERIFY(boxes->waitForCount(1));
    // Every ticked row hidden by the filter counts as nothing ticked.
    clickRow(0); // c.xlsx
    QTest::keyClicks(searchEdit(), "b");
    QTest::mouseClick(tab->button(TabProtocols::DownloadSelected), Qt::LeftButton);
    QVERIFY(boxes->waitForCount(2));
    QCOMPARE(boxes->texts(), (QStringList{"Файл не выбран!", "Файл не выбран!"}));
    QCOMPARE(boxes->boxes().first().icon, QMessageBox::Warning);
    QCOMPARE(server->requests(), QList<QByteArray>{"/protocols"});
    QVERIFY(tab->buttons()->isEnabled());
}

void TestTabProtocols::downloadSelectedStopsAtErrorWithoutSuccessMessage()
{
    server->setReply("/protocols/b.xlsx", HttpFakeReply::withStatus(404, "<html>gone</html>"));
    showTab();
    QTest::mouseClick(tab->button(TabProtocols::SelectAll), Qt::LeftButton);
    QTest::mouseClick(tab->button(TabProtocols::DownloadSelected), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(tab->buttons()->isEnabled(), 10000);
    QTest::qWait(100);
    QCOMPARE(boxes->texts(), QStringList{"Ошибка при загрузке файла!"});
    const QString folder = dir->path() + "/protocols";
    QCOMPARE(readFile(folder + "/c.xlsx"), QByteArray("C"));
    QVERIFY(!QFile::exists(folder + "/b.xlsx"));
    QCOMPARE(server->countOf("/protocols/a.xlsx"), 0);
}

void TestTabProtocols::downloadSelectedFollowsFolderEdit()
{
    HttpFakeReply slow = HttpFakeReply::ok("B");
    slow.delayMs = 300;
    server->setReply("/protocols/b.xlsx", slow);
    showTab();
    clickRow(0);
    clickRow(1);
    QTest::mouseClick(tab->button(TabProtocols::DownloadSelected), Qt::LeftButton);
    QVERIFY(server->waitForRequests(3)); // listing, c.xlsx, then b.xlsx in flight
    const QString moved = dir->path() + "/moved/deeper";
    QLineEdit* edit = folderEdit();
    edit->selectAll();
    QTest::keyClicks(edit, moved);
    QCOMPARE(Settings::instance()->prProtocolsPath->valueText(), moved);
    QVERIFY(boxes->waitForCount(1));
    QCOMPARE(boxes->texts(), QStringList{"Файлы загружены."});
    QCOMPARE(readFile(dir->path() + "/protocols/c.xlsx"), QByteArray("C"));
    QCOMPARE(readFile(moved + "/b.xlsx"), QByteArray("B"));
}

void TestTabProtocols::openFileSelectionMessages()
{
    showTab();
    QTest::mouseClick(tab->button(TabProtocols::OpenFile), Qt::LeftButton);
    QVERIFY(boxes->waitForCount(1));
    QCOMPARE(boxes->texts().last(), QStringLiteral("Файл не выбран!"));
    QVERIFY(tab->tableView()->hasFocus() || !tab->window()->isActiveWindow());
    // SingleSelection stops the operator from doing it; the selection model itself can.
    QItemSelectionModel* selection = tab->tableView()->selectionModel();
    QAbstractItemModel* proxy = tab->tableView()->model();
    selection->select(proxy->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection->select(proxy->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QTest::mouseClick(tab->button(TabProtocols::OpenFile), Qt::LeftButton);
    QVERIFY(boxes->waitForCount(2));
    QCOMPARE(boxes->texts().last(),
             QStringLiteral("Для открытия протокола выберите только один файл!"));
    QCOMPARE(boxes->boxes().last().icon, QMessageBox::Warning);
    QCOMPARE(server->requestCount(), 1);
    QVERIFY(openedUrls.isEmpty());
}

void TestTabProtocols::openFileSavesOverwritesAndOpens()
{
    const QString folder = dir->path() + "/protocols";
    QVERIFY(QDir().mkpath(folder));
    QFile old(folder + "/b.xlsx");
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("an older, longer copy");
    old.close();
    showTab();
    clickRow(1); // b.xlsx, highlighted and ticked
    QTest::mouseClick(tab->button(TabProtocols::OpenFile), Qt::LeftButton);
    QVERIFY(!tab->buttons()->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!openedUrls.isEmpty(), 10000);
    QVERIFY(tab->buttons()->isEnabled());
    QCOMPARE(openedUrls, QList<QUrl>{QUrl::fromLocalFile(folder + "/b.xlsx")});
    QCOMPARE(readFile(folder + "/b.xlsx"), QByteArray("B"));
    QCOMPARE(server->requests().last(), QByteArray("/protocols/b.xlsx"));
    QCOMPARE(boxes->count(), 0);
}

void TestTabProtocols::openFileFallsBackToFolder()
{
    openResult = false;
    Settings::instance()->prProtocolsPath->setValue(dir->path() + "/x/y/z");
    showTab();
    clickRow(0);
    QTest::mouseClick(tab->button(TabProtocols::OpenFile), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(openedUrls.size(), 2, 10000);
    QCOMPARE(openedUrls.at(0), QUrl::fromLocalFile(dir->path() + "/x/y/z/c.xlsx"));
    QCOMPARE(openedUrls.at(1), QUrl::fromLocalFile(dir->path() + "/x/y/z"));
    QCOMPARE(readFile(dir->path() + "/x/y/z/c.xlsx"), QByteArray("C"));
}

void TestTabProtocols::openFileFailures_data()
{
    QTest::addColumn<QString>("listed");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<HttpFakeReply>("reply");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("unwritable");
    const HttpFakeReply good = HttpFakeReply::ok("evil");
    QTest::newRow("404") << "b.xlsx" << QByteArray("/protocols/b.xlsx")
                         << HttpFakeReply::withStatus(404, "<html>missing</html>")
                         << "Ошибка загрузки протокола b.xlsx!" << false;
    QTest::newRow("500") << "b.xlsx" << QByteArray("/protocols/b.xlsx")
                         << HttpFakeReply::withStatus(500, "<html>broken</html>")
                         << "Ошибка загрузки протокола b.xlsx!" << false;
    QTest::newRow("redirect") << "b.xlsx" << QByteArray("/protocols/b.xlsx")
                              << HttpFakeReply::redirect("http://127.6.3.1/protocols/c.xlsx")
                              << "Ошибка загрузки протокола b.xlsx!" << false;
    QTest::newRow("empty") << "b.xlsx" << QByteArray("/protocols/b.xlsx")
                           << HttpFakeReply::ok(QByteArray()) << "Ошибка загрузки протокола b.xlsx!"
                           << false;
    QTest::newRow("traversal slash")
        << "..%2F..%2Fevil.xlsx" << QByteArray("/protocols/..%2F..%2Fevil.xlsx") << good
        << "Ошибка сохранения протокола ../../evil.xlsx!" << false;
    QTest::newRow("traversal backslash")
        << "..%5Cevil.xlsx" << QByteArray("/protocols/..%5Cevil.xlsx") << good
        << "Ошибка сохранения протокола ..\\evil.xlsx!" << false;
    QTest::newRow("encoded slash") << "a%2Fb.xlsx" << QByteArray("/protocols/a%2Fb.xlsx") << good
                                   << "Ошибка сохранения протокола a/b.xlsx!" << false;
    QTest::newRow("unwritable folder")
        << "b.xlsx" << QByteArray("/protocols/b.xlsx") << HttpFakeReply::ok("B")
        << "Ошибка сохранения протокола b.xlsx!" << true;
}

void TestTabProtocols::openFileFailures()
{
    QFETCH(QString, listed);
    QFETCH(QByteArray, path);
    QFETCH(HttpFakeReply, reply);
    QFETCH(QString, message);
    QFETCH(bool, unwritable);
    server->setReply("/protocols", HttpFakeReply::ok(HttpFakeServer::listingPage({listed})));
    server->setReply(path, reply);
    const QString inner = dir->path() + "/in/side";
    Settings::instance()->prProtocolsPath->setValue(inner);
    if (unwritable) {
        QFile blocker(dir->path() + "/blocker");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        Settings::instance()->prProtocolsPath->setValue(dir->path() + "/blocker/protocols");
    }
    showTab();
    QCOMPARE(shownNames(), QStringList{listed});
    clickRow(0);
    QTest::mouseClick(tab->button(TabProtocols::OpenFile), Qt::LeftButton);
    QVERIFY(boxes->waitForCount(1));
    QCOMPARE(boxes->texts(), QStringList{message});
    QCOMPARE(boxes->boxes().first().icon, QMessageBox::Critical);
    QTRY_VERIFY(tab->buttons()->isEnabled());
    QCOMPARE(server->requests().last(), path);
    QVERIFY(openedUrls.isEmpty());
    QCOMPARE(server->countOf("/protocols/c.xlsx"), 0);
    // Nothing anywhere in the temporary tree but the blocker.
    QDirIterator it(dir->path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    QStringList files;
    while (it.hasNext())
        files << it.next();
    QCOMPARE(files, unwritable ? QStringList{dir->path() + "/blocker"} : QStringList());
}

void TestTabProtocols::openFileInterruptedKeepsOldCopy()
{
    const QString folder = dir->path() + "/protocols";
    QVERIFY(QDir().mkpath(folder));
    QFile old(folder + "/b.xlsx");
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("intact");
    old.close();
    HttpFakeReply cut = HttpFakeReply::ok(QByteArray(300000, 'z'));
    cut.mode = HttpFakeReply::Mode::CloseMidBody;
    server->setReply("/protocols/b.xlsx", cut);
    showTab();
    clickRow(1);
    QTest::mouseClick(tab->button(TabProtocols::OpenFile), Qt::LeftButton);
    QVERIFY(boxes->waitForCount(1));
    QCOMPARE(boxes->texts(), QStringList{"Ошибка загрузки протокола b.xlsx!"});
    QCOMPARE(readFile(folder + "/b.xlsx"), QByteArray("intact"));
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"b.xlsx"});
    QVERIFY(openedUrls.isEmpty());
}

void TestTabProtocols::refreshDuringOpenFileEnablesButtons()
{
    HttpFakeReply slow = HttpFakeReply::ok("late");
    slow.delayMs = 400;
    server->setReply("/protocols/b.xlsx", slow);
    showTab();
    clickRow(1);
    QTest::mouseClick(tab->button(TabProtocols::OpenFile), Qt::LeftButton);
    QVERIFY(!tab->buttons()->isEnabled());
    QVERIFY(server->waitForRequests(2));
    QSignalSpy finished(tab->protocolModel(), SIGNAL(donwloadFinished()));
    QMetaObject::invokeMethod(tab, "onConnectStateChanged", Q_ARG(bool, true));
    QVERIFY(tab->buttons()->isEnabled());
    QVERIFY(finished.wait(10000));
    QTest::qWait(600);
    // The abandoned download never saves nor opens anything.
    QVERIFY(openedUrls.isEmpty());
    QVERIFY(!QFile::exists(dir->path() + "/protocols/b.xlsx"));
    QVERIFY(tab->buttons()->isEnabled());
    QCOMPARE(boxes->count(), 0);
}

void TestTabProtocols::openFolder()
{
    showTab();
    Settings::instance()->prProtocolsPath->setValue(dir->path() + "/does/not/exist");
    QTest::mouseClick(tab->button(TabProtocols::OpenFolder), Qt::LeftButton);
    QVERIFY(boxes->waitForCount(1));
    QCOMPARE(boxes->texts(), QStringList{"Выбранная папка не найдена!"});
    QCOMPARE(boxes->boxes().first().icon, QMessageBox::Critical);
    QVERIFY(!QDir(dir->path() + "/does").exists());
    QVERIFY(openedUrls.isEmpty());
    Settings::instance()->prProtocolsPath->setValue(dir->path());
    QTest::mouseClick(tab->button(TabProtocols::OpenFolder), Qt::LeftButton);
    QCOMPARE(openedUrls, QList<QUrl>{QUrl::fromLocalFile(dir->path())});
    QCOMPARE(boxes->count(), 1);
}

void TestTabProtocols::selectAllAndClear()
{
    showTab();
    clickRow(2);
    QCOMPARE(tab->tableView()->selectionModel()->selectedRows().size(), 1);
    QTest::mouseClick(tab->button(TabProtocols::SelectAll), Qt::LeftButton);
    QAbstractItemModel* proxy = tab->tableView()->model();
    for (int row = 0; row < proxy->rowCount(); ++row)
        QVERIFY(proxy->index(row, 0).data(Qt::CheckStateRole).toBool());
    // A full reset: the highlighted row is gone too.
    QCOMPARE(tab->tableView()->selectionModel()->selectedRows().size(), 0);
    QTest::mouseClick(tab->button(TabProtocols::ClearSelection), Qt::LeftButton);
    for (int row = 0; row < proxy->rowCount(); ++row)
        QVERIFY(!proxy->index(row, 0).data(Qt::CheckStateRole).toBool());
}

void TestTabProtocols::switchingTabsRefetchesAndClearsMarks()
{
    showTab();
    QTest::mouseClick(tab->button(TabProtocols::SelectAll), Qt::LeftButton);
    tabs->setCurrentIndex(0);
    server->publish({"new.xlsx", "b.xlsx"}, {});
    showTab();
    QCOMPARE(server->countOf("/protocols"), 2);
    QCOMPARE(shownNames(), (QStringList{"new.xlsx", "b.xlsx"}));
    QAbstractItemModel* proxy = tab->tableView()->model();
    for (int row = 0; row < proxy->rowCount(); ++row)
        QVERIFY(!proxy->index(row, 0).data(Qt::CheckStateRole).toBool());
}

void TestTabProtocols::connectionStateChangeRefetches()
{
    // Even while the page is hidden, a change of the connection state fetches the list.
    tabs->show();
    tabs->setCurrentIndex(0);
    QCOMPARE(server->requestCount(), 0);
    QSignalSpy finished(tab->protocolModel(), SIGNAL(donwloadFinished()));
    QMetaObject::invokeMethod(tab, "onConnectStateChanged", Q_ARG(bool, false));
    QVERIFY(finished.wait(10000));
    QCOMPARE(server->requests(), QList<QByteArray>{"/protocols"});
    QCOMPARE(tab->protocolModel()->rowCount(), 4);
}

void TestTabProtocols::overlayFollowsTabSize()
{
    HttpFakeReply slow = HttpFakeReply::ok(HttpFakeServer::listingPage({"a.xlsx"}));
    slow.delayMs = 300;
    server->setReply("/protocols", slow);
    tabs->show();
    tabs->setCurrentWidget(tab);
    QVERIFY(tab->progressWidget()->isVisible());
    tabs->resize(1000, 700);
    QTRY_COMPARE(tab->progressWidget()->size(), tab->size());
    QTRY_VERIFY_WITH_TIMEOUT(!tab->progressWidget()->isVisible(), 10000);
}

QTEST_MAIN(TestTabProtocols)
#include "tst_tabprotocols.moc"
