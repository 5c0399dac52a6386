#pragma once
// DisplayFrame: the remote screen view; owns the RFB session, paints its image, and turns the
// operator's input into records for its InputLedger.
#include <QPointer>
#include <QSize>
#include <QVector>
#include <QWidget>

class DownloadProgress;
class HVNC;
class InputLedger;
class QInputDialog;

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
    // From the device's screen size and the view's size; both may change without the other.
    void updateScales();
    QPoint toRemote(const QPointF& pos) const;
    // The prompt's attempt has ended; its answer would reach no one.
    void withdrawPrompt();

    HVNC* vnc;
    InputLedger* ledger;
    bool attemptRunning = false;
    float scaleX = 1.0f;
    float scaleY = 1.0f;
    bool unscaled = true;
    int remoteWidth = 10;
    int remoteHeight = 10;
    DownloadProgress* progress;
    QPointer<QInputDialog> passwordDialog;
};
