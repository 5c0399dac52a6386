#pragma once
// LedWidget: the small status LED; flash() blinks it green twice and lets it rest on gray.
#include <QColor>
#include <QFrame>

class LedWidget : public QFrame
{
    Q_OBJECT
    Q_PROPERTY(QColor color READ color WRITE setColor)
public:
    explicit LedWidget(QWidget* parent = nullptr);

    QColor color() const;
    void setColor(const QColor& color);
    void flash();

signals:
    void fastClear();
};
