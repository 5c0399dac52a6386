#include "parameters/parametrcaptions.h"

#include <QObject>

ParametrCaptions* ParametrCaptions::self = nullptr;

ParametrCaptions::ParametrCaptions()
{
    retranslate();
    self = this;
}

ParametrCaptions* ParametrCaptions::instance()
{
    return self;
}

void ParametrCaptions::retranslate()
{
    ipAddress = QObject::tr("IP адрес");
    protocolSearch = QObject::tr("Поиск по имени протокола");
    protocolsPath = QObject::tr("Путь для сохранения протоколов");
}
