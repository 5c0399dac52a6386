#pragma once
// LogFile: the program's record for a service engineer. Every message, Qt's own included, goes
// to standard error in Qt's message pattern with a timestamp, and to a file that moves aside to
// "<file>.1" past its size, so that the folder never grows without bound.
#include <QFile>
#include <QMutex>
#include <QString>

class LogFile
{
public:
    static constexpr qint64 defaultMaxBytes = 1024 * 1024;

    // Opens path for appending; a file that cannot be written costs one line on standard error.
    explicit LogFile(const QString& path, qint64 maxBytes = defaultMaxBytes);
    bool isOpen() const { return file.isOpen(); }
    // One line, moving the file aside first when the line would take it past its size.
    void write(const QString& line);

    // Sets the timestamped pattern (unless the user set QT_MESSAGE_PATTERN) and sends every
    // message to standard error and, unless path is empty, to path. The file lives until the
    // process ends.
    static void install(const QString& path);

private:
    void rotate();

    QMutex mutex;
    QFile file;
    qint64 maxBytes;
};
