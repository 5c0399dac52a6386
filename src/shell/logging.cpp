#include "shell/logging.h"

Q_LOGGING_CATEGORY(lcRemote, "solmir.remote", QtInfoMsg)
Q_LOGGING_CATEGORY(lcProtocols, "solmir.protocols", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSettings, "solmir.settings", QtInfoMsg)
Q_LOGGING_CATEGORY(lcApp, "solmir.app", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSim, "solmir.sim", QtInfoMsg)

QString oneLine(const QString& text)
{
    QString line = text;
    for (QChar& c : line) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QChar(QChar::ReplacementCharacter);
    }
    return line;
}
