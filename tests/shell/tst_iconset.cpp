// The icon set read from beside the executable, the busy animation, and buttons without icons.
#include "shell/hbutton.h"
#include "shell/iconset.h"

#include <QDir>
#include <QImage>
#include <QMovie>
#include <QScopeGuard>
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

} // namespace

class TestIconSet : public QObject
{
    Q_OBJECT
private slots:
    void loadsFromApplicationFolder();
    void loadingAnimationPlays();
    void missingOrCorruptFolderGivesTextButtons();
};

void TestIconSet::loadsFromApplicationFolder()
{
    IconSet set;
    QCOMPARE(IconSet::instance(), &set);
    const QList<QIcon> icons = iconsOf(set);
    QList<QImage> seen;
    for (int i = 0; i < icons.size(); ++i) {
        // Each member holds its own picture at 20x20, not a neighbour's.
        const QImage file =
            QImage(iconsDir() + QStringLiteral("/%1.png").arg(QLatin1String(buttonIcons[i])))
                .convertToFormat(QImage::Format_ARGB32);
        QVERIFY2(!seen.contains(file), buttonIcons[i]);
        seen << file;
        QCOMPARE(icons[i].pixmap(set.iconSize).toImage().convertToFormat(QImage::Format_ARGB32),
                 file);
    }
}

void TestIconSet::loadingAnimationPlays()
{
    QMovie movie(iconsDir() + QStringLiteral("/load.gif"));
    QVERIFY(movie.isValid());
    QVERIFY(movie.frameCount() > 1);
    QList<QImage> frames;
    for (int i = 0; i < movie.frameCount(); ++i) {
        QVERIFY(movie.jumpToFrame(i));
        QVERIFY(!frames.contains(movie.currentImage()));
        frames << movie.currentImage();
        QVERIFY(movie.nextFrameDelay() > 0);
    }
    // Drawn on the busy overlay's own colour, so the corners blend in.
    QCOMPARE(QColor(frames.first().pixel(0, 0)), QColor(70, 70, 70));
}

void TestIconSet::missingOrCorruptFolderGivesTextButtons()
{
    const QString away = iconsDir() + QStringLiteral(".away");
    QVERIFY(QDir().rename(iconsDir(), away));
    const auto restore = qScopeGuard([&] {
        QDir(iconsDir()).removeRecursively();
        QDir().rename(away, iconsDir());
    });
    // A file that is there but unreadable counts as missing, too.
    QVERIFY(QDir().mkdir(iconsDir()));
    QFile junk(iconsDir() + QStringLiteral("/connect.png"));
    QVERIFY(junk.open(QIODevice::WriteOnly) && junk.write("not a picture") > 0);
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
    // No empty icon slot: the button is as wide as one that never had an icon.
    HButton textOnly(QStringLiteral("Подключить"), nullptr);
    QCOMPARE(button.sizeHint(), textOnly.sizeHint());
}

QTEST_MAIN(TestIconSet)
#include "tst_iconset.moc"
