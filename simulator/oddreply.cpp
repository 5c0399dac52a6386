#include "oddreply.h"

#include "rfbwire.h"

namespace OddReply {

QByteArray bytes(SimOptions::Odd odd, const QRect& area, bool* isUpdate)
{
    using Odd = SimOptions::Odd;
    *isUpdate = odd == Odd::CopyRect || odd == Odd::ZeroRects || odd == Odd::HugeRect;
    switch (odd) {
    case Odd::Bell:
        return RfbWire::bell();
    case Odd::CutText: {
        const QByteArray text("SOLMIR-3 clipboard");
        return RfbWire::serverCutText(text, static_cast<quint32>(text.size()));
    }
    case Odd::ColourMap:
        return RfbWire::colourMapEntries();
    case Odd::Unknown:
        return RfbWire::unknownMessage();
    case Odd::CopyRect:
        return RfbWire::copyRect(area);
    case Odd::ZeroRects:
        return RfbWire::updateHeader(0);
    case Odd::HugeRect:
        return RfbWire::hugeRect();
    case Odd::HugeCutText:
        return RfbWire::serverCutText("SOLMIR-3 overflow", 0x7FFFFFFFu);
    case Odd::None:
        break;
    }
    return QByteArray();
}

} // namespace OddReply
