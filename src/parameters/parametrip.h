#pragma once
// ParametrIP: an IPv4 address; text that is not a valid address is held as a null address.
#include "parameters/habstractparametr.h"

#include <QHostAddress>

class ParametrIP : public HAbstractParametr
{
public:
    ParametrIP(const QString* caption, quint8 flags);

    QHostAddress address() const { return value; }
    void setAddress(const QHostAddress& address) { value = address; }
    QString addressText() const;

    // Only four dotted decimal octets make an address ("010" is ten); anything else is null.
    // QHostAddress alone would take "192.168" as 192.0.0.168 and "010" as octal.
    static QHostAddress addressFromText(const QString& text);

private:
    QHostAddress value;
};
