#include "shell/ledwidget.h"

#include <QPropertyAnimation>

LedWidget::LedWidget(QWidget* parent) : QFrame(parent)
{
    setColor(Qt::gray);
    setAutoFillBackground(true);
}

QColor LedWidget::color() const
{
    return palette().brush(QPalette::Active, QPalette::Window).color();
}

void LedWidget::setColor(const QColor& color)
{
    QPalette pal = palette();
    pal.setBrush(QPalette::All, QPalette::Window, QBrush(color));
    setPalette(pal);
}

void LedWidget::flash()
{
    // A new status restarts the blink: every running animation stops and deletes itself.
    emit fastClear();
    auto* animation = new QPropertyAnimation(this, "color", this);
    connect(this, SIGNAL(fastClear()), animation, SLOT(stop()), Qt::DirectConnection);
    animation->setKeyValueAt(0.0, QColor(Qt::gray));
    animation->setKeyValueAt(0.3, QColor(Qt::green));
    animation->setKeyValueAt(0.5, QColor(Qt::gray));
    animation->setKeyValueAt(0.8, QColor(Qt::green));
    animation->setKeyValueAt(1.0, QColor(Qt::gray));
    animation->setEasingCurve(QEasingCurve::OutQuad);
    animation->setDuration(800);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}
