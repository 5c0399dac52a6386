#pragma once
// qtKeyToKeySym: turns a Qt key code into the X keysym that an RFB KeyEvent carries.

// Returns -1 when the key has no keysym. withModifiers is true when any modifier is held;
// it only decides between the capital and the small keysym of a Latin letter.
int qtKeyToKeySym(int key, bool withModifiers);
