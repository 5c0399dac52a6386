#include "panelscreen.h"

#include <QFont>
#include <QPainter>
#include <QTimer>
#include <QtMath>

namespace {
const QColor kBackground(16, 24, 32);
const QColor kTitle(0, 72, 128);
const QColor kGrid(40, 64, 72);
const QColor kTrace(80, 255, 120);
const QColor kText(230, 230, 230);
const QColor kButtonOff(64, 72, 88);
const QColor kButtonOn(200, 120, 0);
const char* const kCaptionsOff[] = {"СТОП", "КАНАЛ 1", "ЗАПИСЬ", "ПОДСВЕТКА"};
const char* const kCaptionsOn[] = {"ПУСК", "КАНАЛ 2", "ПАУЗА", "ПОДСВЕТКА ✓"};
const int kTickMs = 125;

QFont panelFont(int pixelSize, bool bold = false)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(qMax(6, pixelSize));
    f.setBold(bold);
    return f;
}
} // namespace

PanelScreen::PanelScreen(const QSize& size, bool animate, QObject* parent)
    : QObject(parent), image(size.expandedTo(QSize(1, 1)), QImage::Format_RGB16),
      startTime(QDateTime::currentDateTime()), buttons(buttonCount, false)
{
    if (animate) {
        timer = new QTimer(this);
        connect(timer, SIGNAL(timeout()), this, SLOT(onTick()));
        timer->start(kTickMs);
    }
    render();
}

void PanelScreen::onTick()
{
    ++tick;
    render();
    emit changed();
}

QRect PanelScreen::buttonRect(int index) const
{
    const int w = image.width(), h = image.height();
    const int margin = qMax(1, w / 80);
    const int bh = qMax(2, h / 9);
    const int top = h - bh - margin;
    const int areaWidth = w * 3 / 5;
    const int bw = qMax(2, (areaWidth - margin * (buttonCount + 1)) / buttonCount);
    return QRect(margin + index * (bw + margin), top, bw, bh);
}

QRect PanelScreen::textFieldRect() const
{
    const QRect last = buttonRect(buttonCount - 1);
    const int margin = qMax(1, image.width() / 80);
    return QRect(last.right() + 2 * margin, last.top(),
                 qMax(2, image.width() - last.right() - 3 * margin), last.height());
}

QRect PanelScreen::traceRect() const
{
    const int w = image.width(), h = image.height();
    const int titleH = qMax(2, h / 12);
    const int margin = qMax(1, w / 80);
    const int bottom = buttonRect(0).top() - margin;
    return QRect(margin * 5, titleH + margin, w * 7 / 10 - margin * 5,
                 bottom - titleH - 3 * margin);
}

QRect PanelScreen::readoutRect() const
{
    const QRect trace = traceRect();
    const int margin = qMax(1, image.width() / 80);
    return QRect(trace.right() + 2 * margin, trace.top(),
                 image.width() - trace.right() - 3 * margin, trace.height());
}

bool PanelScreen::buttonOn(int index) const
{
    return index >= 0 && index < buttonCount && buttons.at(index);
}

QString PanelScreen::buttonCaption(int index) const
{
    if (index < 0 || index >= buttonCount)
        return QString();
    return QString::fromUtf8(buttons.at(index) ? kCaptionsOn[index] : kCaptionsOff[index]);
}

void PanelScreen::pointerEvent(quint8 buttonMask, int x, int y)
{
    pointer = QPoint(x, y);
    const bool leftPressed = (buttonMask & 1) && !(lastMask & 1);
    lastMask = buttonMask;
    if (leftPressed) {
        clickMark = pointer;
        for (int i = 0; i < buttonCount; ++i) {
            if (buttonRect(i).contains(pointer))
                buttons[i] = !buttons[i];
        }
    }
    render();
    emit changed();
}

void PanelScreen::keyEvent(bool down, quint32 keysym)
{
    if (!down)
        return;
    const int maxLength = 40;
    if (keysym == 0xFF08) {
        typed.chop(1);
    } else if (keysym == 0xFF0D || keysym == 0xFF8D) {
        committed = typed;
        typed.clear();
    } else if (keysym == 0xFF1B) {
        typed.clear();
    } else if (typed.size() < maxLength) {
        uint code = 0;
        if ((keysym >= 0x20 && keysym <= 0x7E) || (keysym >= 0xA0 && keysym <= 0xFF))
            code = keysym;
        else if (keysym >= 0x01000100 && keysym <= 0x0100FFFF)
            code = keysym - 0x01000000;
        if (code != 0)
            typed.append(QChar(code));
        else
            return;
    }
    render();
    emit changed();
}

double PanelScreen::sample(double t) const
{
    const double f = buttons.at(1) ? 3.0 : 2.0;
    return 0.6 * qSin(f * t) + 0.25 * qSin(5.3 * t + 0.4) + 0.1 * qSin(17.0 * t);
}

void PanelScreen::render()
{
    // Painted straight into 5-6-5: a format conversion would run on Qt's thread pool.
    QImage canvas(image.size(), QImage::Format_RGB16);
    canvas.fill(buttons.at(3) ? QColor(28, 40, 52) : kBackground);
    QPainter p(&canvas);
    drawTitle(p);
    drawTrace(p, traceRect());
    drawReadouts(p, readoutRect());
    drawButtons(p);
    drawTextField(p);
    drawPointer(p);
    p.end();
    image = canvas;
}

