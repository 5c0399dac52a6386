#pragma once
// StatusFrame: the status line at the bottom of the main window, a text with a flashing LED.
#include <QFrame>

class QLabel;
class LedWidget;

class StatusFrame : public QFrame
{
    Q_OBJECT
public:
    explicit StatusFrame(QWidget* parent = nullptr);
    ~StatusFrame() override;
    static StatusFrame* instance();

    void setStatus(const QString& text);
    QString text() const;
    LedWidget* led() const { return ledWidget; }

private:
    QLabel* label;
    LedWidget* ledWidget;
    static StatusFrame* self;
};
