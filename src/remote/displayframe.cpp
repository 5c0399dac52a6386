#include "remote/displayframe.h"

#include "protocols/downloadprogress.h"
#include "remote/hvnc.h"
#include "remote/keymapping.h"
#include "remote/rfbprotocol.h"
#include "remote/syncedmutexlocker.h"
#include "shell/qtcompat.h"

#include <QCoreApplication>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

namespace {

// Remote coordinate of a view coordinate: truncated toward zero, never clamped, so a drag
// beyond the view's edge still reaches the device (as the low 16 bits of the value).
// The position is taken unrounded: at a fractional or double density, a view pixel holds
// several screen pixels, and each of them reaches its own device pixel.
int toRemote(qreal viewCoordinate, float scale)
{
    return static_cast<int>(static_cast<float>(viewCoordinate) * scale);
}

quint8 buttonBit(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton:
        return 1;
    case Qt::MiddleButton:
        return 2;
    case Qt::RightButton:
        return 4;
    default:
        return 0;
    }
}

} // namespace

DisplayFrame::DisplayFrame(QWidget* parent) : QWidget(parent)
{
    vnc = new HVNC(this);
    connect(vnc, SIGNAL(neetToInputPassword()), this, SLOT(onPassword()));
    vnc->start();
    // The worker waits until the new image is on screen before it asks for the next one.
    connect(vnc, SIGNAL(updateDisplay()), this, SLOT(onUpdated()), Qt::BlockingQueuedConnection);
    connect(vnc, SIGNAL(connectStateChanged(bool)), this, SLOT(onConnectStateChanged(bool)));
    connect(vnc, SIGNAL(actionChanged(int)), this, SLOT(onNextActionChanged(int)));
    setAttribute(Qt::WA_MouseTracking);
    // Every pixel is painted by paintEvent, so the page below need not be painted first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    buttonMask = 0;
    progress = new DownloadProgress(this);
    progress->setVisible(false);
    progress->setTarget(this);
    setFocusPolicy(Qt::WheelFocus);
}

DisplayFrame::~DisplayFrame()
{
    // After the disconnect no new repaint call can be posted; destroying a call that is
    // already posted releases the worker blocked in its emit, so the session's destructor
    // can join the worker.
    disconnect(vnc, SIGNAL(updateDisplay()), this, SLOT(onUpdated()));
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
    // An attempt cut short by closing the window is no failure to report.
    vnc->setErrorShown(true);
    // The worker may be waiting for a password that this view will no longer ask for.
    if (passwordDialog)
        passwordDialog->reject();
    vnc->setPassword(QString(), false);
}

void DisplayFrame::onUpdated()
{
    if (vnc->isReady())
        repaint();
}

void DisplayFrame::onConnectStateChanged(bool connected)
{
    if (connected) {
        const QSize size = vnc->frameSize();
        remoteWidth = size.width();
        remoteHeight = size.height();
        setFixedSize(size);
        // A view that already had this size gets no resize event, but its scales still
        // belong to the previous screen.
        updateScales();
        emit onSizeChanged(size);
    } else {
        update();
    }
}

void DisplayFrame::onPassword()
{
    QPointer<DisplayFrame> alive(this);
    auto* dialog = new QInputDialog(this);
    passwordDialog = dialog;
    dialog->setWindowTitle(tr("Авторизация"));
    dialog->setLabelText(tr("Введите пароль"));
    dialog->setTextEchoMode(QLineEdit::Normal);
    dialog->setTextValue(QString());
    const bool ok = dialog->exec() == QDialog::Accepted;
    // The view may have been destroyed inside the dialog's event loop; its destructor has
    // answered the session then.
    if (!alive)
        return;
    // Like QInputDialog::getText, a cancelled dialog answers with no text.
    const QString text = ok ? dialog->textValue() : QString();
    delete dialog;
    vnc->setPassword(text, ok);
}

void DisplayFrame::onNextActionChanged(int action)
{
    progress->setVisible(action != HVNC::Idle && action != HVNC::Exchange);
}

