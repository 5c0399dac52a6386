// OddReply: the misbehaving answers the simulated device can give instead of an update.
#pragma once

#include "simoptions.h"

#include <QByteArray>
#include <QRect>

namespace OddReply {

// The bytes of the odd reply to a request for area; isUpdate tells whether it counts as a
// FramebufferUpdate. Empty for Odd::None.
QByteArray bytes(SimOptions::Odd odd, const QRect& area, bool* isUpdate);

} // namespace OddReply
