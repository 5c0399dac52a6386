#pragma once
// HDoubleSpinBoxDelegate: edits table cells with a double spin box and reports every step.
#include <QItemDelegate>

class HDoubleSpinBoxDelegate : public QItemDelegate
{
    Q_OBJECT
public:
    explicit HDoubleSpinBoxDelegate(QObject* parent = nullptr);

    int decimals() const { return places; }
    void setDecimals(int n) { places = n; }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

signals:
    void valueChanged(double value);

private:
    int places = 4;
};
