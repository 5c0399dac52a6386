#include "remote/hvnc.h"

#include "parameters/parametrip.h"
#include "parameters/settings.h"
#include "remote/rfbprotocol.h"
#include "remote/sockethelper.h"
#include "remote/syncedmutexlocker.h"
#include "remote/vnccipher.h"
#include "shell/messagehandler.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMutexLocker>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace {

// Bytes the socket may hold unread before it stops taking more from the network.
constexpr qint64 socketBufferBytes = 1024 * 1024;
// Longest single block of the worker, so that a lost wake-up costs no more than this.
constexpr int waitSliceMs = 100;

} // namespace

HVNC::HVNC(QObject* parent) : ExternalDeviceHandler(parent)
{
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
        abortRequested = true;
        wake();
    }
    while (nextAction != Idle && nextAction != Exchange)
        delay(100);
    if (action == Connect) {
        SyncedMutexLocker lock(&textMutex);
        address = Settings::instance()->prIP->addressText();
    }
    nextAction = action;
    wake();
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
    wake();
}

QImage* HVNC::image()
{
    return &screen;
}

void HVNC::sendMessage(QByteArray message, int kind)
{
    if (!connected)
        return;
    SyncedMutexLocker lock(&queueMutex, 10);
    if (!lock.owns())
        return;
    while (commandQueue.size() > 10)
        commandQueue.removeFirst();
    if (kind == MotionCommand) {
        for (int i = commandQueue.size() - 1; i >= 0; --i) {
            if (commandQueue.at(i).kind == MotionCommand)
                commandQueue.removeAt(i);
        }
    }
    commandQueue.append(Command{kind, message});
    lock.unlock();
    wake();
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
    switch (error) {
    case QAbstractSocket::UnknownSocketError:
        return tr("Неизвестная ошибка сокета");
    case QAbstractSocket::ConnectionRefusedError:
        return tr("Таймаут ожидания ответа от сервера");
    case QAbstractSocket::RemoteHostClosedError:
        return tr("Сервер закрыл соединение");
    case QAbstractSocket::HostNotFoundError:
        return tr("Адрес не найден");
    case QAbstractSocket::SocketAccessError:
        return tr("Нет дуступа");
    case QAbstractSocket::SocketResourceError:
        return tr("В локальной системе закончились ресурсы (например, слишком много сокетов)");
    case QAbstractSocket::SocketTimeoutError:
        return tr("Таймаут выполнения операции");
    case QAbstractSocket::DatagramTooLargeError:
        return tr("Датаграмма была больше, чем ограничение операционной системы");
    case QAbstractSocket::NetworkError:
        return tr("Обнаружены проблемы с сетью");
    case QAbstractSocket::AddressInUseError:
        return tr("Выбранный адрес не может быть использован");
    case QAbstractSocket::SocketAddressNotAvailableError:
        return tr("Адрес недоступен");
    case QAbstractSocket::UnsupportedSocketOperationError:
        return tr("Выбранная операция сокета не поддерживается системой");
    case QAbstractSocket::UnfinishedSocketOperationError:
        return tr("Предыдущая операция ещё выполняется");
    case QAbstractSocket::ProxyAuthenticationRequiredError:
        return tr("Сокет использует прокси с аутентификацией");
    case QAbstractSocket::SslHandshakeFailedError:
        return tr("Не удалось выполнить рукопожатие SSL / TLS, поэтому соединение было закрыто");
    case QAbstractSocket::ProxyConnectionRefusedError:
        return tr("Не удалось связаться с прокси-сервером, поскольку было отказано в "
                  "подключении к этому серверу");
    case QAbstractSocket::ProxyConnectionClosedError:
        return tr("Соединение с прокси-сервером неожиданно было закрыто");
    case QAbstractSocket::ProxyConnectionTimeoutError:
        return tr("Время ожидания подключения к прокси-серверу или прокси-сервер перестали "
                  "отвечать на фазу аутентификации");
    case QAbstractSocket::ProxyNotFoundError:
        return tr("Прокси-сервер не найден");
    case QAbstractSocket::ProxyProtocolError:
        return tr("Некорректный ответ от прокси-сервера");
    case QAbstractSocket::OperationError:
        return tr("Ошибка сокета");
    case QAbstractSocket::SslInternalError:
        return tr("Внутренняя ошибка SSL библиотеки");
    case QAbstractSocket::SslInvalidUserDataError:
        return tr("SSL библиотека получила неверные данные");
    case QAbstractSocket::TemporaryError:
        return tr("Временная ошибка сокета");
    }
    return tr("Ошибка №") + QString::number(int(error));
}

void HVNC::clientDisconnected(QAbstractSocket::SocketError error)
{
    connected = false;
    displayReady = false;
    emit connectStateChanged(false);
    nextAction = Disconnect;
    abortRequested = true;
    wake();
    MessageHandler::showStatus(tr("Ошибка подключения!"));
    if (!errorShown.exchange(true))
        MessageHandler::showCritical(tr("Ошибка: «%1» !").arg(socketErrorText(error)));
}

void HVNC::onSocetReadyRead() {}

