#pragma once
// vnccipher: the DES response of VNC Authentication, written out here so no crypto library is
// needed.
#include <QByteArray>
#include <QString>

namespace vnccipher {

// The 8-byte key made from the operator's password: Latin-1, cut at the first zero byte,
// decoded as UTF-8 again; each of the first 8 code units below 256 is a key byte, others 0.
QByteArray keyFromPassword(const QString& password);

// Standard DES (FIPS 46-3) encryption of one 8-byte block; key bit 1 is the most
// significant bit of key byte 0.
QByteArray desEncryptBlock(const QByteArray& key, const QByteArray& block);

// DES as VNC uses it: the bits of every key byte are taken in reverse order.
QByteArray vncEncryptBlock(const QByteArray& key, const QByteArray& block);

} // namespace vnccipher

// The 16-byte answer to a VNC Authentication challenge.
QByteArray vncResponse(const QByteArray& challenge, const QString& password);
