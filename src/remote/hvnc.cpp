#include "remote/hvnc.h"

#include "parameters/parametrip.h"
#include "parameters/settings.h"
#include "remote/clienthandshake.h"
#include "remote/rfbprotocol.h"
#include "remote/socketerrortext.h"
#include "remote/syncedmutexlocker.h"
#include "shell/logging.h"
#include "shell/messagehandler.h"

#include <QDeadlineTimer>
#include <QMetaEnum>
#include <QTcpSocket>

namespace {

// The socket's error as Qt names it, with the operator's wording beside it: the wording merges
// errors that a service engineer must tell apart (a refused connection reads as a time-out).
QByteArray describe(QAbstractSocket::SocketError error)
{
    const char* name = QMetaEnum::fromType<QAbstractSocket::SocketError>().valueToKey(error);
    const QByteArray named = name ? QByteArray(name) : "SocketError " + QByteArray::number(error);
    return named + " («" + socketErrorText(error).toUtf8() + "»)";
}

} // namespace

HVNC::HVNC(QObject* parent) : ExternalDeviceHandler(parent)
{
    // An abort drops the connection wherever the worker notices it.
    socket.dropped = [this]() {
        connected = false;
        displayReady = false;
    };
    screen = QImage(10, 10, QImage::Format_RGB16);
    screen.fill(Qt::gray);
    frameTimer.start();
}

HVNC::~HVNC()
{
    finish();
}

void HVNC::setAction(int action)
{
    if (action == Disconnect) {
        qCInfo(lcRemote, "disconnect requested");
        socket.requestAbort();
    }
    while (nextAction != Idle && nextAction != Exchange)
        delay(100);
    if (action == Connect) {
        SyncedMutexLocker lock(&textMutex);
        address = Settings::instance()->prIP->addressText();
    }
    nextAction = action;
    socket.wake();
}

int HVNC::action() const
{
    return nextAction;
}

void HVNC::setErrorShown(bool shown)
{
    errorShown = shown;
}

bool HVNC::isReady() const
{
    return connected && displayReady;
}

QSize HVNC::frameSize() const
{
    return QSize(frameWidth, frameHeight);
}

void HVNC::setPassword(QString text, bool accepted)
{
    {
        SyncedMutexLocker lock(&textMutex);
        password = text;
    }
    passwordAccepted = accepted;
    passwordAnswered.store(true, std::memory_order_release);
    socket.wake();
}

QImage* HVNC::image()
{
    return &screen;
}

bool HVNC::sendMessage(QByteArray message, int kind, QList<QByteArray>* dropped)
{
    if (!connected)
        return false;
    SyncedMutexLocker lock(&queueMutex, wire::queueTryLockMs);
    if (!lock.owns())
        return false;
    int pushedOut = 0;
    for (; commandQueue.size() >= wire::queueLength; ++pushedOut) {
        const Command oldest = commandQueue.takeFirst();
        if (dropped)
            dropped->append(oldest.message);
    }
    if (pushedOut > 0)
        qCWarning(lcRemote, "input queue full (%d messages): the oldest pushed out",
                  wire::queueLength);
    if (kind == MotionCommand) {
        for (int i = commandQueue.size() - 1; i >= 0; --i) {
            if (commandQueue.at(i).kind == MotionCommand)
                commandQueue.removeAt(i);
        }
    }
    commandQueue.append(Command{kind, message});
    lock.unlock();
    socket.wake();
    return true;
}

void HVNC::setTimeout(int ms)
{
    timeout = ms;
}

int HVNC::timeoutMs() const
{
    return timeout;
}

QString HVNC::socketErrorText(QAbstractSocket::SocketError error)
{
    return ::socketErrorText(error);
}

void HVNC::clientDisconnected(QAbstractSocket::SocketError error)
{
    qCWarning(lcRemote, "connection lost: %s", describe(error).constData());
    connected = false;
    displayReady = false;
    emit connectStateChanged(false);
    nextAction = Disconnect;
    socket.requestAbort();
    MessageHandler::showStatus(tr("Ошибка подключения!"));
    if (!errorShown.exchange(true))
        MessageHandler::showCritical(tr("Ошибка: «%1» !").arg(socketErrorText(error)));
}

void HVNC::onSocetReadyRead() {}

void HVNC::interrupt()
{
    socket.wake();
}

void HVNC::process()
{
    QTcpSocket* tcp = socket.open();
    qRegisterMetaType<QAbstractSocket::SocketError>("QAbstractSocket::SocketError");
    connect(tcp, SIGNAL(errorOccurred(QAbstractSocket::SocketError)), this,
            SLOT(clientDisconnected(QAbstractSocket::SocketError)), Qt::QueuedConnection);
    connect(tcp, SIGNAL(readyRead()), this, SLOT(onSocetReadyRead()), Qt::QueuedConnection);

    while (running) {
        step(currentAction);
        const int next = nextAction;
        if (next != currentAction)
            emit actionChanged(next);
        currentAction = int(nextAction);
    }

    if (connected)
        socket.abort();
    connected = false;
    displayReady = false;
    socket.release();
}