void HVNC::interrupt()
{
    wake();
}

void HVNC::wake()
{
    wakePending = true;
    SyncedMutexLocker lock(&dispatcherMutex);
    if (dispatcher)
        dispatcher->wakeUp();
}

void HVNC::process()
{
    socket = new QTcpSocket();
    socket->setReadBufferSize(socketBufferBytes);
    socketHelper = new SocketHelper(socket);
    qRegisterMetaType<QAbstractSocket::SocketError>("QAbstractSocket::SocketError");
    connect(socket, SIGNAL(errorOccurred(QAbstractSocket::SocketError)), this,
            SLOT(clientDisconnected(QAbstractSocket::SocketError)), Qt::QueuedConnection);
    connect(socket, SIGNAL(readyRead()), this, SLOT(onSocetReadyRead()), Qt::QueuedConnection);
    wakeTimer = new QTimer();
    wakeTimer->setSingleShot(true);
    // A coarse timer may fire 5 % late, which would stretch every 100 ms pacing step.
    wakeTimer->setTimerType(Qt::PreciseTimer);
    {
        SyncedMutexLocker lock(&dispatcherMutex);
        dispatcher = QAbstractEventDispatcher::instance();
    }

    while (running) {
        step(currentAction);
        const int next = nextAction;
        if (next != currentAction)
            emit actionChanged(next);
        currentAction = int(nextAction);
    }

    {
        SyncedMutexLocker lock(&dispatcherMutex);
        dispatcher = nullptr;
    }
    if (connected)
        socket->abort();
    connected = false;
    displayReady = false;
    delete wakeTimer;
    wakeTimer = nullptr;
    delete socket;
    socket = nullptr;
    socketHelper = nullptr;
}

