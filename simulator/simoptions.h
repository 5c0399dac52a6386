// SimOptions: everything that configures one simulated СОЛМИР-3 device.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QSize>
#include <QString>

struct SimOptions
{
    QHostAddress address{QStringLiteral("127.0.0.1")};
    quint16 rfbPort = 5900; // 0 = pick a free port (tests)
    quint16 httpPort = 80;  // 0 = no HTTP server
    QSize screenSize{800, 480};
    QString password;                     // empty: security None; else VNC Authentication
    bool offerNoneToo = false;            // offer both types 1 and 2 (client must pick None)
    QByteArray version = "RFB 003.008\n"; // e.g. "RFB 003.003\n" or "RFB 003.007\n"
    bool noSecurityTypes = false;         // send count 0 + reason string
    bool animate = true; // false: the screen changes only on input (deterministic tests)
    // Misbehaviour: instead of a FramebufferUpdate, answer request number N (1-based,
    // counted per connection) with something else; 0 = never.
    enum class Odd
    {
        None,
        Bell,
        CutText,
        ColourMap,
        Unknown,
        CopyRect,
        ZeroRects,
        HugeRect,
        HugeCutText
    };
    Odd oddReply = Odd::None;
    int oddFrom = 0;
    int oddCount = 1;               // requests oddFrom..oddFrom+oddCount-1
    int rectsPerUpdate = 1;         // split each update into this many horizontal bands
    int closeAfterUpdates = -1;     // close the socket after this many updates (-1 never)
    int stallAfterUpdates = -1;     // stop answering (keep the socket open) after this many
    bool oneBytePerWrite = false;   // deliver every server byte in its own write + flush
    bool hugeDesktopName = false;   // ServerInit name length 0xFFFFFFF0 with no data behind it
    quint8 serverBitsPerPixel = 16; // 16 → 5-6-5; 32 → 8-8-8 shifts 16/8/0
    QString protocolsDir; // .xlsx files served over HTTP; empty = built-in set in a temp folder
};
