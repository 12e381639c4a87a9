#pragma once

#include <QKeyEvent>

namespace tarnwick::platform {

// The key a key event means for shortcuts: the key that the physical key types
// in the first keyboard group, unshifted (Qt::Key_BracketRight for "]" also
// while the Russian layout types "ъ" there; Qt::Key_V for Ctrl+V, Qt::Key_Equal
// for Shift+=). Keys outside printable ASCII in that group (Escape, arrows, the
// keypad) and events without a native key code (other platforms, synthetic
// events) give the event's own key(). GUI thread.
int physicalKey(const QKeyEvent& event);

} // namespace tarnwick::platform
