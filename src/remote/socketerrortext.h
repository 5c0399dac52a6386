#pragma once
// socketErrorText: the operator's wording of each socket error, in the session's translation
// context.
#include <QAbstractSocket>
#include <QString>

QString socketErrorText(QAbstractSocket::SocketError error);
