#include "protocols/downloadprogress.h"

#include <QCoreApplication>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QMovie>
#include <QProgressBar>

DownloadProgress::DownloadProgress(QWidget* parent) : QWidget(parent)
{
    QPalette pal = palette();
    pal.setBrush(QPalette::All, QPalette::Window, QBrush(QColor(70, 70, 70, 255)));
    setPalette(pal);
    setAutoFillBackground(true);

    box = new QFrame(this);
    box->setLineWidth(1);
    auto* grid = new QGridLayout(box);
    grid->setSpacing(5);
    grid->setContentsMargins(5, 5, 5, 5);

    label = new QLabel(box);
    label->setAlignment(Qt::AlignCenter);
    QFont font = label->font();
    font.setWeight(QFont::Bold);
    label->setFont(font);
    label->setMinimumSize(20, 20);
    grid->addWidget(label, 0, 0);

    bar = new QProgressBar(box);
    bar->setMaximum(100);
    grid->addWidget(bar, 1, 0);
    bar->hide();

    // A missing or unreadable file leaves the label empty; nothing to report.
    movie = new QMovie(QCoreApplication::applicationDirPath() + QStringLiteral("/icons/load.gif"),
                       QByteArray(), this);
    label->setMovie(movie);
}

void DownloadProgress::setTarget(QWidget* widget)
{
    target = widget;
    fitToTarget();
}

void DownloadProgress::fitToTarget()
{
    if (target)
        resize(target->width(), target->height());
}

void DownloadProgress::start(int mode)
{
    bar->setValue(0);
    bar->setVisible(mode == 1);
    show();
}

void DownloadProgress::setProgress(int value)
{
    bar->setValue(value);
    if (bar->isHidden())
        bar->show();
}

void DownloadProgress::finished()
{
    hide();
}

void DownloadProgress::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    box->resize(200, 100);
    box->move((width() - 200) / 2, (height() - 100) / 2);
}

void DownloadProgress::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    movie->start();
}

void DownloadProgress::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    movie->stop();
}
