#include "shell/tabvnc.h"

#include "remote/displayframe.h"
#include "shell/tabholderwidget.h"

#include <QLayout>

TabVNC* TabVNC::self = nullptr;

TabVNC::TabVNC(QWidget* parent) : Tab(parent)
{
    view = new DisplayFrame(holder);
    holder->layout()->addWidget(view);
    self = this;
}

TabVNC::~TabVNC()
{
    if (self == this)
        self = nullptr;
}

TabVNC* TabVNC::instance()
{
    return self;
}
