#pragma once
// Tab: the common frame of a tab page: a scroll area holding a light holder with a grid.
#include <QWidget>

class QGridLayout;
class QScrollArea;
class TabHolderWidget;

class Tab : public QWidget
{
    Q_OBJECT
public:
    explicit Tab(QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

    QGridLayout* contentGrid;
    QScrollArea* scrollArea;
    TabHolderWidget* holder;
};
