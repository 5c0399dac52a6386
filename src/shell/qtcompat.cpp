#include "shell/qtcompat.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QtGlobal>
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#else
#include <QRegExpValidator>
#endif

namespace QtCompat {

void prepareHighDpi()
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
#endif
}

QPointF localPosition(const QMouseEvent* event)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return event->position();
#else
    return event->localPos();
#endif
}

QValidator* patternValidator(const QString& pattern, QObject* parent)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return new QRegularExpressionValidator(QRegularExpression(pattern), parent);
#else
    return new QRegExpValidator(QRegExp(pattern, Qt::CaseSensitive), parent);
#endif
}

QString removeMatches(const QString& text, const QRegExp& rx)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return rx.removeIn(text);
#else
    return QString(text).remove(rx);
#endif
}

bool iniNeedsTranslation()
{
    return QT_VERSION >= QT_VERSION_CHECK(6, 0, 0);
}

namespace {

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

void appendEscape(QByteArray& out, uint unit)
{
    out += "\\x";
    out += QByteArray::number(unit, 16);
}

// Each maximal run of bytes past ASCII becomes escapes made by toUnit, and hex digits that
// directly follow an escape are escaped too, since a reader would take them into it.
template <typename Run> QByteArray escapeRuns(const QByteArray& in, Run escapeRun)
{
    QByteArray out;
    out.reserve(in.size() * 2);
    int i = 0;
    while (i < in.size()) {
        if (static_cast<uchar>(in[i]) < 0x80) {
            out += in[i++];
            continue;
        }
        int end = i;
        while (end < in.size() && static_cast<uchar>(in[end]) >= 0x80)
            ++end;
        escapeRun(out, in.mid(i, end - i));
        i = end;
        while (i < in.size() && isHexDigit(in[i]))
            appendEscape(out, static_cast<uchar>(in[i++]));
    }
    return out;
}

} // namespace

QByteArray iniBytesAsWritten(const QByteArray& written)
{
    if (!iniNeedsTranslation())
        return written;
    return escapeRuns(written, [](QByteArray& out, const QByteArray& run) {
        for (const QChar unit : QString::fromUtf8(run))
            appendEscape(out, unit.unicode());
    });
}

QByteArray iniBytesToRead(const QByteArray& stored)
{
    if (!iniNeedsTranslation())
        return stored;
    return escapeRuns(stored, [](QByteArray& out, const QByteArray& run) {
        for (const char byte : run)
            appendEscape(out, static_cast<uchar>(byte));
    });
}

} // namespace QtCompat
