#include "remote/inputledger.h"

#include "remote/hvnc.h"
#include "remote/rfbprotocol.h"
#include "remote/wirelimits.h"

#include <QtEndian>

#include <utility>

InputLedger::InputLedger(Post post, Ready isReady, QObject* parent)
    : QObject(parent), queue(std::move(post)), ready(std::move(isReady))
{
    retryTimer.setSingleShot(true);
    retryTimer.setInterval(wire::releaseRetryMs);
    connect(&retryTimer, SIGNAL(timeout()), this, SLOT(retry()));
}

bool InputLedger::post(const QByteArray& message, int kind)
{
    QList<QByteArray> dropped;
    const bool queued = queue(message, kind, &dropped);
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
        retryTimer.start();
    return queued;
}

bool InputLedger::isHeld(quint32 keysym) const
{
    for (const HeldKey& held : heldKeys) {
        if (held.keysym == keysym)
            return true;
    }
    return false;
}

void InputLedger::owe(quint32 keysym)
{
    if (!owedKeys.contains(keysym))
        owedKeys.append(keysym);
    retryTimer.start();
}

bool InputLedger::settle()
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
            retryTimer.start();
            return false;
        }
    }
    if (owedPointer && !sendPointer(lastX, lastY, HVNC::OrdinaryCommand))
        retryTimer.start();
    return owedKeys.isEmpty() && !owedPointer;
}

void InputLedger::retry()
{
    // Without a connection there is nothing left to release.
    if (!ready())
        forget();
    else if (!settle())
        retryTimer.start();
}

void InputLedger::releaseAll()
{
    if (!ready()) {
        forget();
        return;
    }
    // The last key pressed is let go first, as the operator's hand would.
    for (int i = heldKeys.size() - 1; i >= 0; --i) {
        if (!owedKeys.contains(heldKeys.at(i).keysym))
            owedKeys.append(heldKeys.at(i).keysym);
    }
    heldKeys.clear();
    buttonMask = 0;
    if (sentMask != 0)
        owedPointer = true;
    if (!settle())
        retryTimer.start();
}

void InputLedger::forget()
{
    heldKeys.clear();
    owedKeys.clear();
    owedPointer = false;
    buttonMask = 0;
    sentMask = 0;
    retryTimer.stop();
}

bool InputLedger::sendPointer(int x, int y, int kind)
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

void InputLedger::pointer(const PointerRecord& record)
{
    if (!ready())
        return;
    const quint8 before = buttonMask;
    if (record.buttons == before) {
        // A newer motion replaces one still waiting in the queue.
        if (settle())
            sendPointer(record.x, record.y, HVNC::MotionCommand);
        return;
    }
    if (record.buttons & ~before) {
        if (!settle())
            return;
        buttonMask = record.buttons;
        // A press the device does not get is not held either.
        if (!sendPointer(record.x, record.y, HVNC::OrdinaryCommand))
            buttonMask = before;
        return;
    }
    // A release that cannot be queued now is sent again, at its own position.
    buttonMask = record.buttons;
    if (!settle() || !sendPointer(record.x, record.y, HVNC::OrdinaryCommand)) {
        lastX = record.x;
        lastY = record.y;
        owedPointer = true;
        retryTimer.start();
    }
}

void InputLedger::wheelNotch(bool up, int x, int y)
{
    if (!ready() || !settle())
        return;
    const quint8 clicked = buttonMask | (up ? 8 : 16);
    lastX = x;
    lastY = y;
    if (!post(rfb::pointerEvent(clicked, x, y), HVNC::OrdinaryCommand))
        return;
    // Servers take the mask as the buttons' state: a notch left down would be one long press,
    // and a drag would see its own button let go. Up again at once, the held ones staying down.
    sentMask = clicked;
    if (!sendPointer(x, y, HVNC::OrdinaryCommand)) {
        owedPointer = true;
        retryTimer.start();
    }
}

void InputLedger::key(const KeyRecord& record)
{
    if (!ready())
        return;
    if (!record.down) {
        // A release carries the keysym its press sent; a key the device never got pressed
        // is not released.
        QVector<quint32> released;
        for (int i = heldKeys.size() - 1; i >= 0; --i) {
            if (heldKeys.at(i).key == record.key)
                released.append(heldKeys.takeAt(i).keysym);
        }
        for (const quint32 keysym : qAsConst(released)) {
            if (!settle() || !post(rfb::keyEvent(false, keysym), HVNC::OrdinaryCommand))
                owe(keysym);
        }
        return;
    }
    // An unmapped key would reach the device as keysym 0xFFFFFFFF; it is not sent at all.
    if (record.keysym < 0 || !settle() ||
        !post(rfb::keyEvent(true, quint32(record.keysym)), HVNC::OrdinaryCommand))
        return;
    for (const HeldKey& held : qAsConst(heldKeys)) {
        if (held.key == record.key && held.keysym == quint32(record.keysym))
            return;
    }
    heldKeys.append(HeldKey{record.key, quint32(record.keysym)});
}