void HVNC::step(int action)
{
    switch (action) {
    case Idle: {
        // Unlike pause(), a leftover abort request does not end this wait: there is nothing to
        // abort, and the worker would spin until the next connection.
        QDeadlineTimer deadline(100);
        while (running && !socket.wakePending() && deadline.remainingTime() > 0)
            socket.waitForEvents(int(deadline.remainingTime()));
        socket.clearWake();
        break;
    }
    case Connect: {
        MessageHandler::showStatus(tr("Подключение к %1 ...").arg(connectAddress()));
        qCInfo(lcRemote, "connecting to %s:%d", qUtf8Printable(connectAddress()), rfb::serverPort);
        if (handshake()) {
            nextAction = Configure;
            MessageHandler::showStatus(tr("Установка соединения ..."));
            socket.pause(500);
            break;
        }
        const QAbstractSocket::SocketError error = socket.error();
        closeConnection();
        nextAction = Disconnect;
        MessageHandler::showStatus(tr("Ошибка подключения!"));
        // The session ending is no failure the operator has to confirm.
        if (running && !errorShown.exchange(true))
            MessageHandler::showCritical(
                tr("Ошибка подключения к серверу: «%1» !").arg(socketErrorText(error)));
        break;
    }
    case Configure: {
        const bool initialised = readServerInit();
        bool ok = initialised;
        if (ok) {
            // Only the last pass decides; the first may meet a server still busy.
            for (int pass = 0; pass < configurePasses; ++pass) {
                socket.pause(wire::paceMs);
                ok = serviceUpdate();
            }
            socket.pause(wire::paceMs);
        }
        if (ok) {
            qCInfo(lcRemote, "connected");
            nextAction = Exchange;
            MessageHandler::showStatus(tr("Связь установлена."));
            emit connectStateChanged(true);
            clearCommands();
        } else {
            qCWarning(lcRemote, "configuration failed: %s",
                      initialised ? "no screen update came"
                                  : "no ServerInit, or no screen that can be shown");
            nextAction = Disconnect;
            reportFailure(tr("Ошибка при конфигурации устройства!"));
        }
        break;
    }
    case Exchange:
        if (!exchange()) {
            nextAction = Disconnect;
            reportFailure(tr("Ошибка обмена!"));
        }
        break;
    case Disconnect:
        qCInfo(lcRemote, "disconnected");
        emit connectStateChanged(false);
        MessageHandler::showStatus(tr("Нет связи."));
        closeConnection();
        nextAction = Idle;
        break;
    default:
        break;
    }
}

void HVNC::reportFailure(const QString& text)
{
    if (!running || errorShown.exchange(true))
        return;
    const int failure = socket.failure();
    if (failure >= 0)
        MessageHandler::showCritical(
            tr("Ошибка: «%1» !").arg(socketErrorText(QAbstractSocket::SocketError(failure))));
    else
        MessageHandler::showCritical(text);
}

QString HVNC::connectAddress()
{
    SyncedMutexLocker lock(&textMutex);
    return address;
}

bool HVNC::handshake()
{
    socket.clearAbort();
    passwordAnswered = false;
    passwordAccepted = false;
    errorShown = false;
    if (connected)
        closeConnection();
    reader.setTimeout(timeout);
    if (!socket.connectTo(connectAddress(), rfb::serverPort, timeout)) {
        qCWarning(lcRemote, "cannot connect: %s", describe(socket.error()).constData());
        return false;
    }
    const ClientHandshake::Outcome outcome = handshakeSteps.run();
    if (outcome != ClientHandshake::Outcome::Connected)
        qCWarning(lcRemote, "handshake failed: %s", qUtf8Printable(handshakeSteps.failure()));
    switch (outcome) {
    case ClientHandshake::Outcome::Connected:
        qCInfo(lcRemote, "server speaks %s, security type %d (%s) accepted",
               handshakeSteps.serverVersion().trimmed().constData(), handshakeSteps.securityType(),
               handshakeSteps.securityType() == rfb::SecurityVncAuth ? "VNC Authentication"
                                                                     : "None");
        connected = true;
        return true;
    case ClientHandshake::Outcome::Refused:
        if (passwordAnswered && !errorShown.exchange(true))
            MessageHandler::showCritical(tr("Введен неверный пароль!"));
        return false;
    case ClientHandshake::Outcome::Failed:
        break;
    }
    return false;
}

