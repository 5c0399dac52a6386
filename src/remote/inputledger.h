#pragma once
// InputLedger: what the device holds of the operator's input, the releases it is still owed, and
// the RFB messages that input becomes. No widget: the view turns Qt's events into records, and
// the ledger decides what goes out, so that no key or button stays down on the device.
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTimer>
#include <QVector>

#include <functional>

class InputLedger : public QObject
{
    Q_OBJECT
public:
    // A key went down or up; keysym is what a press sends (negative: no keysym, nothing sent).
    struct KeyRecord
    {
        quint64 key; // the physical key: its release may come with other modifiers
        bool down;
        int keysym;
    };
    // The buttons the operator now holds (bit 0 left, 1 middle, 2 right) at a device position.
    struct PointerRecord
    {
        quint8 buttons;
        int x;
        int y;
    };

    // Queues one message for the device (kind as HVNC::CommandKind); false when it was not
    // queued. Older messages that a full queue pushed out for it are appended to dropped.
    using Post =
        std::function<bool(const QByteArray& message, int kind, QList<QByteArray>* dropped)>;
    using Ready = std::function<bool()>;

    InputLedger(Post post, Ready ready, QObject* parent = nullptr);

    void key(const KeyRecord& record);
    // A press, a release or motion, as the buttons compare with those held.
    void pointer(const PointerRecord& record);
    // One wheel notch: a whole click of button 4 (up) or 5 (down) over the held buttons.
    void wheelNotch(bool up, int x, int y);
    quint8 buttons() const { return buttonMask; }

    // Input is taken from the view: the device lets go of everything the operator holds.
    void releaseAll();
    // A connection began or ended: the device holds nothing of this one.
    void forget();

public slots:
    // Sends the releases the device still misses; on while some remain.
    void retry();

private:
    // A key the device holds down: the physical key and the keysym its press sent.
    struct HeldKey
    {
        quint64 key;
        quint32 keysym;
    };

    bool post(const QByteArray& message, int kind);
    bool sendPointer(int x, int y, int kind);
    bool isHeld(quint32 keysym) const;
    void owe(quint32 keysym);
    // One pass over what is owed; false while some remains.
    bool settle();

    Post queue;
    Ready ready;
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
    QTimer retryTimer;
};
