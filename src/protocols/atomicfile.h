#pragma once
// AtomicFile: a file written out of sight in its folder and put in place of its target in one
// step, taking over the owner, group and mode of the file it replaces. QSaveFile does the same
// for the mode only: a protocol of another account would become the operator's.
#include <QByteArray>
#include <QString>

class AtomicFile
{
public:
    explicit AtomicFile(const QString& folder);
    ~AtomicFile(); // discards what was not committed
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the folder with its missing parents and the hidden file; false for an empty folder
    // or one that cannot hold files at all.
    bool open();
    bool isOpen() const { return fd >= 0; }
    bool write(const char* data, qint64 size);
    qint64 size() const { return written; }
    // Up to size bytes from position pos of what was written; for checks before the commit.
    QByteArray read(qint64 pos, qint64 size) const;

    // Puts the file in place of folder/name; what was written is gone either way. A read-only
    // target is refused; a linked one, one with an access list, or one that cannot be replaced
    // while keeping its owner is written through in place instead.
    bool commit(const QString& name);
    // Removes the hidden file at once.
    void discard();
    // Why the last open, write or commit failed, as the system said it.
    QString errorString() const { return error; }

private:
    bool copyInPlace(const QByteArray& target) const;
    bool linkInPlaceOf(const QByteArray& target, bool exists);

    QString folder;
    int fd = -1;
    QByteArray tempName; // empty for an unnamed file
    bool unnamed = false;
    bool elsewhere = false; // the folder takes no new files: kept in the system's temporary folder
    qint64 written = 0;
    QString error;
};
