#include "shell/logfile.h"

#include <QByteArray>

#include <cstdio>

namespace {

LogFile* installed = nullptr;

void handleMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    const QString line = qFormatLogMessage(type, context, message);
    const QByteArray local = line.toLocal8Bit();
    std::fprintf(stderr, "%s\n", local.constData());
    std::fflush(stderr);
    if (installed)
        installed->write(line);
}

} // namespace

LogFile::LogFile(const QString& path, qint64 limit) : file(path), maxBytes(limit)
{
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        std::fprintf(stderr, "solmir3-arm: no log file %s: %s\n", qPrintable(path),
                     qPrintable(file.errorString()));
}

void LogFile::write(const QString& line)
{
    QMutexLocker lock(&mutex);
    if (!file.isOpen())
        return;
    const QByteArray bytes = line.toUtf8() + '\n';
    if (file.size() > 0 && file.size() + bytes.size() > maxBytes)
        rotate();
    file.write(bytes);
    file.flush();
}

void LogFile::rotate()
{
    const QString path = file.fileName();
    const QString old = path + QStringLiteral(".1");
    file.close();
    QFile::remove(old);
    QFile::rename(path, old);
    // Should the new file not open, the record stops here rather than the program.
    file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
}

void LogFile::install(const QString& path)
{
    if (qEnvironmentVariableIsEmpty("QT_MESSAGE_PATTERN"))
        qSetMessagePattern(
            QStringLiteral("%{time yyyy-MM-dd hh:mm:ss.zzz} %{if-debug}D%{endif}%{if-info}I%{endif}"
                           "%{if-warning}W%{endif}%{if-critical}C%{endif}%{if-fatal}F%{endif} "
                           "%{if-category}%{category}: %{endif}%{message}"));
    if (!installed && !path.isEmpty())
        installed = new LogFile(path);
    qInstallMessageHandler(handleMessage);
}