void DisplayFrame::sendPointer(const QPointF& pos, int kind)
{
    vnc->sendMessage(
        rfb::pointerEvent(buttonMask, toRemote(pos.x(), scaleX), toRemote(pos.y(), scaleY)), kind);
}

void DisplayFrame::mousePressEvent(QMouseEvent* event)
{
    if (!vnc->isReady())
        return;
    buttonMask |= buttonBit(event->button());
    sendPointer(QtCompat::localPosition(event), HVNC::OrdinaryCommand);
}

void DisplayFrame::mouseReleaseEvent(QMouseEvent* event)
{
    if (!vnc->isReady())
        return;
    const quint8 bit = buttonBit(event->button());
    // The device knows only three buttons; releasing any other one lets go of everything.
    if (bit)
        buttonMask &= static_cast<quint8>(~bit);
    else
        buttonMask = 0;
    sendPointer(QtCompat::localPosition(event), HVNC::OrdinaryCommand);
}

void DisplayFrame::mouseMoveEvent(QMouseEvent* event)
{
    if (!vnc->isReady())
        return;
    // A newer motion replaces one still waiting in the queue.
    sendPointer(QtCompat::localPosition(event), HVNC::MotionCommand);
}

void DisplayFrame::wheelEvent(QWheelEvent* event)
{
    if (!vnc->isReady())
        return;
    // The dominant axis decides, as the classic single wheel delta did.
    const QPoint angle = event->angleDelta();
    const int delta = qAbs(angle.x()) > qAbs(angle.y()) ? angle.x() : angle.y();
    const quint8 mask = delta > 0 ? 8 : 16;
    const QPointF pos = event->position();
    vnc->sendMessage(rfb::pointerEvent(mask, toRemote(pos.x(), scaleX), toRemote(pos.y(), scaleY)),
                     HVNC::OrdinaryCommand);
}

void DisplayFrame::sendKey(QKeyEvent* event, bool down)
{
    if (!vnc->isReady())
        return;
    const int keysym = qtKeyToKeySym(event->key(), event->modifiers() != Qt::NoModifier);
    // An unmapped key would reach the device as keysym 0xFFFFFFFF; it is not sent at all.
    if (keysym < 0)
        return;
    vnc->sendMessage(rfb::keyEvent(down, static_cast<quint32>(keysym)), HVNC::OrdinaryCommand);
}

void DisplayFrame::keyPressEvent(QKeyEvent* event)
{
    sendKey(event, true);
}

void DisplayFrame::keyReleaseEvent(QKeyEvent* event)
{
    sendKey(event, false);
}

void DisplayFrame::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRect target = event->rect();
    // The image fills the view's logical size; Qt maps that to screen pixels at any density.
    // Unrounded, a partial repaint meets its neighbours without a seam when scaled.
    QRectF source = target;
    if (!unscaled) {
        source = QRectF(target.left() * qreal(scaleX), target.top() * qreal(scaleY),
                        target.width() * qreal(scaleX), target.height() * qreal(scaleY));
    }
    const bool ready = vnc->isReady();
    SyncedMutexLocker lock(&vnc->imageMutex);
    const QImage* image = vnc->image();
    // Gray wherever no image is drawn; where the image covers the whole repaint area the
    // fill would only be painted over, which at full-HD costs as much as the image itself.
    if (!ready || !QRectF(image->rect()).contains(source))
        painter.fillRect(QRect(0, 0, width(), height()), Qt::gray);
    if (ready)
        painter.drawImage(QRectF(target), *image, source);
}

void DisplayFrame::resizeEvent(QResizeEvent*)
{
    updateScales();
    progress->fitToTarget();
}

void DisplayFrame::updateScales()
{
    scaleX = static_cast<float>(remoteWidth) / static_cast<float>(qMax(1, width()));
    scaleY = static_cast<float>(remoteHeight) / static_cast<float>(qMax(1, height()));
    unscaled = scaleX == 1.0f && scaleY == 1.0f;
}

void DisplayFrame::showEvent(QShowEvent*)
{
    setFocus(Qt::OtherFocusReason);
}
