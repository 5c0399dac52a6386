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
#include <QTimer>
#include <QWheelEvent>
#include <QtEndian>

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

// The key as the keyboard knows it, whatever the modifiers made of it: Shift turns "1" into
// "!" for its press but not for a release after Shift. Synthetic events carry no scan code.
quint64 physicalKey(const QKeyEvent* event)
{
    if (event->nativeScanCode() != 0)
        return (quint64(1) << 32) | event->nativeScanCode();
    return static_cast<quint32>(event->key());
}

// A retry is cheap, and the worker takes the whole queue within one exchange pass.
constexpr int retryMs = 10;

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
    retryTimer = new QTimer(this);
    retryTimer->setSingleShot(true);
    retryTimer->setInterval(retryMs);
    connect(retryTimer, SIGNAL(timeout()), this, SLOT(onReleaseRetry()));
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
    // Whatever the device held belonged to the connection that ended; a new one starts free.
    forgetHeld();
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
        attemptRunning = false;
        withdrawPrompt();
        update();
    }
}

void DisplayFrame::onPassword()
{
    // The request may come after the end of the attempt that made it.
    if (!attemptRunning)
        return;
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
    const bool withdrawn = passwordDialog != dialog;
    delete dialog;
    if (!withdrawn)
        vnc->setPassword(text, ok);
}

void DisplayFrame::withdrawPrompt()
{
    if (!passwordDialog)
        return;
    QInputDialog* dialog = passwordDialog;
    passwordDialog = nullptr;
    dialog->reject();
}

void DisplayFrame::onNextActionChanged(int action)
{
    // Only a handshake waits for a password; once it is over, so is the prompt.
    attemptRunning = action == HVNC::Connect;
    if (!attemptRunning)
        withdrawPrompt();
    progress->setVisible(action != HVNC::Idle && action != HVNC::Exchange);
}

bool DisplayFrame::post(const QByteArray& message, int kind)
{
    QList<QByteArray> dropped;
    const bool queued = vnc->sendMessage(message, kind, &dropped);
    // A full queue pushes out its oldest messages. A lost release would leave the device
    // holding its key or button, so it is owed; a lost press is let be, as the device ignores
    // the release of a key it does not hold.
    for (const QByteArray& lost : qAsConst(dropped)) {
        const int type = quint8(lost.at(0));
        if (type == rfb::PointerEvent) {
            owedPointer = true;
        } else if (type == rfb::KeyEvent && lost.at(1) == 0) {
            const quint32 keysym = qFromBigEndian<quint32>(lost.constData() + 4);
            if (!isHeld(keysym))
                owe(keysym);
        }
    }
    if (owedPointer)
        retryTimer->start();
    return queued;
}

bool DisplayFrame::isHeld(quint32 keysym) const
{
    for (const HeldKey& held : heldKeys) {
        if (held.keysym == keysym)
            return true;
    }
    return false;
}

void DisplayFrame::owe(quint32 keysym)
{
    if (!owedKeys.contains(keysym))
        owedKeys.append(keysym);
    retryTimer->start();
}

bool DisplayFrame::settle()
{
    // One pass: what the queue pushes out meanwhile waits for the timer, so that a queue
    // that is full for a while cannot keep the GUI thread here.
    const QVector<quint32> owed = owedKeys;
    for (const quint32 keysym : owed) {
        owedKeys.removeOne(keysym);
        // Pressed again since: its own release will follow.
        if (isHeld(keysym))
            continue;
        if (!post(rfb::keyEvent(false, keysym), HVNC::OrdinaryCommand)) {
            // Still first: the releases keep their order.
            owedKeys.prepend(keysym);
            retryTimer->start();
            return false;
        }
    }
    if (owedPointer && !sendPointer(lastX, lastY, HVNC::OrdinaryCommand))
        retryTimer->start();
    return owedKeys.isEmpty() && !owedPointer;
}

void DisplayFrame::onReleaseRetry()
{
    // Without a connection there is nothing left to release.
    if (!vnc->isReady())
        forgetHeld();
    else if (!settle())
        retryTimer->start();
}

void DisplayFrame::releaseAll()
{
    if (!vnc->isReady()) {
        forgetHeld();
        return;
    }
    // The last key pressed is let go first, as the operator's hand would.
    for (int i = heldKeys.size() - 1; i >= 0; --i) {
        if (!owedKeys.contains(heldKeys.at(i).keysym))
            owedKeys.append(heldKeys.at(i).keysym);
    }
    heldKeys.clear();
    buttonMask = 0;
    // A wheel step, too, leaves its bit set until the next PointerEvent.
    if (sentMask != 0)
        owedPointer = true;
    if (!settle())
        retryTimer->start();
}

