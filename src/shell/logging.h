#pragma once
// The program's logging categories, one per area. Info and above are on by default; debug is
// turned on with QT_LOGGING_RULES, for example "solmir.remote.debug=true".
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcRemote)    // solmir.remote: the session and the view
Q_DECLARE_LOGGING_CATEGORY(lcProtocols) // solmir.protocols: the listing, downloads, the store
Q_DECLARE_LOGGING_CATEGORY(lcSettings)  // solmir.settings: conf.ini
Q_DECLARE_LOGGING_CATEGORY(lcApp)       // solmir.app: start, signals, exit
Q_DECLARE_LOGGING_CATEGORY(lcSim)       // solmir.sim: the simulator

// Text that came over the network, kept on one line: each control character as U+FFFD. For the
// record and for message boxes alike.
QString oneLine(const QString& text);
