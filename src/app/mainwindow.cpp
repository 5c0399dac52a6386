#include "app/mainwindow.h"

#include "app/version.h"
#include "parameters/configurator.h"
#include "protocols/tabprotocols.h"
#include "remote/controllwidget.h"
#include "remote/displayframe.h"
#include "shell/htabwidget.h"
#include "shell/statusframe.h"
#include "shell/tabvnc.h"

#include <QGridLayout>

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent)
{
    // The status line exists before anything else so that early status texts reach it.
    auto* status = new StatusFrame(this);
    central = new QWidget(this);
    setCentralWidget(central);
    grid = new QGridLayout(central);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);
    controll = new ControllWidget(central);
    grid->addWidget(controll);
    tabs = new HTabWidget(central);
    grid->addWidget(tabs);

    auto* tabVnc = new TabVNC(this);
    auto* tabProtocols = new TabProtocols(this);
    tabs->addTab(tabVnc, QString::fromUtf8("Управление"));
    tabs->addTab(tabProtocols, QString::fromUtf8("Протоколы СОЛМИР-3"));

    DisplayFrame* view = tabVnc->displayFrame();
    controll->setDisplayFrame(view);
    tabProtocols->setDisplayFrame(view);

    grid->addWidget(status);
    setMinimumSize(500, 300);
    resize(QSize(900, 600));
    setWindowTitle(tr("АРМ СОЛМИР-3") + QStringLiteral("   v") +
                   QStringLiteral(SOLMIR_VERSION_TEXT));
}

MainWindow::~MainWindow()
{
    // Saved before any child widget is destroyed.
    Configurator::instance()->save();
}
