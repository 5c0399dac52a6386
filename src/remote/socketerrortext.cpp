#include "remote/socketerrortext.h"

#include <QCoreApplication>

namespace {

QString text(const char* source)
{
    return QCoreApplication::translate("HVNC", source);
}

} // namespace

QString socketErrorText(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::UnknownSocketError:
        return text("Неизвестная ошибка сокета");
    case QAbstractSocket::ConnectionRefusedError:
        return text("Таймаут ожидания ответа от сервера");
    case QAbstractSocket::RemoteHostClosedError:
        return text("Сервер закрыл соединение");
    case QAbstractSocket::HostNotFoundError:
        return text("Адрес не найден");
    case QAbstractSocket::SocketAccessError:
        return text("Нет дуступа");
    case QAbstractSocket::SocketResourceError:
        return text("В локальной системе закончились ресурсы (например, слишком много сокетов)");
    case QAbstractSocket::SocketTimeoutError:
        return text("Таймаут выполнения операции");
    case QAbstractSocket::DatagramTooLargeError:
        return text("Датаграмма была больше, чем ограничение операционной системы");
    case QAbstractSocket::NetworkError:
        return text("Обнаружены проблемы с сетью");
    case QAbstractSocket::AddressInUseError:
        return text("Выбранный адрес не может быть использован");
    case QAbstractSocket::SocketAddressNotAvailableError:
        return text("Адрес недоступен");
    case QAbstractSocket::UnsupportedSocketOperationError:
        return text("Выбранная операция сокета не поддерживается системой");
    case QAbstractSocket::UnfinishedSocketOperationError:
        return text("Предыдущая операция ещё выполняется");
    case QAbstractSocket::ProxyAuthenticationRequiredError:
        return text("Сокет использует прокси с аутентификацией");
    case QAbstractSocket::SslHandshakeFailedError:
        return text("Не удалось выполнить рукопожатие SSL / TLS, поэтому соединение было закрыто");
    case QAbstractSocket::ProxyConnectionRefusedError:
        return text("Не удалось связаться с прокси-сервером, поскольку было отказано в "
                    "подключении к этому серверу");
    case QAbstractSocket::ProxyConnectionClosedError:
        return text("Соединение с прокси-сервером неожиданно было закрыто");
    case QAbstractSocket::ProxyConnectionTimeoutError:
        return text("Время ожидания подключения к прокси-серверу или прокси-сервер перестали "
                    "отвечать на фазу аутентификации");
    case QAbstractSocket::ProxyNotFoundError:
        return text("Прокси-сервер не найден");
    case QAbstractSocket::ProxyProtocolError:
        return text("Некорректный ответ от прокси-сервера");
    case QAbstractSocket::OperationError:
        return text("Ошибка сокета");
    case QAbstractSocket::SslInternalError:
        return text("Внутренняя ошибка SSL библиотеки");
    case QAbstractSocket::SslInvalidUserDataError:
        return text("SSL библиотека получила неверные данные");
    case QAbstractSocket::TemporaryError:
        return text("Временная ошибка сокета");
    }
    return text("Ошибка №") + QString::number(int(error));
}
