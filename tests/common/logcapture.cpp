#include "logcapture.h"

#include <atomic>

namespace {
// Read by whichever thread logs.
std::atomic<LogCapture*> current{nullptr};
} // namespace

LogCapture::LogCapture(bool debug)
{
    if (debug)
        QLoggingCategory::setFilterRules(QStringLiteral("solmir.*.debug=true"));
    current = this;
    previous = qInstallMessageHandler(&LogCapture::handle);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(previous);
    current = nullptr;
    QLoggingCategory::setFilterRules(QString());
}

void LogCapture::handle(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    LogCapture* capture = current;
    if (!capture)
        return;
    {
        QMutexLocker lock(&capture->mutex);
        capture->entries.append({QByteArray(context.category), type, text});
    }
    if (capture->previous)
        capture->previous(type, context, text);
}

QStringList LogCapture::texts(const char* category, QtMsgType type) const
{
    QMutexLocker lock(&mutex);
    QStringList found;
    for (const Entry& entry : entries) {
        if (entry.category == category && entry.type == type)
            found << entry.text;
    }
    return found;
}

QStringList LogCapture::all() const
{
    QMutexLocker lock(&mutex);
    QStringList found;
    for (const Entry& entry : entries)
        found << entry.text;
    return found;
}
