#pragma once
// LogCapture: records every message logged while it lives (any thread), with its category and
// type, and passes it on as before.
#include <QList>
#include <QLoggingCategory>
#include <QMutex>
#include <QStringList>

class LogCapture
{
public:
    // debug: the program's debug messages are recorded too.
    explicit LogCapture(bool debug = false);
    ~LogCapture();

    // The texts logged in category with exactly this type.
    QStringList texts(const char* category, QtMsgType type) const;
    // Every text, whatever its category and type.
    QStringList all() const;

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text);

    struct Entry
    {
        QByteArray category;
        QtMsgType type;
        QString text;
    };
    mutable QMutex mutex;
    QList<Entry> entries;
    QtMessageHandler previous;
};