void HVNC::step(int action)
{
    switch (action) {
    case Idle: {
        // Unlike pause(), a leftover abort request does not end this wait: there is nothing to
        // abort, and the worker would spin until the next connection.
        QDeadlineTimer deadline(100);
        while (running && !wakePending && deadline.remainingTime() > 0)
            waitForEvents(int(deadline.remainingTime()));
        wakePending = false;
        break;
    }
    case Connect: {
        MessageHandler::showStatus(tr("Подключение к %1 ...").arg(connectAddress()));
        if (handshake()) {
            nextAction = Configure;
            MessageHandler::showStatus(tr("Установка соединения ..."));
            pause(500);
            break;
        }
        const QAbstractSocket::SocketError error = socket->error();
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
        bool ok = readServerInit();
        if (ok) {
            // Only the last pass decides; the first may meet a server still busy.
            for (int pass = 0; pass < ServerReader::configurePasses; ++pass) {
                pause(100);
                ok = serviceUpdate();
            }
            pause(100);
        }
        if (ok) {
            nextAction = Exchange;
            MessageHandler::showStatus(tr("Связь установлена."));
            emit connectStateChanged(true);
            clearCommands();
        } else {
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
    const int failure = socketHelper->failure();
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
    abortRequested = false;
    passwordAnswered = false;
    passwordAccepted = false;
    errorShown = false;
    if (connected)
        closeConnection();
    if (socket->state() != QAbstractSocket::UnconnectedState)
        socket->abort();
    socketHelper->clearFailure();
    reader.setTimeout(timeout);

    socket->connectToHost(connectAddress(), rfb::serverPort, QIODevice::ReadWrite,
                          QAbstractSocket::AnyIPProtocol);
    if (!waitConnected())
        return false;
    // Only now: Qt drops options set before the connection exists. Input messages are small
    // and must not wait for the device's acknowledgement of the previous one.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);

    if (!reader.readVersion())
        return false;
    sendBuffer = rfb::protocolVersion();
    if (!send())
        return false;

    rfb::SecurityType type = rfb::SecurityInvalid;
    if (!reader.readSecurityTypes(&type))
        return false;
    if (type == rfb::SecurityNone) {
        sendBuffer = QByteArray(1, char(rfb::SecurityNone));
        if (!send())
            return false;
    } else if (type == rfb::SecurityVncAuth) {
        emit neetToInputPassword();
        while (!passwordAnswered.load(std::memory_order_acquire)) {
            // The operator may take any time; only the end of the session or a disconnect
            // request ends the wait.
            if (mustStop())
                return false;
            pause(100, true);
        }
        if (!passwordAccepted) {
            errorShown = true;
            return false;
        }
        sendBuffer = QByteArray(1, char(rfb::SecurityVncAuth));
        QByteArray challenge;
        if (!send() || !reader.readChallenge(&challenge))
            return false;
        QString text;
        {
            SyncedMutexLocker lock(&textMutex);
            text = password;
        }
        sendBuffer = vncResponse(challenge, text);
        if (!send())
            return false;
    } else {
        return false;
    }

    const ServerReader::SecurityResult result = reader.readSecurityResult();
    if (result == ServerReader::SecurityResult::Lost)
        return false;
    if (result == ServerReader::SecurityResult::Refused) {
        if (passwordAnswered && !errorShown.exchange(true))
            MessageHandler::showCritical(tr("Введен неверный пароль!"));
        return false;
    }
    sendBuffer = QByteArray(1, char(1));
    if (!send())
        return false;
    connected = true;
    return true;
}

bool HVNC::readServerInit()
{
    rfb::ServerInit init;
    if (!reader.readServerInit(&init))
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
    sendBuffer = rfb::setPixelFormat(pixelFormat);
    return send();
}

bool HVNC::serviceUpdate()
{
    sendBuffer = updateRequest;
    discardWaiting();
    if (!send())
        return false;
    switch (reader.readServerMessage(screen, &imageMutex, pixelFormat)) {
    case ServerReader::Message::Update:
        return true;
    case ServerReader::Message::Lost:
        return false;
    case ServerReader::Message::Other:
        break;
    }
    pause(100);
    discardWaiting();
    return false;
}

bool HVNC::exchange()
{
    wakePending = false;
    flushCommands();
    if (frameTimer.elapsed() <= 99) {
        waitForNextPass();
        return true;
    }
    for (int attempt = 1; attempt <= ServerReader::updateAttempts; ++attempt) {
        if (serviceUpdate()) {
            displayReady = true;
            emit updateDisplay();
            frameTimer.restart();
            return socket->state() == QAbstractSocket::ConnectedState;
        }
        if (abortRequested || !running)
            return false;
        if (attempt < ServerReader::updateAttempts) {
            pause(50);
            discardWaiting();
        }
    }
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
        SyncedMutexLocker io(&ioMutex);
        if (!socket->isOpen())
            continue;
        socket->write(command.message);
        socket->flush();
        waitWritten();
        pause(10);
        discardWaiting();
    }
}

void HVNC::clearCommands()
{
    SyncedMutexLocker lock(&queueMutex);
    commandQueue.clear();
}

bool HVNC::send()
{
    if (failOnAbort())
        return false;
    SyncedMutexLocker io(&ioMutex);
    const qint64 written = socket->write(sendBuffer);
    // Small messages go out now instead of waiting for the next wait on the socket.
    socket->flush();
    return written == sendBuffer.size();
}

qint64 HVNC::readSome(char* data, qint64 maxBytes, const QDeadlineTimer& deadline)
{
    if (failOnAbort())
        return -1;
    for (;;) {
        const qint64 available = socket->bytesAvailable();
        if (available > 0) {
            SyncedMutexLocker io(&ioMutex);
            const qint64 got = socket->read(data, std::min(available, maxBytes));
            if (got > 0)
                return got;
        }
        if (failOnAbort())
            return -1;
        if (!running || socket->state() != QAbstractSocket::ConnectedState)
            return -1;
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            return 0;
        waitForEvents(int(left));
    }
}

bool HVNC::isConnected() const
{
    return socket->state() == QAbstractSocket::ConnectedState;
}

bool HVNC::waitConnected()
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (socket->state() == QAbstractSocket::ConnectedState)
            return true;
        if (socket->state() == QAbstractSocket::UnconnectedState)
            return false;
        if (mustStop()) {
            socket->abort();
            return false;
        }
        const qint64 left = timeout - clock.elapsed();
        // The last moments go to Qt's own wait, which reports the time-out as a socket error.
        if (left <= waitSliceMs)
            return socket->waitForConnected(int(std::max<qint64>(left, 1)));
        waitForEvents(int(left - waitSliceMs));
    }
}

bool HVNC::waitWritten()
{
    QElapsedTimer clock;
    clock.start();
    while (socket->bytesToWrite() > 0 && socket->state() == QAbstractSocket::ConnectedState) {
        const qint64 left = timeout - clock.elapsed();
        if (left <= 0 || mustStop())
            return false;
        waitForEvents(int(left));
    }
    return socket->bytesToWrite() == 0;
}

void HVNC::discardWaiting()
{
    char scrap[4096];
    while (socket->bytesAvailable() > 0 && socket->read(scrap, sizeof scrap) > 0) {
    }
}

void HVNC::closeConnection()
{
    socket->close();
    socket->disconnectFromHost();
    connected = false;
    displayReady = false;
}

bool HVNC::failOnAbort()
{
    if (!abortRequested)
        return false;
    socket->abort();
    closeConnection();
    return true;
}

bool HVNC::mustStop() const
{
    return !running || abortRequested;
}

void HVNC::waitForEvents(int ms)
{
    wakeTimer->start(std::max(1, std::min(ms, waitSliceMs)));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    wakeTimer->stop();
}

void HVNC::pause(int ms, bool wakeOnInput)
{
    QDeadlineTimer deadline(ms);
    while (!mustStop() && !(wakeOnInput && wakePending)) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            break;
        waitForEvents(int(left));
    }
    // Consumed here, so that a wake-up makes one early return, not a spin.
    if (wakeOnInput)
        wakePending = false;
}

void HVNC::waitForNextPass()
{
    while (running && !abortRequested && !wakePending && nextAction == Exchange) {
        const qint64 left = 100 - frameTimer.elapsed();
        if (left <= 0)
            break;
        waitForEvents(int(left));
    }
}
