#pragma once
// Protocol file helpers: the listing scan, the safe local name and the atomic save, kept pure
// so that tests and fuzzers can drive them directly.
#include <QByteArray>
#include <QString>
#include <QStringList>

class QUrl;

// Where the device publishes its listing page, and each protocol listed on it.
QString protocolListingUrlText(const QString& address);
QString protocolFileUrlText(const QString& address, const QString& name);

// The markers a protocol's name stands between on the listing page.
QString protocolLinkStart();
QString protocolLinkEnd();

// The body as UTF-8 text, up to the first NUL byte.
QString protocolListingText(const QByteArray& body);

// The link texts of every start ... end marker pair, searched from the second character on.
QStringList scanProtocolListing(const QString& text);

// The last segment of url's fully decoded path. False when it is empty, "." or "..", or holds a
// NUL, i.e. when it could name anything but a file inside the folder.
bool safeProtocolFileName(const QUrl& url, QString* name);

// Writes data as folder/name, creating the folder with its missing parents; false for an empty
// folder. A new or plain file is replaced atomically, keeping its owner, group and mode, so a
// failed write leaves any earlier copy untouched; where such a replacement cannot keep them or is
// refused, the file is written in place as a direct open would. A read-only one is refused, and
// a linked one is written through.
bool saveProtocolFile(const QString& folder, const QString& name, const QByteArray& data);
