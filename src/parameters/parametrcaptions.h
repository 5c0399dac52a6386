#pragma once
// ParametrCaptions: the captions that the application's parameters point at for the whole run.
#include <QString>

class ParametrCaptions
{
public:
    ParametrCaptions();
    static ParametrCaptions* instance();
    void retranslate();

    QString first;
    QString ipAddress;
    QString protocolSearch;
    QString protocolsPath;

private:
    static ParametrCaptions* self;
};
