#pragma once
// ParametrChannelStyle: how a channel is drawn: line colour, fill colour and line width.
#include "parameters/habstractparametr.h"

#include <QColor>
#include <QPalette>

class ParametrChannelStyle : public HAbstractParametr
{
public:
    ParametrChannelStyle(const QString* caption, quint8 flags);

    QColor lineColor() const { return pal.color(QPalette::WindowText); }
    void setLineColor(const QColor& c);
    QColor fillColor() const { return pal.color(QPalette::Window); }
    void setFillColor(const QColor& c);
    quint8 lineWidth() const { return width; }
    void setLineWidth(quint8 w) { width = w; }
    // Width 0 draws a hairline, which a pen takes as half a pixel.
    float lineWidthF() const { return width == 0 ? 0.5f : static_cast<float>(width); }
    QPalette palette() const { return pal; }
    void setPalette(const QPalette& p) { pal = p; }

private:
    QPalette pal;
    quint8 width = 1;
};
