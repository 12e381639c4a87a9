#pragma once

#include <QKeyEvent>

#include <vector>

struct xcb_connection_t;

namespace tarnwick::platform {

// The Qt key each key code stands for whatever group is active: what it types,
// unshifted, in the keyboard's Latin group (the first of the first two groups
// whose letter keys type a–z); on a keyboard without one (Russian alone) the US
// key at the same position of the main block. A value, loaded from the server.
class KeyPositions {
public:
    static KeyPositions load(xcb_connection_t* c);
    // The Qt key of printable ASCII at that position (Qt::Key_BracketRight,
    // Qt::Key_Z, Qt::Key_2), 0 for other keys (Escape, arrows, the keypad, ü).
    int keyAt(int keycode) const;

private:
    int first_ = 0;
    std::vector<int> keys_;
};

// The key a key event means for shortcuts: its position's key above
// (Qt::Key_BracketRight for "]" also while Russian types "ъ" there; Qt::Key_V
// for Ctrl+V; Qt::Key_Equal for Shift+=). Keys outside printable ASCII and
// events without a native key code (synthetic ones) give the event's own key().
// The key map is read once and again after the server says it changed. GUI thread.
int physicalKey(const QKeyEvent& event);

// Turns on XKB's detectable auto-repeat for Qt's connection, so a held key
// comes as presses and one release, and starts watching which keys are down.
// Idempotent; call before keys are held (a window's constructor). GUI thread.
void watchKeyboard();

// True for a press of a key already held (a repeat, also with detectable
// auto-repeat, where Qt no longer marks it) and for Qt's own repeats.
bool isKeyRepeat(const QKeyEvent& event);

} // namespace tarnwick::platform
