#pragma once
// QtCompat: the few places where Qt 6 parts from Qt 5, so that the rest of the code reads the
// same under both and the program's texts and files stay byte for byte what Qt 5 gives.
#include <QByteArray>
#include <QRegExp>
#include <QString>

#include <QPointF>

class QMouseEvent;
class QObject;
class QValidator;

namespace QtCompat {

// Before the application object: draw at the desktop's density (Qt 6 always does), and use a
// 2x icon where one exists.
void prepareHighDpi();

// The pointer's position in the widget, unrounded.
QPointF localPosition(const QMouseEvent* event);

// A validator that accepts exactly the text matching pattern and lets a prefix of a match stand
// while typing (QRegExpValidator under Qt 5; Qt 6 has only the QRegularExpression one).
QValidator* patternValidator(const QString& pattern, QObject* parent);

// The text with every match of rx removed, as Qt 5's QString::remove(QRegExp) gives it.
QString removeMatches(const QString& text, const QRegExp& rx);

// conf.ini as Qt 5's QSettings, without a codec, reads and writes it: every UTF-16 unit past
// ASCII as a \x escape, and a raw byte past ASCII read as one Latin-1 letter. Qt 6 writes and
// reads UTF-8 instead; these turn its bytes into Qt 5's and back. Identity under Qt 5.
QByteArray iniBytesAsWritten(const QByteArray& written);
QByteArray iniBytesToRead(const QByteArray& stored);
bool iniNeedsTranslation();

} // namespace QtCompat
