#include "shell/hbutton.h"

HButton::HButton(const QString& text, QWidget* parent) : QPushButton(text, parent), buttonId(0) {}

HButton::HButton(const QString& text, quint8 id, QWidget* parent)
    : QPushButton(text, parent), buttonId(id)
{
}
