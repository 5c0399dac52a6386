#include "remote/displayframe.h"

#include "protocols/downloadprogress.h"
#include "remote/hvnc.h"
#include "remote/inputledger.h"
#include "remote/keymapping.h"
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
int remoteCoordinate(qreal viewCoordinate, float scale)
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

} // namespace

DisplayFrame::DisplayFrame(QWidget* parent) : QWidget(parent)
{
    vnc = new HVNC(this);
    ledger = new InputLedger(
        [this](const QByteArray& message, int kind, QList<QByteArray>* dropped) {
            return vnc->sendMessage(message, kind, dropped);
        },
        [this]() { return vnc->isReady(); }, this);
    connect(vnc, SIGNAL(neetToInputPassword()), this, SLOT(onPassword()));
    vnc->start();
    // The worker waits until the new image is on screen before it asks for the next one.
    connect(vnc, SIGNAL(updateDisplay()), this, SLOT(onUpdated()), Qt::BlockingQueuedConnection);
    connect(vnc, SIGNAL(connectStateChanged(bool)), this, SLOT(onConnectStateChanged(bool)));
    connect(vnc, SIGNAL(actionChanged(int)), this, SLOT(onNextActionChanged(int)));
    setAttribute(Qt::WA_MouseTracking);
    // Every pixel is painted by paintEvent, so the page below need not be painted first.
    setAttribute(Qt::WA_OpaquePaintEvent);
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
    // Whatever the device held belonged to the connection that ended; a new one starts free.
    ledger->forget();
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

QPoint DisplayFrame::toRemote(const QPointF& pos) const
{
    return QPoint(remoteCoordinate(pos.x(), scaleX), remoteCoordinate(pos.y(), scaleY));
}

void DisplayFrame::mousePressEvent(QMouseEvent* event)
{
    const QPoint at = toRemote(QtCompat::localPosition(event));
    ledger->pointer({quint8(ledger->buttons() | buttonBit(event->button())), at.x(), at.y()});
}

void DisplayFrame::mouseReleaseEvent(QMouseEvent* event)
{
    const quint8 bit = buttonBit(event->button());
    const QPoint at = toRemote(QtCompat::localPosition(event));
    // The device knows only three buttons; releasing any other one lets go of everything.
    ledger->pointer({quint8(bit ? ledger->buttons() & ~bit : 0), at.x(), at.y()});
}

void DisplayFrame::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint at = toRemote(QtCompat::localPosition(event));
    ledger->pointer({ledger->buttons(), at.x(), at.y()});
}

void DisplayFrame::wheelEvent(QWheelEvent* event)
{
    // The dominant axis decides, as the classic single wheel delta did; an event of several
    // notches at once (120 each) is as many clicks.
    const QPoint angle = event->angleDelta();
    const int delta = qAbs(angle.x()) > qAbs(angle.y()) ? angle.x() : angle.y();
    const QPoint at = toRemote(event->position());
    for (int notch = qMax(1, qAbs(delta) / 120); notch > 0; --notch)
        ledger->wheelNotch(delta > 0, at.x(), at.y());
}

void DisplayFrame::keyPressEvent(QKeyEvent* event)
{
    const bool modified = event->modifiers() != Qt::NoModifier;
    ledger->key({physicalKey(event), true, qtKeyToKeySym(event->key(), modified)});
}

void DisplayFrame::keyReleaseEvent(QKeyEvent* event)
{
    ledger->key({physicalKey(event), false, -1});
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
    ledger->releaseAll();
}

void DisplayFrame::focusOutEvent(QFocusEvent* event)
{
    ledger->releaseAll();
    QWidget::focusOutEvent(event);
}

void DisplayFrame::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && !isActiveWindow())
        ledger->releaseAll();
    QWidget::changeEvent(event);
}
