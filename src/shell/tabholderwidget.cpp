#include "shell/tabholderwidget.h"

#include <QPaintEvent>
#include <QPainter>

TabHolderWidget::TabHolderWidget(QWidget* parent) : QWidget(parent) {}

void TabHolderWidget::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), QColor(Qt::lightGray).lighter(120));
    painter.end();
    QWidget::paintEvent(event);
}
