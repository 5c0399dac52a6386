#include "app/mainwindow.h"
#include "app/terminationhandler.h"
#include "app/version.h"
#include "parameters/configurator.h"
#include "parameters/parametrcaptions.h"
#include "parameters/settings.h"
#include "shell/iconset.h"
#include "shell/logfile.h"
#include "shell/logging.h"
#include "shell/messagehandler.h"
#include "shell/qtcompat.h"

#include <QApplication>
#include <QScreen>

int main(int argc, char* argv[])
{
    QtCompat::prepareHighDpi();
    QApplication app(argc, argv);
    // Beside conf.ini, where the engineer called to the plant looks first.
    const QString logPath =
        QCoreApplication::applicationDirPath() + QStringLiteral("/solmir3-arm.log");
    LogFile::install(logPath);
    qCInfo(lcApp, "АРМ СОЛМИР-3 %s started (Qt %s), log in %s", SOLMIR_VERSION_TEXT, qVersion(),
           qUtf8Printable(logPath));
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
    // Every control shows at first start: the window opens at the size its content needs
    // where that exceeds the default, though never beyond the screen.
    const QSize wanted = window.size().expandedTo(window.sizeHint());
    window.resize(wanted.boundedTo(window.screen()->availableGeometry().size()));
    window.show();
    const int code = app.exec();
    qCInfo(lcApp, "exiting with code %d", code);
    return code;
}
