#include "shell/iconset.h"

#include <QCoreApplication>

IconSet* IconSet::self = nullptr;

namespace {

// A missing or unreadable file yields a null icon, so a button shows its text alone instead
// of reserving an empty icon slot beside it.
QIcon loadIcon(const QString& prefix, const char* name)
{
    QIcon icon(prefix + QLatin1String(name) + QStringLiteral(".png"));
    return icon.availableSizes().isEmpty() ? QIcon() : icon;
}

} // namespace

IconSet::IconSet() : iconSize(-1, -1)
{
    iconSize = QSize(20, 20);
    const QString prefix = QCoreApplication::applicationDirPath() + QStringLiteral("/icons/");
    connect = loadIcon(prefix, "connect");
    disconnect = loadIcon(prefix, "disconnect");
    folderOpen = loadIcon(prefix, "folder_open");
    fileSave = loadIcon(prefix, "file_save");
    excel = loadIcon(prefix, "excel");
    checkAll = loadIcon(prefix, "check_all");
    checkClear = loadIcon(prefix, "check_clear");
    self = this;
}

IconSet* IconSet::instance()
{
    return self;
}
