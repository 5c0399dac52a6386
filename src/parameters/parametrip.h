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

private:
    QHostAddress value;
};
