#include "parameters/widgets/hdoublespinboxdelegate.h"

#include <QDoubleSpinBox>

namespace {
constexpr double EditorLimit = 1e16;
}

HDoubleSpinBoxDelegate::HDoubleSpinBoxDelegate(QObject* parent) : QItemDelegate(parent) {}

QWidget* HDoubleSpinBoxDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                              const QModelIndex&) const
{
    auto* box = new QDoubleSpinBox(parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setDecimals(places);
    box->setRange(-EditorLimit, EditorLimit);
    connect(box, SIGNAL(valueChanged(double)), this, SIGNAL(valueChanged(double)));
    return box;
}

void HDoubleSpinBoxDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    if (auto* box = qobject_cast<QDoubleSpinBox*>(editor))
        box->setValue(index.model()->data(index, Qt::EditRole).toDouble());
}

void HDoubleSpinBoxDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                          const QModelIndex& index) const
{
    if (auto* box = qobject_cast<QDoubleSpinBox*>(editor))
        model->setData(index, QVariant(box->value()), Qt::EditRole);
}

void HDoubleSpinBoxDelegate::updateEditorGeometry(QWidget* editor,
                                                  const QStyleOptionViewItem& option,
                                                  const QModelIndex&) const
{
    editor->setGeometry(option.rect);
}
