#include "parameters/configurator.h"

#include "parameters/parametrdouble.h"
#include "parameters/parametreditableenum.h"
#include "parameters/parametrenum.h"
#include "parameters/parametrint.h"
#include "parameters/parametrip.h"
#include "parameters/parametrpath.h"
#include "parameters/parametrstring.h"
#include "parameters/parametrtime.h"
#include "shell/logging.h"

#include "shell/qtcompat.h"
#include <QCoreApplication>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QTemporaryFile>
#include <QVariant>
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
        const int slash = file.lastIndexOf(QLatin1Char('/'));
        const QString dir = slash > 0 ? file.left(slash) : QString();
        if (!dir.isEmpty() && !QDir(dir).exists())
            QDir().mkpath(dir);
    }
    // Qt 6 reads and writes the file as UTF-8; it keeps Qt 5's form, read and written alike.
    QTemporaryFile readable;
    QString settingsFile = file;
    if (mode == Load && QtCompat::iniNeedsTranslation()) {
        QFile stored(file);
        if (stored.open(QIODevice::ReadOnly) && readable.open()) {
            readable.write(QtCompat::iniBytesToRead(stored.readAll()));
            readable.flush();
            settingsFile = readable.fileName();
        }
    }
    if (mode == Load && !QFileInfo::exists(file))
        qCInfo(lcSettings, "no %s yet: the defaults apply", qUtf8Printable(file));
    else if (mode == Load && !QFileInfo(file).isReadable())
        qCWarning(lcSettings, "%s is not readable: the defaults apply", qUtf8Printable(file));
    {
        QSettings settings(settingsFile, QSettings::IniFormat);
        if (mode == Save)
            settings.clear();
        for (const auto& entry : qAsConst(parametrs))
            configureParametr(settings, entry.second, entry.first, mode);
        settings.sync();
        if (settings.status() != QSettings::NoError)
            qCWarning(lcSettings, "%s is not %s (%s)", qUtf8Printable(file),
                      mode == Save ? "writable" : "readable as INI",
                      settings.status() == QSettings::AccessError ? "no access" : "format error");
        else if (mode == Save)
            qCInfo(lcSettings, "settings written to %s", qUtf8Printable(file));
        else if (QFileInfo::exists(file))
            qCInfo(lcSettings, "settings read from %s", qUtf8Printable(file));
    }
    if (mode == Save && QtCompat::iniNeedsTranslation()) {
        QFile written(file);
        if (!written.open(QIODevice::ReadOnly))
            return;
        const QByteArray bytes = QtCompat::iniBytesAsWritten(written.readAll());
        written.close();
        QSaveFile rewritten(file);
        if (rewritten.open(QIODevice::WriteOnly)) {
            rewritten.write(bytes);
            rewritten.commit();
        }
    }
}

namespace {

void warnUnknownType()
{
    // No file/line/function context, whatever the build type.
    QMessageLogger().warning("configureParametr - UNKNOWN PARAMETR TYPE");
}

} // namespace

void Configurator::configureParametr(QSettings& settings, HAbstractParametr* parametr,
                                     const QString& key, int mode)
{
    if (!parametr)
        return;
    const bool load = mode == Load;
    if (load && !settings.contains(key))
        return;
    const bool save = mode == Save;
    const QVariant stored = load ? settings.value(key) : QVariant();
    switch (parametr->type()) {
    case TypeEnum: {
        auto* p = static_cast<ParametrEnum*>(parametr);
        if (load)
            p->setValue(stored.toInt());
        else if (save)
            settings.setValue(key, QVariant(static_cast<int>(p->value())));
        return;
    }
    case TypeString: {
        auto* p = static_cast<ParametrString*>(parametr);
        if (load)
            p->setValue(stored.toString());
        else if (save)
            settings.setValue(key, QVariant(p->value()));
        return;
    }
    case TypeDouble: {
        auto* p = static_cast<ParametrDouble*>(parametr);
        if (load)
            p->setValue(stored.toDouble());
        else if (save)
            settings.setValue(key, QVariant(p->value()));
        return;
    }
    case TypeInt: {
        auto* p = static_cast<ParametrInt*>(parametr);
        if (load)
            p->setValue(stored.toInt());
        else if (save)
            settings.setValue(key, QVariant(static_cast<int>(p->value())));
        return;
    }
    case TypeTime: {
        auto* p = static_cast<ParametrTime*>(parametr);
        if (load)
            p->setValue(stored.toTime());
        else if (save)
            settings.setValue(key, QVariant(p->value()));
        return;
    }
    case TypePath: {
        auto* p = static_cast<ParametrPath*>(parametr);
        if (load)
            p->setValue(stored.toString());
        else if (save)
            settings.setValue(key, QVariant(p->value()));
        return;
    }
    case TypeEditableEnum: {
        auto* p = static_cast<ParametrEditableEnum*>(parametr);
        if (load)
            p->setValue(stored.toString());
        else if (save)
            settings.setValue(key, QVariant(p->valueText()));
        return;
    }
    case TypeIP: {
        auto* p = static_cast<ParametrIP*>(parametr);
        if (load)
            p->setAddress(ParametrIP::addressFromText(stored.toString()));
        else if (save)
            settings.setValue(key, QVariant(p->addressText()));
        return;
    }
    default:
        warnUnknownType();
        return;
    }
}
