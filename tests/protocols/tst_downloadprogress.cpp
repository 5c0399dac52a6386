// Tests of the busy overlay: visibility per action, the centred panel, the progress bar and
// the animation that runs only while the overlay is visible.
#include "protocols/downloadprogress.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QMovie>
#include <QProgressBar>
#include <QtTest>

namespace {

// A two-frame 4x4 animated GIF. Every pixel code is preceded by a clear code, so the LZW
// table never grows and every code stays 3 bits wide: no compressor needed.
QByteArray twoFrameGif()
{
    QByteArray gif("GIF89a");
    auto put16 = [&gif](int v) {
        gif.append(char(v & 0xFF));
        gif.append(char((v >> 8) & 0xFF));
    };
    put16(4);
    put16(4);
    gif.append(char(0x81)); // global colour table of 4 entries
    gif.append('\0');
    gif.append('\0');
    const unsigned char palette[] = {0, 0, 0, 255, 255, 255, 200, 0, 0, 0, 200, 0};
    gif.append(reinterpret_cast<const char*>(palette), sizeof palette);
    const unsigned char loop[] = {0x21, 0xFF, 0x0B, 'N', 'E',  'T',  'S',  'C',  'A', 'P',
                                  'E',  '2',  '.',  '0', 0x03, 0x01, 0x00, 0x00, 0x00};
    gif.append(reinterpret_cast<const char*>(loop), sizeof loop);
    for (int frame = 0; frame < 2; ++frame) {
        const unsigned char control[] = {0x21, 0xF9, 0x04, 0x00, 0x05, 0x00, 0x00, 0x00};
        gif.append(reinterpret_cast<const char*>(control), sizeof control);
        gif.append(char(0x2C));
        put16(0);
        put16(0);
        put16(4);
        put16(4);
        gif.append('\0');
        gif.append(char(2)); // LZW minimum code size
        QByteArray data;
        quint32 acc = 0;
        int bits = 0;
        auto code = [&](int c) {
            acc |= quint32(c) << bits;
            bits += 3;
            while (bits >= 8) {
                data.append(char(acc & 0xFF));
                acc >>= 8;
                bits -= 8;
            }
        };
        for (int i = 0; i < 16; ++i) {
            code(4);
            code((i + frame) % 4);
        }
        code(5);
        if (bits > 0)
            data.append(char(acc & 0xFF));
        gif.append(char(data.size()));
        gif.append(data);
        gif.append('\0');
    }
    gif.append(char(0x3B));
    return gif;
}

} // namespace

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
    // The overlay reads the animation beside the executable; this test has a folder of its own.
    QDir().mkpath(QCoreApplication::applicationDirPath() + "/icons");
    QFile file(QCoreApplication::applicationDirPath() + "/icons/load.gif");
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QVERIFY(file.write(twoFrameGif()) > 0);
    file.close();
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
    QCOMPARE(label->font().weight(), 75);
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
