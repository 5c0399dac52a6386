#pragma once
// ProtocolListing: where the device publishes its protocols and how their names are read from
// the listing page; pure, so that tests and fuzzers drive it directly.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace ProtocolListing {

// Where the device publishes its listing page, and each protocol listed on it.
QString urlText(const QString& address);
QString fileUrlText(const QString& address, const QString& name);

// The markers a protocol's name stands between on the listing page.
QString linkStart();
QString linkEnd();

// The body as UTF-8 text, up to the first NUL byte.
QString text(const QByteArray& body);

// The link texts of every start ... end marker pair, searched from the second character on.
QStringList scan(const QString& text);

} // namespace ProtocolListing