void PanelScreen::drawTitle(QPainter& p)
{
    const int w = image.width(), h = image.height();
    const QRect bar(0, 0, w, qMax(2, h / 12));
    p.fillRect(bar, kTitle);
    p.setPen(kText);
    p.setFont(panelFont(bar.height() * 6 / 10, true));
    p.drawText(bar.adjusted(w / 80 + 2, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft,
               QStringLiteral("СОЛМИР-3"));
    const QDateTime now = timer ? QDateTime::currentDateTime() : startTime;
    p.setFont(panelFont(bar.height() / 2));
    p.drawText(bar.adjusted(0, 0, -(w / 80 + 2), 0), Qt::AlignVCenter | Qt::AlignRight,
               now.toString(QStringLiteral("dd.MM.yyyy  HH:mm:ss")));
}

void PanelScreen::drawTrace(QPainter& p, const QRect& area)
{
    if (area.width() < 4 || area.height() < 4)
        return;
    p.fillRect(area, QColor(8, 12, 16));
    p.setPen(QPen(kGrid, 1, Qt::DotLine));
    const int cols = 10, rows = 8;
    for (int i = 0; i <= cols; ++i) {
        const int x = area.left() + area.width() * i / cols;
        p.drawLine(x, area.top(), x, area.bottom());
    }
    for (int i = 0; i <= rows; ++i) {
        const int y = area.top() + area.height() * i / rows;
        p.drawLine(area.left(), y, area.right(), y);
    }
    p.setPen(kText);
    p.setFont(panelFont(area.height() / 22));
    for (int i = 0; i <= rows; i += 2) {
        const int y = area.top() + area.height() * i / rows;
        const QString label = QString::number(1.0 - 2.0 * i / rows, 'f', 1);
        p.drawText(QRect(0, y - 8, area.left() - 3, 16), Qt::AlignRight | Qt::AlignVCenter, label);
    }
    p.drawText(area.adjusted(4, 2, 0, 0), Qt::AlignTop | Qt::AlignLeft,
               buttons.at(1) ? QStringLiteral("U2, В") : QStringLiteral("U1, В"));
    p.drawText(area.adjusted(0, 0, -4, -2), Qt::AlignBottom | Qt::AlignRight,
               QStringLiteral("t, мс"));
    const bool running = !buttons.at(0); // the first button pauses the trace
    const double phase = (running ? tick : 0) * 0.15;
    QPolygonF trace;
    trace.reserve(area.width());
    for (int x = 0; x < area.width(); ++x) {
        const double t = phase + 6.0 * M_PI * x / area.width();
        const double y = area.center().y() - sample(t) * area.height() * 0.45;
        trace.append(QPointF(area.left() + x, y));
    }
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(kTrace, 2));
    p.drawPolyline(trace);
    p.setRenderHint(QPainter::Antialiasing, false);
}

void PanelScreen::drawReadouts(QPainter& p, const QRect& area)
{
    if (area.width() < 4 || area.height() < 4)
        return;
    const double phase = (buttons.at(0) ? 0 : tick) * 0.15;
    const double u = 12.0 + 0.8 * sample(phase);
    const double i = 0.48 + 0.03 * sample(phase + 1.0);
    const double f = buttons.at(1) ? 60.0 : 50.0;
    const QStringList lines = {
        QStringLiteral("U = %1 В").arg(u, 0, 'f', 2), QStringLiteral("I = %1 А").arg(i, 0, 'f', 3),
        QStringLiteral("f = %1 Гц").arg(f, 0, 'f', 2),
        QStringLiteral("P = %1 Вт").arg(u * i, 0, 'f', 2),
        buttons.at(2) ? QStringLiteral("● Запись") : QStringLiteral("○ Запись")};
    const int lineH = area.height() / lines.size();
    p.setFont(panelFont(lineH * 4 / 10, true));
    for (int n = 0; n < lines.size(); ++n) {
        const QRect cell(area.left(), area.top() + n * lineH, area.width(), lineH - 2);
        p.fillRect(cell, QColor(24, 36, 48));
        p.setPen(n == 4 && buttons.at(2) ? QColor(255, 80, 80) : kText);
        p.drawText(cell.adjusted(6, 0, -4, 0), Qt::AlignVCenter | Qt::AlignLeft, lines.at(n));
    }
}

void PanelScreen::drawButtons(QPainter& p)
{
    for (int i = 0; i < buttonCount; ++i) {
        const QRect r = buttonRect(i);
        p.fillRect(r, buttons.at(i) ? kButtonOn : kButtonOff);
        p.setPen(kText);
        p.drawRect(r.adjusted(0, 0, -1, -1));
        p.setFont(panelFont(r.height() * 3 / 10, true));
        p.drawText(r, Qt::AlignCenter, buttonCaption(i));
    }
}

void PanelScreen::drawTextField(QPainter& p)
{
    const QRect r = textFieldRect();
    p.fillRect(r, QColor(240, 240, 232));
    p.setPen(QColor(20, 20, 20));
    p.drawRect(r.adjusted(0, 0, -1, -1));
    p.setFont(panelFont(r.height() * 3 / 10));
    const QRect upper(r.left() + 4, r.top(), r.width() - 8, r.height() / 2);
    const QRect lower(r.left() + 4, r.top() + r.height() / 2, r.width() - 8, r.height() / 2);
    p.drawText(upper, Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Ввод: ") + typed + "_");
    p.setPen(QColor(0, 90, 160));
    p.drawText(lower, Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Принято: ") + committed);
}

void PanelScreen::drawPointer(QPainter& p)
{
    if (clickMark.x() >= 0) {
        p.setPen(QPen(QColor(255, 220, 0), 2));
        p.drawEllipse(clickMark, 6, 6);
    }
    if (pointer.x() >= 0) {
        p.setPen(QPen(QColor(255, 255, 255), 1));
        p.drawLine(pointer.x() - 5, pointer.y(), pointer.x() + 5, pointer.y());
        p.drawLine(pointer.x(), pointer.y() - 5, pointer.x(), pointer.y() + 5);
    }
}
