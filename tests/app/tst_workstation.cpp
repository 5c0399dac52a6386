// The workstation as the operator meets it: both pages in the real main window, working one
// simulated device (its RFB and HTTP servers on one loopback address).
#include "app/mainwindow.h"
#include "appfixture.h"
#include "messageboxwatcher.h"
#include "parameters/parametrip.h"
#include "parameters/parametrpath.h"
#include "parameters/settings.h"
#include "protocols/modelprotocols.h"
#include "protocols/tabprotocols.h"
#include "protocols/tabulonsortfilterproxymodel.h"
#include "remote/controllwidget.h"
#include "shell/hbutton.h"
#include "shell/htabwidget.h"
#include "shell/statusframe.h"
#include "simulator/httpserver.h"
#include "simulator/rfbserver.h"
#include "simulator/simoptions.h"

#include <QAbstractItemModel>
#include <QDir>
#include <QGridLayout>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const char* const deviceAddress = "127.8.0.1";
constexpr int connectMs = 20000;

HButton* connectButton(MainWindow& window)
{
    auto* bar = window.findChild<ControllWidget*>();
    return bar ? bar->findChild<HButton*>() : nullptr;
}

QStringList listedNames(QAbstractItemModel* model)
{
    QStringList names;
    for (int row = 0; row < model->rowCount(); ++row)
        names << model->index(row, 0).data().toString();
    return names;
}
} // namespace

class TestWorkstation : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void pagesInOrder();
    void connectingFetchesTheListingAndTheBatchLandsInTheFolder();

private:
    QTemporaryDir folder;
};

void TestWorkstation::initTestCase()
{
    solmirtest::createSingletons();
    QVERIFY(folder.isValid());
    Settings::instance()->prIP->setAddress(QHostAddress(QString::fromLatin1(deviceAddress)));
    Settings::instance()->prProtocolsPath->setValue(folder.path() + QStringLiteral("/сохранено"));
}

void TestWorkstation::pagesInOrder()
{
    MainWindow window;
    auto* tabs = window.findChild<HTabWidget*>();
    QVERIFY(tabs);
    QCOMPARE(tabs->count(), 2);
    QCOMPARE(tabs->tabText(0), QStringLiteral("Управление"));
    QCOMPARE(tabs->tabText(1), QStringLiteral("Протоколы СОЛМИР-3"));
    QCOMPARE(tabs->currentIndex(), 0);

    // Connection bar, tabs and status line stacked in one column.
    auto* grid = qobject_cast<QGridLayout*>(window.centralWidget()->layout());
    QVERIFY(grid);
    const QList<QWidget*> rows = {window.findChild<ControllWidget*>(), tabs,
                                  StatusFrame::instance()};
    for (int expected = 0; expected < rows.size(); ++expected) {
        int row = -1, column = -1, rowSpan = 0, columnSpan = 0;
        grid->getItemPosition(grid->indexOf(rows.at(expected)), &row, &column, &rowSpan,
                              &columnSpan);
        QCOMPARE(QPoint(column, row), QPoint(0, expected));
    }
}

// A connection-state change re-fetches the listing even while its page is hidden; the ticked
// files then arrive in the protocols folder byte for byte, and disconnecting fetches again.
void TestWorkstation::connectingFetchesTheListingAndTheBatchLandsInTheFolder()
{
    SimOptions options;
    options.address = QHostAddress(QString::fromLatin1(deviceAddress));
    options.animate = false;
    RfbServer rfb(options);
    HttpServer http(options);
    if (!rfb.start() || !http.start())
        QSKIP("the simulated device cannot listen on its loopback address (port 80 needs root)");
    QVERIFY(http.fileNames().size() >= 3);

    solmirtest::MessageBoxWatcher boxes;
    MainWindow window;
    window.show();
    auto* model = ModelProtocols::instance()->proxyModel();
    HButton* button = connectButton(window);
    QVERIFY(button);

    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(button->text(), QStringLiteral("Отключить"), connectMs);
    QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(), http.fileNames().size(), connectMs);
    QStringList expected = http.fileNames();
    std::sort(expected.begin(), expected.end(), std::greater<QString>());
    QCOMPARE(listedNames(model), expected);

    auto* tabs = window.findChild<HTabWidget*>();
    tabs->setCurrentIndex(1);
    QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(), http.fileNames().size(), connectMs);
    const QStringList chosen = {listedNames(model).at(0), listedNames(model).at(2)};
    model->setData(model->index(0, 0), true, Qt::CheckStateRole);
    model->setData(model->index(2, 0), true, Qt::CheckStateRole);
    auto* tab = window.findChild<TabProtocols*>();
    QMetaObject::invokeMethod(tab, "handleButton", Q_ARG(int, 1));
    QVERIFY(boxes.waitForCount(1, connectMs));
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Файлы загружены.")});
    for (const QString& name : chosen) {
        QFile saved(Settings::instance()->prProtocolsPath->value() + QLatin1Char('/') + name);
        QFile original(QDir(http.folder()).filePath(name));
        QVERIFY2(saved.open(QIODevice::ReadOnly), qPrintable(name));
        QVERIFY(original.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), original.readAll());
    }
    QCOMPARE(QDir(Settings::instance()->prProtocolsPath->value()).entryList(QDir::Files).size(),
             chosen.size());

    tabs->setCurrentIndex(0);
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(button->text(), QStringLiteral("Подключить"), connectMs);
    QCOMPARE(boxes.count(), 1);
}

QTEST_MAIN(TestWorkstation)
#include "tst_workstation.moc"
