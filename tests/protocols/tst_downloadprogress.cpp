// Tests of the busy overlay: visibility per action, the centred panel, the progress bar and
// the animation that runs only while the overlay is visible.
#include "protocols/downloadprogress.h"

#include <QCoreApplication>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QMovie>
#include <QProgressBar>
#include <QtTest>

class TestDownloadProgress : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void startsVisibleWithItsParentAndLooksDark();
    void startModesAndProgress();
    void finishedHidesAndIsIdempotent();
    void panelCentredEvenWhenLargerThanOverlay();
    void animationRunsOnlyWhileVisible();
    void targetSizing();
    void missingAnimationIsHarmless();
};

void TestDownloadProgress::initTestCase()
{
    // The shipped animation, copied beside this test's executable.
    QVERIFY(QFile::exists(QCoreApplication::applicationDirPath() + "/icons/load.gif"));
}

void TestDownloadProgress::startsVisibleWithItsParentAndLooksDark()
{
    QWidget parent;
    parent.resize(400, 300);
    auto* overlay = new DownloadProgress(&parent);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    QVERIFY(overlay->isVisible());
    QVERIFY(overlay->autoFillBackground());
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        QCOMPARE(overlay->palette().brush(group, QPalette::Window).color(), QColor(70, 70, 70));
    QCOMPARE(overlay->panel()->palette().color(QPalette::Window), QColor(70, 70, 70));
    QCOMPARE(overlay->panel()->lineWidth(), 1);
    QVERIFY(overlay->progressBar()->isHidden());
    QCOMPARE(overlay->progressBar()->maximum(), 100);
    auto* label = overlay->findChild<QLabel*>();
    QVERIFY(label);
    QCOMPARE(label->movie(), overlay->animation());
    QCOMPARE(int(label->font().weight()), int(QFont::Bold));
    QCOMPARE(label->alignment(), Qt::AlignCenter);
    // Painted dark grey where the panel does not cover it.
    const QImage shot = overlay->grab().toImage();
    QCOMPARE(QColor(shot.pixel(2, 2)), QColor(70, 70, 70));
}

void TestDownloadProgress::startModesAndProgress()
{
    QWidget parent;
    parent.resize(400, 300);
    auto* overlay = new DownloadProgress(&parent);
    overlay->hide();
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));

    overlay->start(0);
    QVERIFY(overlay->isVisible());
    QVERIFY(!overlay->progressBar()->isVisible());

    overlay->setProgress(40);
    QVERIFY(overlay->progressBar()->isVisible());
    QCOMPARE(overlay->progressBar()->value(), 40);

    overlay->start(1);
    QVERIFY(overlay->progressBar()->isVisible());
    QCOMPARE(overlay->progressBar()->value(), 0);

    overlay->start(0);
    QVERIFY(!overlay->progressBar()->isVisible());

    // Progress of a hidden overlay changes the bar but does not show the overlay.
    overlay->finished();
    overlay->setProgress(70);
    QVERIFY(!overlay->isVisible());
    QCOMPARE(overlay->progressBar()->value(), 70);
    QVERIFY(!overlay->progressBar()->isHidden());
    overlay->start(0);
    QVERIFY(overlay->progressBar()->isHidden());
}

void TestDownloadProgress::finishedHidesAndIsIdempotent()
{
    QWidget parent;
    auto* overlay = new DownloadProgress(&parent);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    overlay->start(1);
    overlay->finished();
    QVERIFY(overlay->isHidden());
    overlay->finished();
    QVERIFY(overlay->isHidden());
    QVERIFY(overlay->animation()->state() != QMovie::Running);
    // Showing the parent again leaves an overlay that finished() hid hidden.
    parent.hide();
    parent.show();
    QVERIFY(overlay->isHidden());
}

void TestDownloadProgress::panelCentredEvenWhenLargerThanOverlay()
{
    QWidget parent;
    parent.resize(700, 500);
    auto* overlay = new DownloadProgress(&parent);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    overlay->resize(150, 80);
    QCOMPARE(overlay->panel()->geometry(), QRect(-25, -10, 200, 100));
    overlay->resize(151, 81);
    QCOMPARE(overlay->panel()->geometry(), QRect(-24, -9, 200, 100));
    overlay->resize(600, 401);
    QCOMPARE(overlay->panel()->geometry(), QRect(200, 150, 200, 100));
}

void TestDownloadProgress::animationRunsOnlyWhileVisible()
{
    QWidget parent;
    parent.resize(300, 200);
    auto* overlay = new DownloadProgress(&parent);
    QVERIFY(overlay->animation()->isValid());
    overlay->hide();
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    QCOMPARE(overlay->animation()->state(), QMovie::NotRunning);

    overlay->start(0);
    QCOMPARE(overlay->animation()->state(), QMovie::Running);
    QTRY_VERIFY(overlay->animation()->currentFrameNumber() >= 0);

    // Hiding the parent (leaving the tab) stops the movie; showing it restarts it.
    parent.hide();
    QCOMPARE(overlay->animation()->state(), QMovie::NotRunning);
    parent.show();
    QCOMPARE(overlay->animation()->state(), QMovie::Running);

    overlay->finished();
    QCOMPARE(overlay->animation()->state(), QMovie::NotRunning);

    // The remote screen view drives the overlay with setVisible.
    overlay->setVisible(true);
    QCOMPARE(overlay->animation()->state(), QMovie::Running);
    overlay->setVisible(false);
    QCOMPARE(overlay->animation()->state(), QMovie::NotRunning);
}

void TestDownloadProgress::targetSizing()
{
    QWidget parent;
    QWidget target(&parent);
    target.resize(321, 123);
    auto* overlay = new DownloadProgress(&parent);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    overlay->move(7, 9);
    const QSize before = overlay->size();
    overlay->fitToTarget(); // no target yet: nothing changes
    QCOMPARE(overlay->size(), before);
    overlay->setTarget(&target);
    QCOMPARE(overlay->size(), QSize(321, 123));
    QCOMPARE(overlay->pos(), QPoint(7, 9));
    target.resize(50, 40);
    QCOMPARE(overlay->size(), QSize(321, 123));
    overlay->fitToTarget();
    QCOMPARE(overlay->size(), QSize(50, 40));
    QCOMPARE(overlay->panel()->pos(), QPoint(-75, -30));
}

void TestDownloadProgress::missingAnimationIsHarmless()
{
    QFile::rename(QCoreApplication::applicationDirPath() + "/icons/load.gif",
                  QCoreApplication::applicationDirPath() + "/icons/load.gif.away");
    {
        QWidget parent;
        auto* overlay = new DownloadProgress(&parent);
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        overlay->start(1);
        QVERIFY(overlay->isVisible());
        QVERIFY(!overlay->animation()->isValid());
        auto* label = overlay->findChild<QLabel*>();
        QVERIFY(label->pixmap(Qt::ReturnByValue).isNull());
        overlay->finished();
        QVERIFY(overlay->isHidden());
    }
    QFile::rename(QCoreApplication::applicationDirPath() + "/icons/load.gif.away",
                  QCoreApplication::applicationDirPath() + "/icons/load.gif");
}

QTEST_MAIN(TestDownloadProgress)
#include "tst_downloadprogress.moc"
