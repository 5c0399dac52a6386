#include "shell/statusframe.h"

#include "shell/ledwidget.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>

StatusFrame* StatusFrame::self = nullptr;

StatusFrame::StatusFrame(QWidget* parent) : QFrame(parent)
{
    setFixedHeight(static_cast<int>(1.2 * static_cast<double>(fontMetrics().height())));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 0, 0, 0);
    label = new QLabel(QString(), this);
    label->setTextFormat(Qt::PlainText);
    ledWidget = new LedWidget(this);
    ledWidget->setFixedSize(10, 10);
    layout->addWidget(ledWidget, 0);
    layout->addWidget(label, 0);
    setFrameShape(QFrame::NoFrame);
    self = this;
}

StatusFrame::~StatusFrame()
{
    // A status queued by the worker may arrive after the window is gone; it must find no
    // status line rather than a dangling one.
    if (self == this)
        self = nullptr;
}

StatusFrame* StatusFrame::instance()
{
    return self;
}

void StatusFrame::setStatus(const QString& text)
{
    label->setText(text);
    ledWidget->flash();
}

QString StatusFrame::text() const
{
    return label->text();
}
