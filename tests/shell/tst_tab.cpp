// The tab page frame: a page-filling scroll area over a light holder with a 5-pixel grid.
#include "shell/htabwidget.h"
#include "shell/tab.h"
#include "shell/tabholderwidget.h"

#include <QGridLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>

namespace {

// A page like the remote-screen tab: one widget of a given minimum size in the holder's grid.
class SamplePage : public Tab
{
public:
    SamplePage(QWidget* parent, QSize contentMinimum) : Tab(parent)
    {
        QWidget* holderWidget = scrollArea()->widget();
        content = new QWidget(holderWidget);
        content->setMinimumSize(contentMinimum);
        holderWidget->layout()->addWidget(content);
    }
    QScrollArea* scrollArea() const { return findChild<QScrollArea*>(); }
    QWidget* content;
};

const QRgb holderColour = QColor(Qt::lightGray).lighter(120).rgb();

} // namespace

class TestTab : public QObject
{
    Q_OBJECT
private slots:
    void frameFillsPage();
    void holderIsLight();
    void scrollBarsOnlyWhenContentIsLarger();
    void tabWidgetReparentsPages();
};

void TestTab::frameFillsPage()
{
    SamplePage page(nullptr, QSize(50, 40));
    QScrollArea* area = page.scrollArea();
    QVERIFY(area);
    QCOMPARE(area->parentWidget(), &page);
    QVERIFY(page.layout() == nullptr);
    QVERIFY(area->widgetResizable());
    QCOMPARE(area->frameShape(), QFrame::NoFrame);
    auto* holder = qobject_cast<TabHolderWidget*>(area->widget());
    QVERIFY(holder);
    auto* grid = qobject_cast<QGridLayout*>(holder->layout());
    QVERIFY(grid);
    QCOMPARE(grid->contentsMargins(), QMargins(5, 5, 5, 5));
    int row = -1, column = -1, rowSpan = 0, columnSpan = 0;
    grid->getItemPosition(grid->indexOf(page.content), &row, &column, &rowSpan, &columnSpan);
    QCOMPARE(row, 0);
    QCOMPARE(column, 0);
    QCOMPARE(page.sizeHint(), holder->sizeHint());

    page.resize(430, 270);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QCOMPARE(area->geometry(), page.rect());
    page.resize(610, 333);
    QTRY_COMPARE(area->geometry(), page.rect());
    QCOMPARE(holder->size(), area->viewport()->size());
}

void TestTab::holderIsLight()
{
    SamplePage page(nullptr, QSize(50, 40));
    page.resize(300, 200);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    const QImage image = page.grab().toImage();
    // Inside the margin, and beside the content where nothing else paints.
    QCOMPARE(image.pixel(2, 2), holderColour);
    QCOMPARE(image.pixel(250, 150), holderColour);
    QCOMPARE(image.pixel(299, 199), holderColour);
}

void TestTab::scrollBarsOnlyWhenContentIsLarger()
{
    SamplePage small(nullptr, QSize(200, 100));
    small.resize(400, 300);
    small.show();
    QVERIFY(QTest::qWaitForWindowExposed(&small));
    QVERIFY(!small.scrollArea()->horizontalScrollBar()->isVisible());
    QVERIFY(!small.scrollArea()->verticalScrollBar()->isVisible());

    // Like a device screen larger than the page: every part stays reachable by scrolling.
    SamplePage large(nullptr, QSize(800, 600));
    large.resize(400, 300);
    large.show();
    QVERIFY(QTest::qWaitForWindowExposed(&large));
    QScrollArea* area = large.scrollArea();
    QTRY_VERIFY(area->horizontalScrollBar()->isVisible());
    QVERIFY(area->verticalScrollBar()->isVisible());
    const QSize viewport = area->viewport()->size();
    QCOMPARE(area->horizontalScrollBar()->maximum(), 800 + 2 * 5 - viewport.width());
    QCOMPARE(area->verticalScrollBar()->maximum(), 600 + 2 * 5 - viewport.height());
    area->horizontalScrollBar()->setValue(area->horizontalScrollBar()->maximum());
    area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
    const QPoint bottomRight = large.content->mapTo(area->viewport(), QPoint(799, 599));
    QVERIFY(area->viewport()->rect().contains(bottomRight));

    // Growing the page past the content removes the bars again.
    large.resize(900, 700);
    QTRY_VERIFY(!area->horizontalScrollBar()->isVisible());
    QVERIFY(!area->verticalScrollBar()->isVisible());
}

void TestTab::tabWidgetReparentsPages()
{
    QWidget window;
    HTabWidget tabs(&window);
    auto* first = new SamplePage(&window, QSize(10, 10));
    auto* second = new SamplePage(&window, QSize(10, 10));
    QCOMPARE(tabs.addTab(first, QStringLiteral("Управление")), 0);
    QCOMPARE(tabs.addTab(second, QStringLiteral("Протоколы СОЛМИР-3")), 1);
    QCOMPARE(tabs.currentIndex(), 0);
    QVERIFY(first->parentWidget() != &window);
    QVERIFY(tabs.isAncestorOf(first));
    QVERIFY(tabs.isAncestorOf(second));
}

QTEST_MAIN(TestTab)
#include "tst_tab.moc"
