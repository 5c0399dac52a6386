#pragma once
// Settings: the application's persistent parameters, the device address and the protocols folder.
#include <QObject>

class ParametrIP;
class ParametrPath;

class Settings : public QObject
{
    Q_OBJECT
public:
    explicit Settings(QObject* parent = nullptr);
    static Settings* instance();

    ParametrIP* prIP;
    ParametrPath* prProtocolsPath;

private:
    static Settings* self;
};
