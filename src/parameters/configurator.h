#pragma once
// Configurator: keeps the registered parameters in conf.ini beside the executable.
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

class QSettings;
class HAbstractParametr;
class ParametrPath;

enum ConfigureMode
{
    Load = 0,
    Save = 1
};

class Configurator : public QObject
{
    Q_OBJECT
public:
    explicit Configurator(QObject* parent = nullptr);
    ~Configurator() override;
    static Configurator* instance();

    void addParametr(HAbstractParametr* parametr, const QString& key);
    void load();
    void save();
    void configure(int mode);
    static void configureParametr(QSettings& settings, HAbstractParametr* parametr,
                                  const QString& key, int mode);

    ParametrPath* confPath() const { return path; }

private:
    ParametrPath* path;
    QString pathCaption;
    QList<QPair<QString, HAbstractParametr*>> parametrs;
    static Configurator* self;
};
