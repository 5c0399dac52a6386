// ShownScreen: what one client was last sent of the device's screen, and what changed since,
// in tiles, for incremental updates.
#pragma once

#include <QImage>
#include <QList>
#include <QRect>

class ShownScreen
{
public:
    // Nothing sent yet: an incremental request is answered in full.
    bool isNull() const { return shown.isNull(); }
    // The client now has rect of frame.
    void remember(const QImage& frame, const QRect& rect);
    // The rectangles of area where frame differs from what the client has, each trimmed to its
    // changed pixels; empty when nothing changed.
    QList<QRect> changes(const QImage& frame, const QRect& area) const;

private:
    QImage shown;
};
