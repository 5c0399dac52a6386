#pragma once
// ProtocolSpool: writes a protocol's body, as it arrives, to a hidden file in the protocols
// folder, so that a protocol's size never becomes the program's memory.
#include "protocols/atomicfile.h"

#include <QObject>

#include <memory>

class QNetworkReply;

class ProtocolSpool : public QObject
{
    Q_OBJECT
public:
    // Lives as the reply's child, and the open file goes with it unless committed.
    ProtocolSpool(QNetworkReply* reply, const QString& folder, std::unique_ptr<AtomicFile> file);
    static ProtocolSpool* of(QNetworkReply* reply);

    // What Qt may hold of a body before it is written out.
    static constexpr qint64 readBufferSize = 1024 * 1024;

    // Writes what the reply holds; false once a write has failed (the reply is then aborted).
    bool drain();
    const QString& folder() const { return folderPath; }
    AtomicFile* spooled() const { return file.get(); }

private slots:
    void onReadyRead() { drain(); }

private:
    QNetworkReply* reply;
    QString folderPath;
    std::unique_ptr<AtomicFile> file;
    bool failed = false;
};
