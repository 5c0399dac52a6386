// PanelScreen: the simulated instrument panel the device shows, and how it reacts to input.
#pragma once

#include <QDateTime>
#include <QImage>
#include <QObject>
#include <QRect>
#include <QString>
#include <QVector>

class QTimer;

class PanelScreen : public QObject
{
    Q_OBJECT
public:
    static constexpr int buttonCount = 4;

    PanelScreen(const QSize& size, bool animate, QObject* parent = nullptr);
    QImage frame() const { return image; } // Format_RGB16
    QSize size() const { return image.size(); }

    // Input as the RFB client sends it.
    void pointerEvent(quint8 buttonMask, int x, int y);
    void keyEvent(bool down, quint32 keysym);

    QRect buttonRect(int index) const;
    bool buttonOn(int index) const;
    QString buttonCaption(int index) const;
    QString typedText() const { return typed; }
    QString committedText() const { return committed; }
    QRect textFieldRect() const;

signals:
    void changed();

private slots:
    void onTick();

private:
    void render();
    void drawTitle(class QPainter& p);
    void drawTrace(QPainter& p, const QRect& area);
    void drawReadouts(QPainter& p, const QRect& area);
    void drawButtons(QPainter& p);
    void drawTextField(QPainter& p);
    void drawPointer(QPainter& p);
    double sample(double t) const;
    QRect traceRect() const;
    QRect readoutRect() const;

    QImage image;
    QTimer* timer = nullptr;
    QDateTime startTime;
    int tick = 0;
    QVector<bool> buttons;
    QString typed;
    QString committed;
    QPoint pointer{-1, -1};
    QPoint clickMark{-1, -1};
    quint8 lastMask = 0;
};
