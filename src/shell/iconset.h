#pragma once
// IconSet: the shared 20x20 button icons, loaded once from the icons folder beside the executable.
#include <QIcon>
#include <QSize>

class IconSet
{
public:
    IconSet();
    static IconSet* instance();

    QSize iconSize;
    QIcon connect;
    QIcon disconnect;
    QIcon folderOpen;
    QIcon fileSave;
    QIcon excel;
    QIcon checkAll;
    QIcon checkClear;

private:
    static IconSet* self;
};
