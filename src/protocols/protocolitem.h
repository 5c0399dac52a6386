#pragma once
// ProtocolItem: one protocol file listed by the device, with the operator's check mark.
#include <QString>

struct ProtocolItem
{
    QString name;
    bool selected = false;
};
