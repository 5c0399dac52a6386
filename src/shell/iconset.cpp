#include "shell/iconset.h"

#include <QCoreApplication>

IconSet* IconSet::self = nullptr;

IconSet::IconSet() : iconSize(-1, -1)
{
    iconSize = QSize(20, 20);
    const QString prefix = QCoreApplication::applicationDirPath() + QStringLiteral("/icons/");
    // A missing file gives an empty icon and the button shows its text alone.
    connect = QIcon(prefix + QStringLiteral("connect.png"));
    disconnect = QIcon(prefix + QStringLiteral("disconnect.png"));
    folderOpen = QIcon(prefix + QStringLiteral("folder_open.png"));
    fileSave = QIcon(prefix + QStringLiteral("file_save.png"));
    excel = QIcon(prefix + QStringLiteral("excel.png"));
    checkAll = QIcon(prefix + QStringLiteral("check_all.png"));
    checkClear = QIcon(prefix + QStringLiteral("check_clear.png"));
    self = this;
}

IconSet* IconSet::instance()
{
    return self;
}
