#pragma once
// ControllWidget: the connection bar: the device address and the connect/disconnect button.
#include <QWidget>

class DisplayFrame;
class HButton;
class PrField;

class ControllWidget : public QWidget
{
    Q_OBJECT
public:
    explicit ControllWidget(QWidget* parent = nullptr);

    void setDisplayFrame(DisplayFrame* view);

    PrField* addressField() const { return field; }
    HButton* connectButton() const { return button; }

private slots:
    void onConnectStateChanged(bool connected);
    void onButtonPressed();

public slots:
    void handleButton(int id);

private:
    PrField* field;
    DisplayFrame* view = nullptr;
    HButton* button;
};
