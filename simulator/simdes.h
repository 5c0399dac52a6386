// SimDes: the DES block cipher and the VNC Authentication response the simulator checks.
#pragma once

#include <QByteArray>
#include <QString>

class SimDes
{
public:
    // Standard DES (FIPS 46-3) encryption of one 8-byte block under an 8-byte key.
    static QByteArray encryptBlock(const QByteArray& key, const QByteArray& block);
    // The device's key: the password's first 8 Latin-1 bytes, zero padded.
    static QByteArray vncKey(const QString& password);
    // VNC reads every key byte with its bits reversed, then encrypts both challenge halves.
    static QByteArray vncResponse(const QByteArray& challenge, const QString& password);
    static quint8 reverseBits(quint8 byte);
};
