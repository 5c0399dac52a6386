#pragma once
// Test fixture: builds the process-wide single objects in the program's own start-up order.
#include <QString>
#include <QStringList>

namespace solmirtest {

// Creates Configurator, ParametrCaptions, Settings, MessageHandler and IconSet once per
// process (later calls do nothing). conf.ini lands beside the test executable, which has a
// folder of its own.
void createSingletons();

// The keys conf.ini holds after the program wrote it, in QSettings' order.
inline const QStringList confKeys = {QStringLiteral("prIP"), QStringLiteral("prProtocolsPath")};

// Removes conf.ini beside the test executable.
void removeConfIni();
QString confIniPath();

} // namespace solmirtest
