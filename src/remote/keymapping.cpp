#include "remote/keymapping.h"

#include <Qt>

namespace {

// Special keys. Modifiers map to the right-hand keysyms on purpose: the device treats both
// sides alike and this is what it has always received.
int specialKeySym(int key)
{
    switch (key) {
    case Qt::Key_Escape:
        return 0xFF1B;
    case Qt::Key_Tab:
        return 0xFF09;
    case Qt::Key_Backspace:
        return 0xFF08;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 0xFF0D;
    case Qt::Key_Insert:
        return 0xFF63;
    case Qt::Key_Delete:
        return 0xFFFF;
    case Qt::Key_Pause:
        return 0xFF13;
    case Qt::Key_Print:
        return 0xFF61;
    case Qt::Key_SysReq:
        return 0xFF15;
    case Qt::Key_Clear:
        return 0xFF0B;
    case Qt::Key_Home:
        return 0xFF50;
    case Qt::Key_End:
        return 0xFF57;
    case Qt::Key_Left:
        return 0xFF51;
    case Qt::Key_Up:
        return 0xFF52;
    case Qt::Key_Right:
        return 0xFF53;
    case Qt::Key_Down:
        return 0xFF54;
    case Qt::Key_PageUp:
        return 0xFF55;
    case Qt::Key_PageDown:
        return 0xFF56;
    case Qt::Key_Shift:
        return 0xFFE2;
    case Qt::Key_Control:
        return 0xFFE4;
    case Qt::Key_Meta:
        return 0xFFE8;
    case Qt::Key_Alt:
        return 0xFFEA;
    case Qt::Key_CapsLock:
        return 0xFFE5;
    case Qt::Key_NumLock:
        return 0xFF7F;
    case Qt::Key_ScrollLock:
        return 0xFF14;
    case Qt::Key_Super_L:
        return 0xFFEB;
    case Qt::Key_Super_R:
        return 0xFFEC;
    case Qt::Key_Help:
        return 0xFF6A;
    case Qt::Key_Mode_switch:
        return 0xFF7E;
    default:
        return -1;
    }
}

bool isPlainPrintable(int key)
{
    // Letters have their own rule: the capital or the small keysym.
    return (key >= 0x20 && key <= 0x40) || (key >= 0x5B && key <= 0x60) ||
           (key >= 0x7B && key <= 0x7E);
}

} // namespace

int qtKeyToKeySym(int key, bool withModifiers)
{
    const int special = specialKeySym(key);
    if (special != -1)
        return special;
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35)
        return 0xFFBE + (key - Qt::Key_F1);
    if (isPlainPrintable(key))
        return key;
    if ((key >= 0xA0 && key <= 0xAE) || key == 0xBB)
        return key;
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return withModifiers ? key : key + 0x20;
    return -1;
}
