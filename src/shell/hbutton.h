#pragma once
// HButton: a push button with a small id, so one slot can serve a row of buttons via sender().
#include <QPushButton>

class HButton : public QPushButton
{
    Q_OBJECT
public:
    HButton(const QString& text, QWidget* parent);
    HButton(const QString& text, quint8 id, QWidget* parent);

    quint8 id() const { return buttonId; }

private:
    quint8 buttonId;
};
