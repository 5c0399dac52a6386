// The shipped images, the icon set read from beside the executable, and buttons without icons.
#include "shell/hbutton.h"
#include "shell/iconset.h"

#include <QDir>
#include <QImage>
#include <QMovie>
#include <QSignalSpy>
#include <QtTest>

namespace {

const char* const buttonIcons[] = {"connect", "disconnect", "folder_open", "file_save",
                                   "excel",   "check_all",  "check_clear"};

QString iconsDir()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/icons");
}

QList<QIcon> iconsOf(const IconSet& set)
{
    return {set.connect, set.disconnect, set.folderOpen, set.fileSave,
            set.excel,   set.checkAll,   set.checkClear};
}

// Moves the icons folder away for one test and always brings it back.
class IconsFolderAway
{
public:
    IconsFolderAway() { moved = QDir().rename(iconsDir(), away()); }
    ~IconsFolderAway()
    {
        if (!moved)
            return;
        QDir(iconsDir()).removeRecursively();
        QDir().rename(away(), iconsDir());
    }
    bool moved = false;

private:
    static QString away() { return iconsDir() + QStringLiteral(".away"); }
};

} // namespace

class TestIconSet : public QObject
{
    Q_OBJECT
private slots:
    void shippedButtonIcons();
    void shippedAnimationAndAppIcon();
    void loadsFromApplicationFolder();
    void missingFolderGivesEmptyIconsAndWorkingButtons();
    void buttonIds();

public slots:
    void onButtonPressed();

private:
    QList<int> pressed;
};

void TestIconSet::shippedButtonIcons()
{
    QList<QImage> seen;
    for (const char* name : buttonIcons) {
        const QImage image(iconsDir() + QLatin1Char('/') + QLatin1String(name) +
                           QStringLiteral(".png"));
        QVERIFY2(!image.isNull(), name);
        QCOMPARE(image.size(), QSize(20, 20));
        QVERIFY2(image.hasAlphaChannel(), name);
        int clear = 0;
        int solid = 0;
        int partial = 0;
        for (int y = 0; y < 20; ++y) {
            for (int x = 0; x < 20; ++x) {
                const int alpha = qAlpha(image.pixel(x, y));
                clear += alpha == 0;
                solid += alpha == 255;
                partial += alpha > 0 && alpha < 255;
            }
        }
        // A pictogram on a transparent ground, with smoothed edges.
        QVERIFY2(clear > 20 && solid > 40 && partial > 0, name);
        QVERIFY2(!seen.contains(image), name);
        seen << image;
    }
    // Only the images travel with the executable, not the program that draws them.
    QVERIFY(!QFileInfo::exists(iconsDir() + QStringLiteral("/tools")));
}

void TestIconSet::shippedAnimationAndAppIcon()
{
    QMovie movie(iconsDir() + QStringLiteral("/load.gif"));
    QVERIFY(movie.isValid());
    QCOMPARE(movie.format(), QByteArray("gif"));
    QCOMPARE(movie.frameCount(), 12);
    QCOMPARE(movie.loopCount(), -1);
    QList<QImage> frames;
    QVERIFY(movie.jumpToFrame(0));
    for (int i = 0; i < movie.frameCount(); ++i) {
        QVERIFY(movie.jumpToFrame(i));
        const QImage frame = movie.currentImage();
        QCOMPARE(frame.size(), QSize(64, 64));
        QVERIFY(!frames.contains(frame));
        frames << frame;
        QVERIFY(movie.nextFrameDelay() > 0);
    }
    // Drawn on the busy overlay's own colour, so the corners blend in.
    QCOMPARE(QColor(frames.first().pixel(0, 0)), QColor(70, 70, 70));

    const QImage app(iconsDir() + QStringLiteral("/solmir3-arm.png"));
    QVERIFY(!app.isNull());
    QCOMPARE(app.size(), QSize(128, 128));
    QVERIFY(app.hasAlphaChannel());
}

void TestIconSet::loadsFromApplicationFolder()
{
    IconSet set;
    QCOMPARE(IconSet::instance(), &set);
    QCOMPARE(set.iconSize, QSize(20, 20));
    const QList<QIcon> icons = iconsOf(set);
    for (int i = 0; i < icons.size(); ++i) {
        QVERIFY2(!icons[i].isNull(), buttonIcons[i]);
        const QImage file(iconsDir() + QLatin1Char('/') + QLatin1String(buttonIcons[i]) +
                          QStringLiteral(".png"));
        QCOMPARE(icons[i].pixmap(set.iconSize).toImage().convertToFormat(QImage::Format_ARGB32),
                 file.convertToFormat(QImage::Format_ARGB32));
    }
}

void TestIconSet::missingFolderGivesEmptyIconsAndWorkingButtons()
{
    IconsFolderAway away;
    QVERIFY(away.moved);
    // A file that is there but unreadable counts as missing, too.
    QVERIFY(QDir().mkdir(iconsDir()));
    QFile junk(iconsDir() + QStringLiteral("/connect.png"));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write("not a picture");
    junk.close();
    IconSet set;
    for (const QIcon& icon : iconsOf(set))
        QVERIFY(icon.isNull());

    HButton button(QStringLiteral("Подключить"), nullptr);
    button.setIcon(set.connect);
    button.setIconSize(set.iconSize);
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));
    QSignalSpy clicked(&button, SIGNAL(clicked(bool)));
    QTest::mouseClick(&button, Qt::LeftButton);
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(button.text(), QStringLiteral("Подключить"));
    QVERIFY(button.icon().isNull());
    // No empty icon slot: the button is as wide as one that never had an icon.
    HButton textOnly(QStringLiteral("Подключить"), nullptr);
    QCOMPARE(button.sizeHint(), textOnly.sizeHint());
}

void TestIconSet::buttonIds()
{
    QWidget row;
    HButton plain(QString(), &row);
    HButton fifth(QStringLiteral("Выбрать все"), 4, &row);
    HButton top(QStringLiteral("…"), 255, &row);
    QCOMPARE(int(plain.id()), 0);
    QCOMPARE(int(fifth.id()), 4);
    QCOMPARE(int(top.id()), 255);
    QCOMPARE(fifth.parentWidget(), &row);

    // One slot tells the buttons apart by the sender's id.
    pressed.clear();
    for (HButton* button : {&plain, &fifth, &top})
        connect(button, SIGNAL(clicked()), this, SLOT(onButtonPressed()));
    row.show();
    QVERIFY(QTest::qWaitForWindowExposed(&row));
    fifth.click();
    top.click();
    plain.click();
    QCOMPARE(pressed, QList<int>({4, 255, 0}));
}

void TestIconSet::onButtonPressed()
{
    auto* button = qobject_cast<HButton*>(sender());
    pressed << (button ? int(button->id()) : -1);
}

QTEST_MAIN(TestIconSet)
#include "tst_iconset.moc"
