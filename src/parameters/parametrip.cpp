#include "parameters/parametrip.h"

#include <QStringList>

ParametrIP::ParametrIP(const QString* caption, quint8 flags) : HAbstractParametr(caption, flags)
{
    kind = TypeIP;
}

QString ParametrIP::addressText() const
{
    return value.isNull() ? QString() : value.toString();
}

QHostAddress ParametrIP::addressFromText(const QString& text)
{
    const QStringList octets = text.trimmed().split(QLatin1Char('.'));
    if (octets.size() != 4)
        return QHostAddress();
    quint32 address = 0;
    for (const QString& octet : octets) {
        if (octet.isEmpty() || octet.size() > 3)
            return QHostAddress();
        int value = 0;
        for (const QChar c : octet) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return QHostAddress();
            value = value * 10 + (c.unicode() - '0');
        }
        if (value > 255)
            return QHostAddress();
        address = (address << 8) | static_cast<quint32>(value);
    }
    return QHostAddress(address);
}
