#pragma once
// HEditableEnumEdit: an editable combo box that reports when the user confirms or leaves it.
#include <QComboBox>

class HEditableEnumEdit : public QComboBox
{
    Q_OBJECT
public:
    explicit HEditableEnumEdit(QWidget* parent = nullptr);

signals:
    void onFocusLostEvent();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};
