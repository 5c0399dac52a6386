#pragma once
// MainWindow: the one top-level window: connection bar, tabs and status line, stacked.
#include <QMainWindow>

class ControllWidget;
class HTabWidget;
class QGridLayout;

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

private:
    QWidget* central;
    QGridLayout* grid;
    ControllWidget* controll;
    HTabWidget* tabs;
};
