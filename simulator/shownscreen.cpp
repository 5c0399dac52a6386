#include "shownscreen.h"

#include <cstring>

namespace {

// Incremental updates compare the screen with what the client was last sent in tiles of
// this size; each changed run of tiles in a tile row goes out trimmed to its changed pixels.
const int kTile = 16;

bool sameRow(const QImage& a, const QImage& b, int y, int x, int width)
{
    const int bpp = a.depth() / 8;
    return std::memcmp(a.constScanLine(y) + x * bpp, b.constScanLine(y) + x * bpp,
                       static_cast<size_t>(width * bpp)) == 0;
}

bool samePixel(const QImage& a, const QImage& b, int x, int y)
{
    return sameRow(a, b, y, x, 1);
}

// The smallest rectangle of area holding every pixel where a and b differ; empty when none.
QRect changedBounds(const QImage& a, const QImage& b, const QRect& area)
{
    int top = area.bottom() + 1;
    int bottom = area.top() - 1;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        if (!sameRow(a, b, y, area.left(), area.width())) {
            top = qMin(top, y);
            bottom = y;
        }
    }
    if (top > bottom)
        return QRect();
    int left = area.right() + 1;
    int right = area.left() - 1;
    for (int y = top; y <= bottom; ++y) {
        for (int x = area.left(); x < left; ++x) {
            if (!samePixel(a, b, x, y)) {
                left = x;
                break;
            }
        }
        for (int x = area.right(); x > right; --x) {
            if (!samePixel(a, b, x, y)) {
                right = x;
                break;
            }
        }
    }
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

QList<QRect> changedRects(const QImage& before, const QImage& now, const QRect& area)
{
    QList<QRect> out;
    for (int ty = area.top(); ty <= area.bottom(); ty += kTile) {
        const int th = qMin(kTile, area.bottom() + 1 - ty);
        int runStart = -1;
        for (int tx = area.left();; tx += kTile) {
            const bool past = tx > area.right();
            bool changed = false;
            if (!past) {
                const int tw = qMin(kTile, area.right() + 1 - tx);
                for (int y = ty; !changed && y < ty + th; ++y)
                    changed = !sameRow(before, now, y, tx, tw);
            }
            if (changed && runStart < 0)
                runStart = tx;
            if (!changed && runStart >= 0) {
                const int runEnd = qMin(tx, area.right() + 1);
                out.append(changedBounds(before, now, QRect(runStart, ty, runEnd - runStart, th)));
                runStart = -1;
            }
            if (past)
                break;
        }
    }
    return out;
}
} // namespace

void ShownScreen::remember(const QImage& frame, const QRect& rect)
{
    if (shown.size() != frame.size() || shown.format() != frame.format()) {
        shown = QImage(frame.size(), frame.format());
        shown.fill(0);
    }
    const int bpp = frame.depth() / 8;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        std::memcpy(shown.scanLine(y) + rect.left() * bpp,
                    frame.constScanLine(y) + rect.left() * bpp,
                    static_cast<size_t>(rect.width() * bpp));
}

QList<QRect> ShownScreen::changes(const QImage& frame, const QRect& area) const
{
    return changedRects(shown, frame, area);
}
