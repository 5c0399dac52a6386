#include "app/mainwindow.h"
#include "app/terminationhandler.h"
#include "parameters/configurator.h"
#include "parameters/parametrcaptions.h"
#include "parameters/settings.h"
#include "shell/iconset.h"
#include "shell/messagehandler.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // A logout or kill must still end through the window's destructor, which saves conf.ini.
    TerminationHandler termination;
    // Order matters: Settings takes its captions from ParametrCaptions and registers its
    // parameters with the Configurator. These objects live until the process ends.
    new Configurator(nullptr);
    new ParametrCaptions();
    new Settings(nullptr);
    new MessageHandler(nullptr);
    new IconSet();
    Configurator::instance()->load();

    MainWindow window(nullptr);
    window.show();
    return app.exec();
}
