#pragma once
// DisplayFrame: the remote screen view; owns the RFB session, paints its image, forwards input.
#include <QPointer>
#include <QSize>
#include <QVector>
#include <QWidget>

class DownloadProgress;
class HVNC;
class QInputDialog;
class QTimer;

class DisplayFrame : public QWidget
{
    Q_OBJECT
public:
    explicit DisplayFrame(QWidget* parent = nullptr);
    ~DisplayFrame() override;

    HVNC* session() const { return vnc; }
    DownloadProgress* busyIndicator() const { return progress; }

signals:
    void onSizeChanged(QSize size);

private slots:
    void onUpdated();
    void onConnectStateChanged(bool connected);
    void onPassword();
    void onNextActionChanged(int action);
    void onReleaseRetry();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // A key the device holds down: the physical key and the keysym its press sent.
    struct HeldKey
    {
        quint64 physical;
        quint32 keysym;
    };

    // From the device's screen size and the view's size; both may change without the other.
    void updateScales();
    bool sendPointer(const QPointF& pos, int kind);
    bool sendPointer(int x, int y, int kind);
    void sendKey(QKeyEvent* event, bool down);
    // False when the device will not get the message.
    bool post(const QByteArray& message, int kind);
    bool isHeld(quint32 keysym) const;
    // Sends the releases the device still misses; false while some remain.
    bool settle();
    void owe(quint32 keysym);
    // Input is taken from the view: the device lets go of everything the operator holds.
    void releaseAll();
    void forgetHeld();
    // The prompt's attempt has ended; its answer would reach no one.
    void withdrawPrompt();

    HVNC* vnc;
    // The buttons the operator holds as the device knows them.
    quint8 buttonMask = 0;
    // The mask and position of the last PointerEvent the device was sent.
    quint8 sentMask = 0;
    int lastX = 0;
    int lastY = 0;
    QVector<HeldKey> heldKeys;
    // Releases that did not make it into the queue, or were pushed out of it.
    QVector<quint32> owedKeys;
    bool owedPointer = false;
    QTimer* retryTimer;
    bool attemptRunning = false;
    float scaleX = 1.0f;
    float scaleY = 1.0f;
    bool unscaled = true;
    int remoteWidth = 10;
    int remoteHeight = 10;
    DownloadProgress* progress;
    QPointer<QInputDialog> passwordDialog;
};
