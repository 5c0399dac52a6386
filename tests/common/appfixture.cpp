#include "appfixture.h"

#include "parameters/configurator.h"
#include "parameters/parametrcaptions.h"
#include "parameters/settings.h"
#include "shell/iconset.h"
#include "shell/messagehandler.h"

#include <QCoreApplication>
#include <QFile>

namespace solmirtest {

void createSingletons()
{
    if (Configurator::instance())
        return;
    new Configurator(nullptr);
    new ParametrCaptions();
    new Settings(nullptr);
    new MessageHandler(nullptr);
    new IconSet();
}

QString confIniPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/conf.ini");
}

void removeConfIni()
{
    QFile::remove(confIniPath());
}

} // namespace solmirtest
