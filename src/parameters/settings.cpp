#include "parameters/settings.h"

#include "parameters/configurator.h"
#include "parameters/parametrcaptions.h"
#include "parameters/parametrip.h"
#include "parameters/parametrpath.h"

#include <QHostAddress>
#include <QStandardPaths>

Settings* Settings::self = nullptr;

Settings::Settings(QObject* parent) : QObject(parent)
{
    ParametrCaptions* captions = ParametrCaptions::instance();
    prIP = new ParametrIP(&captions->ipAddress, 0);
    prProtocolsPath = new ParametrPath(&captions->protocolsPath, AltEditor);
    Configurator::instance()->addParametr(prIP, QStringLiteral("prIP"));
    Configurator::instance()->addParametr(prProtocolsPath, QStringLiteral("prProtocolsPath"));
    prIP->setAddress(QHostAddress(QStringLiteral("192.168.0.3")));
    prProtocolsPath->setValue(QStandardPaths::writableLocation(QStandardPaths::HomeLocation) +
                              QStringLiteral("/АРМ СОЛМИР-3/Протоколы"));
    self = this;
}

Settings* Settings::instance()
{
    return self;
}
