#pragma once
// ServerMessageHandler: what the server reader found in a server message, reported as it reads
// it, in the spirit of TigerVNC's CMsgHandler; the session that implements it owns the screen.
#include "remote/rfbprotocol.h"

#include <QByteArray>

class ServerMessageHandler
{
public:
    virtual ~ServerMessageHandler() = default;

    // The size of one pixel on the wire, in the format the session asked for.
    virtual int bytesPerPixel() const = 0;

    virtual void framebufferUpdateStart() {}
    // Rows firstRow .. firstRow + rows - 1 of a Raw rectangle, as they arrived (rect.width
    // pixels each); a rectangle comes in as many calls as its pieces.
    virtual void dataRect(const rfb::Rectangle& rect, int firstRow, int rows,
                          const char* pixels) = 0;
    // Every rectangle of the update has arrived.
    virtual void framebufferUpdateEnd() {}
    virtual void setColourMapEntries(int firstColour, int colours)
    {
        Q_UNUSED(firstColour)
        Q_UNUSED(colours)
    }
    virtual void bell() {}
    // At most the first maxCutTextBytes of the text.
    virtual void serverCutText(const QByteArray& text) { Q_UNUSED(text) }
};
