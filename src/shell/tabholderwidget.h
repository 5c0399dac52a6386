#pragma once
// TabHolderWidget: the light background on which a tab page lays out its content.
#include <QWidget>

class TabHolderWidget : public QWidget
{
    Q_OBJECT
public:
    explicit TabHolderWidget(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
