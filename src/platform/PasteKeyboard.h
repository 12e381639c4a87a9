#pragma once

#include <cstdint>

namespace tarnwick::platform {

class PasteMonitor;
class X11Connection;

// The outcome of a synthetic paste; anything but Posted means nothing was sent.
enum class PasteOutcome {
    Posted,
    NoConnection,    // the X server does not answer
    NoXTest,         // the server has no XTEST extension
    TargetNotActive, // another window (or none) is active now
    ModifiersHeld,   // the user holds Shift, Control, Alt or Super
    Failed,          // the server refused the key events
};

// Presses Ctrl+V for the user through XTEST: Control_L down, V down, V up,
// Control_L up, into whatever window has the keyboard focus.
class PasteKeyboard {
public:
    // The monitor, when given, is told to ignore the presses we send.
    explicit PasteKeyboard(X11Connection& connection, PasteMonitor* monitor = nullptr);

    // Posts Ctrl+V only while `targetWindow` is still the active window and no
    // modifier key is held on the real keyboard (the user's Shift would turn our
    // Ctrl+V into Ctrl+Shift+V).
    PasteOutcome paste(std::uint32_t targetWindow);

private:
    X11Connection& connection_;
    PasteMonitor* monitor_;
};

} // namespace tarnwick::platform
