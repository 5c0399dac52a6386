#include "parameters/parametrchannelstyle.h"

ParametrChannelStyle::ParametrChannelStyle(const QString* caption, quint8 flags)
    : HAbstractParametr(caption, flags)
{
    kind = TypeChannelStyle;
    setLineColor(Qt::black);
    setFillColor(Qt::transparent);
}

void ParametrChannelStyle::setLineColor(const QColor& c)
{
    pal.setBrush(QPalette::All, QPalette::WindowText, QBrush(c, Qt::SolidPattern));
}

void ParametrChannelStyle::setFillColor(const QColor& c)
{
    pal.setBrush(QPalette::All, QPalette::Window, QBrush(c, Qt::SolidPattern));
}
