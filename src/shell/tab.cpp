#include "shell/tab.h"

#include "shell/tabholderwidget.h"

#include <QGridLayout>
#include <QResizeEvent>
#include <QScrollArea>

Tab::Tab(QWidget* parent) : QWidget(parent)
{
    // The page has no layout of its own: resizeEvent keeps the scroll area page-sized.
    scrollArea = new QScrollArea(this);
    scrollArea->setWidgetResizable(true);
    scrollArea->setFrameShape(QFrame::NoFrame);
    holder = new TabHolderWidget(scrollArea);
    scrollArea->setWidget(holder);
    contentGrid = new QGridLayout(holder);
    contentGrid->setContentsMargins(5, 5, 5, 5);
}

QSize Tab::sizeHint() const
{
    return holder->sizeHint();
}

void Tab::resizeEvent(QResizeEvent* event)
{
    scrollArea->resize(event->size());
    if (!scrollArea->widgetResizable())
        holder->resize(event->size());
    update();
}
