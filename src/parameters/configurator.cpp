#include "parameters/configurator.h"

#include "parameters/parametrip.h"
#include "parameters/parametrpath.h"
#include "parameters/parametrstring.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <QtGlobal>

Configurator* Configurator::self = nullptr;

Configurator::Configurator(QObject* parent) : QObject(parent)
{
    pathCaption = tr("Путь к файлу конфигурации");
    path = new ParametrPath(&pathCaption, OwnCaption);
    path->setValue(QCoreApplication::applicationDirPath() + QStringLiteral("/conf.ini"));
    self = this;
}

Configurator::~Configurator()
{
    delete path;
}

Configurator* Configurator::instance()
{
    return self;
}

void Configurator::addParametr(HAbstractParametr* parametr, const QString& key)
{
    parametrs.append(qMakePair(key, parametr));
}

void Configurator::load()
{
    configure(Load);
}

void Configurator::save()
{
    configure(Save);
}

void Configurator::configure(int mode)
{
    const QString file = path->value();
    if (mode == Save) {
        const QString dir = file.left(file.lastIndexOf(QLatin1Char('/')));
        if (!dir.isEmpty() && !QDir(dir).exists())
            QDir().mkpath(dir);
    }
    QSettings settings(file, QSettings::IniFormat);
    if (mode == Save)
        settings.clear();
    for (const auto& entry : qAsConst(parametrs))
        configureParametr(settings, entry.second, entry.first, mode);
}

void Configurator::configureParametr(QSettings& settings, HAbstractParametr* parametr,
                                     const QString& key, int mode)
{
    if (mode == Load && !settings.contains(key))
        return;
    const bool load = mode == Load;
    const bool save = mode == Save;
    switch (parametr->type()) {
    case TypeString: {
        auto* p = static_cast<ParametrString*>(parametr);
        if (load)
            p->setValue(settings.value(key).toString());
        else if (save)
            settings.setValue(key, p->value());
        return;
    }
    case TypePath: {
        auto* p = static_cast<ParametrPath*>(parametr);
        if (load)
            p->setValue(settings.value(key).toString());
        else if (save)
            settings.setValue(key, p->value());
        return;
    }
    case TypeIP: {
        auto* p = static_cast<ParametrIP*>(parametr);
        if (load)
            p->setAddress(QHostAddress(settings.value(key).toString()));
        else if (save)
            settings.setValue(key, p->addressText());
        return;
    }
    default:
        qWarning("configureParametr - UNKNOWN PARAMETR TYPE");
        return;
    }
}
