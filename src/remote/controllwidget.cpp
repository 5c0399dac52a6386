#include "remote/controllwidget.h"

#include "parameters/parametrip.h"
#include "parameters/settings.h"
#include "parameters/widgets/prfield.h"
#include "remote/displayframe.h"
#include "remote/hvnc.h"
#include "shell/hbutton.h"
#include "shell/iconset.h"

#include <QFontMetrics>
#include <QGridLayout>

ControllWidget::ControllWidget(QWidget* parent) : QWidget(parent)
{
    setFixedHeight(50);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(10, 1, 1, 1);
    field = new PrField(Settings::instance()->prIP, this, PrField::LabelLeft);
    const int sampleWidth = fontMetrics().horizontalAdvance(QStringLiteral("  888.888.888.888  "));
    field->setFixedWidth(static_cast<int>(1.5 * static_cast<double>(sampleWidth)));
    grid->addWidget(field, 0, 0);
    auto* filler = new QWidget(this);
    filler->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Maximum);
    button = new HButton(QString(), 0, this);
    button->setIconSize(IconSet::instance()->iconSize);
    grid->addWidget(button, 0, grid->columnCount());
    connect(button, SIGNAL(clicked(bool)), this, SLOT(onButtonPressed()));
    grid->addWidget(filler, 0, grid->columnCount());
    onConnectStateChanged(false);
}

void ControllWidget::setDisplayFrame(DisplayFrame* frame)
{
    view = frame;
    connect(view->session(), SIGNAL(connectStateChanged(bool)), this,
            SLOT(onConnectStateChanged(bool)));
}

void ControllWidget::onButtonPressed()
{
    auto* source = qobject_cast<HButton*>(sender());
    if (source)
        handleButton(source->id());
}

void ControllWidget::handleButton(int id)
{
    if (id != 0 || !view)
        return;
    HVNC* session = view->session();
    if (session->action() != HVNC::Idle) {
        // The operator's own disconnect is no failure to report.
        session->setErrorShown(true);
        session->setAction(HVNC::Disconnect);
    } else {
        // Locked before the request: the attempt connects to the address shown, and the
        // listing, the downloads and conf.ini must name that device too.
        field->setEnabled(false);
        session->setAction(HVNC::Connect);
        // Enabled again by the next connectStateChanged, which comes on success and failure.
        button->setEnabled(false);
    }
}

void ControllWidget::onConnectStateChanged(bool connected)
{
    if (connected) {
        button->setText(tr("Отключить"));
        button->setIcon(IconSet::instance()->disconnect);
    } else {
        button->setText(tr("Подключить"));
        button->setIcon(IconSet::instance()->connect);
    }
    field->setEnabled(!connected);
    button->setEnabled(true);
}
