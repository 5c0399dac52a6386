#include "parameters/widgets/heditableenumedit.h"

#include <QKeyEvent>

HEditableEnumEdit::HEditableEnumEdit(QWidget* parent) : QComboBox(parent)
{
    setEditable(true);
}

void HEditableEnumEdit::keyPressEvent(QKeyEvent* event)
{
    // Only the main Return confirms; the keypad Enter waits for the focus to leave.
    if (event->key() == Qt::Key_Return && !(event->modifiers() & Qt::KeypadModifier))
        emit onFocusLostEvent();
    QComboBox::keyPressEvent(event);
}

void HEditableEnumEdit::focusOutEvent(QFocusEvent* event)
{
    emit onFocusLostEvent();
    QComboBox::focusOutEvent(event);
}