void DisplayFrame::forgetHeld()
{
    heldKeys.clear();
    owedKeys.clear();
    owedPointer = false;
    buttonMask = 0;
    sentMask = 0;
    retryTimer->stop();
}

bool DisplayFrame::sendPointer(int x, int y, int kind)
{
    lastX = x;
    lastY = y;
    if (!post(rfb::pointerEvent(buttonMask, x, y), kind))
        return false;
    // The newest message in the queue carries the buttons as they are.
    sentMask = buttonMask;
    owedPointer = false;
    return true;
}

bool DisplayFrame::sendPointer(const QPointF& pos, int kind)
{
    return sendPointer(toRemote(pos.x(), scaleX), toRemote(pos.y(), scaleY), kind);
}

void DisplayFrame::mousePressEvent(QMouseEvent* event)
{
    if (!vnc->isReady() || !settle())
        return;
    const quint8 before = buttonMask;
    buttonMask |= buttonBit(event->button());
    // A press the device does not get is not held either.
    if (!sendPointer(QtCompat::localPosition(event), HVNC::OrdinaryCommand))
        buttonMask = before;
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
    // A release that cannot be queued now is sent again, at its own position.
    const QPointF pos = QtCompat::localPosition(event);
    if (!settle() || !sendPointer(pos, HVNC::OrdinaryCommand)) {
        lastX = toRemote(pos.x(), scaleX);
        lastY = toRemote(pos.y(), scaleY);
        owedPointer = true;
        retryTimer->start();
    }
}

void DisplayFrame::mouseMoveEvent(QMouseEvent* event)
{
    if (!vnc->isReady() || !settle())
        return;
    // A newer motion replaces one still waiting in the queue.
    sendPointer(QtCompat::localPosition(event), HVNC::MotionCommand);
}

void DisplayFrame::wheelEvent(QWheelEvent* event)
{
    if (!vnc->isReady() || !settle())
        return;
    // The dominant axis decides, as the classic single wheel delta did.
    const QPoint angle = event->angleDelta();
    const int delta = qAbs(angle.x()) > qAbs(angle.y()) ? angle.x() : angle.y();
    const quint8 mask = delta > 0 ? 8 : 16;
    const QPointF pos = event->position();
    lastX = toRemote(pos.x(), scaleX);
    lastY = toRemote(pos.y(), scaleY);
    if (post(rfb::pointerEvent(mask, lastX, lastY), HVNC::OrdinaryCommand))
        sentMask = mask;
}

void DisplayFrame::sendKey(QKeyEvent* event, bool down)
{
    if (!vnc->isReady())
        return;
    const quint64 physical = physicalKey(event);
    if (!down) {
        // A release carries the keysym its press sent; a key the device never got pressed
        // is not released.
        QVector<quint32> released;
        for (int i = heldKeys.size() - 1; i >= 0; --i) {
            if (heldKeys.at(i).physical == physical)
                released.append(heldKeys.takeAt(i).keysym);
        }
        for (const quint32 keysym : qAsConst(released)) {
            if (!settle() || !post(rfb::keyEvent(false, keysym), HVNC::OrdinaryCommand))
                owe(keysym);
        }
        return;
    }
    const int keysym = qtKeyToKeySym(event->key(), event->modifiers() != Qt::NoModifier);
    // An unmapped key would reach the device as keysym 0xFFFFFFFF; it is not sent at all.
    if (keysym < 0 || !settle() ||
        !post(rfb::keyEvent(true, static_cast<quint32>(keysym)), HVNC::OrdinaryCommand))
        return;
    for (const HeldKey& held : qAsConst(heldKeys)) {
        if (held.physical == physical && held.keysym == quint32(keysym))
            return;
    }
    heldKeys.append(HeldKey{physical, static_cast<quint32>(keysym)});
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

// Input taken from the view never reaches it again: what is held now must be let go here.
void DisplayFrame::hideEvent(QHideEvent*)
{
    releaseAll();
}

void DisplayFrame::focusOutEvent(QFocusEvent* event)
{
    releaseAll();
    QWidget::focusOutEvent(event);
}

void DisplayFrame::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && !isActiveWindow())
        releaseAll();
    QWidget::changeEvent(event);
}
