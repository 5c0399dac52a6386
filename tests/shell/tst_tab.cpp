// The tab page frame: a page-filling scroll area over a light holder.
#include "shell/tab.h"

#include <QGridLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>

namespace {

// A page like the remote-screen tab: one widget of a given minimum size in the holder's grid.
class SamplePage : public Tab
{
public:
    explicit SamplePage(QSize contentMinimum) : Tab(nullptr)
    {
        content = new QWidget(scrollArea->widget());
        content->setMinimumSize(contentMinimum);
        contentGrid->addWidget(content, 0, 0);
    }
    QScrollArea* area() const { return scrollArea; }
    QWidget* content;
};

} // namespace

class TestTab : public QObject
{
    Q_OBJECT
private slots:
    void scrollsLargeContentAndFillsPage();
};

void TestTab::scrollsLargeContentAndFillsPage()
{
    // Like a device screen larger than the page: every part stays reachable by scrolling.
    SamplePage page(QSize(800, 600));
    page.resize(400, 300);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QScrollArea* area = page.area();
    QCOMPARE(area->geometry(), page.rect());
    QTRY_VERIFY(area->horizontalScrollBar()->isVisible());
    QVERIFY(area->verticalScrollBar()->isVisible());
    area->horizontalScrollBar()->setValue(area->horizontalScrollBar()->maximum());
    area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
    const QPoint bottomRight = page.content->mapTo(area->viewport(), QPoint(799, 599));
    QVERIFY(area->viewport()->rect().contains(bottomRight));

    // The page has no layout: it keeps the scroll area page-sized itself, and once the page
    // outgrows the content the bars go away.
    page.resize(900, 700);
    QTRY_COMPARE(area->geometry(), page.rect());
    QTRY_VERIFY(!area->horizontalScrollBar()->isVisible());
    QVERIFY(!area->verticalScrollBar()->isVisible());
    // The holder is light inside the margin and beside the content, where nothing else paints.
    const QImage image = page.grab().toImage();
    const QRgb light = QColor(Qt::lightGray).lighter(120).rgb();
    QCOMPARE(image.pixel(2, 2), light);
    QCOMPARE(image.pixel(850, 650), light);
    QCOMPARE(image.pixel(899, 699), light);
}

QTEST_MAIN(TestTab)
#include "tst_tab.moc"