bool HVNC::askPassword(QString* text)
{
    emit neetToInputPassword();
    while (!passwordAnswered.load(std::memory_order_acquire)) {
        // The operator may take any time; only the end of the session or a disconnect request
        // ends the wait.
        if (socket.mustStop())
            return false;
        socket.pause(100, true);
    }
    if (!passwordAccepted) {
        errorShown = true;
        return false;
    }
    SyncedMutexLocker lock(&textMutex);
    *text = password;
    return true;
}

bool HVNC::readServerInit()
{
    rfb::ServerInit init;
    const bool shown = handshakeSteps.readServerInit(&init);
    const rfb::PixelFormat& f = init.format;
    // The device names itself: a control character in it must not break the record's lines.
    const QString name = oneLine(QString::fromUtf8(init.name));
    qCInfo(lcRemote,
           "screen %dx%d, %d bits per pixel, depth %d, %s-endian, %s colour, name \"%s\"%s",
           init.width, init.height, f.bitsPerPixel, f.depth, f.bigEndian ? "big" : "little",
           f.trueColour ? "true" : "mapped", qUtf8Printable(name),
           shown ? "; asking for 16-bit 5-6-5" : "");
    if (!shown)
        return false;
    frameWidth = init.width;
    frameHeight = init.height;
    pixelFormat = init.format;
    const bool sent = sendPixelFormat();
    {
        SyncedMutexLocker lock(&imageMutex);
        screen = QImage(init.width, init.height, QImage::Format_RGB16);
        screen.fill(Qt::black);
    }
    updateRequest = rfb::framebufferUpdateRequest(init.width, init.height);
    return sent;
}

bool HVNC::sendPixelFormat()
{
    // Always 5-6-5: the image's own layout, whatever the server prefers.
    pixelFormat = rfb::rgb565();
    return socket.send(rfb::setPixelFormat(pixelFormat));
}

bool HVNC::serviceUpdate()
{
    socket.discardWaiting();
    if (!socket.send(updateRequest))
        return false;
    updated = false;
    if (!reader.readServerMessage(*this))
        return false;
    if (updated)
        return true;
    socket.pause(wire::paceMs);
    socket.discardWaiting();
    return false;
}

void HVNC::dataRect(const rfb::Rectangle& rect, int firstRow, int rows, const char* pixels)
{
    SyncedMutexLocker lock(&imageMutex);
    rfb::storeRows(screen, rect, firstRow, rows, pixels);
}

void HVNC::setColourMapEntries(int firstColour, int colours)
{
    qCDebug(lcRemote, "server message: colour map entries %d..%d, ignored", firstColour,
            firstColour + colours - 1);
}

void HVNC::bell()
{
    qCDebug(lcRemote, "server message: bell");
}

void HVNC::serverCutText(const QByteArray& text)
{
    qCDebug(lcRemote, "server message: cut text, %d bytes kept, ignored", int(text.size()));
}

bool HVNC::exchange()
{
    socket.clearWake();
    flushCommands();
    if (frameTimer.elapsed() < wire::paceMs) {
        waitForNextPass();
        return true;
    }
    for (int attempt = 1; attempt <= updateAttempts; ++attempt) {
        if (serviceUpdate()) {
            qCDebug(lcRemote, "pass: screen update in %lld ms", frameTimer.elapsed());
            displayReady = true;
            emit updateDisplay();
            frameTimer.restart();
            return socket.isConnected();
        }
        if (socket.mustStop())
            return false;
        qCWarning(lcRemote, "screen update %d of %d failed", attempt, updateAttempts);
        if (attempt < updateAttempts) {
            socket.pause(50);
            socket.discardWaiting();
        }
    }
    qCWarning(lcRemote, "no screen update in %d attempts: giving up", updateAttempts);
    return false;
}

void HVNC::flushCommands()
{
    if (!displayReady)
        return;
    QList<Command> commands;
    {
        SyncedMutexLocker lock(&queueMutex, 0);
        if (!lock.owns())
            return;
        // Taken out at once: holding the lock through the pauses below would make the GUI's
        // short try-lock fail and drop the operator's keys.
        commands.swap(commandQueue);
    }
    for (const Command& command : qAsConst(commands)) {
        qCDebug(lcRemote, "input message type %d, %d bytes", quint8(command.message.at(0)),
                int(command.message.size()));
        socket.sendInput(command.message, timeout);
    }
}

void HVNC::clearCommands()
{
    SyncedMutexLocker lock(&queueMutex);
    commandQueue.clear();
}

void HVNC::closeConnection()
{
    socket.close();
    connected = false;
    displayReady = false;
}

void HVNC::waitForNextPass()
{
    while (!socket.mustStop() && !socket.wakePending() && nextAction == Exchange) {
        const qint64 left = wire::paceMs - frameTimer.elapsed();
        if (left <= 0)
            break;
        socket.waitForEvents(int(left));
    }
}
