#pragma once
// HTabWidget: the main window's tab widget.
#include <QTabWidget>

class HTabWidget : public QTabWidget
{
    Q_OBJECT
public:
    explicit HTabWidget(QWidget* parent = nullptr);
};
