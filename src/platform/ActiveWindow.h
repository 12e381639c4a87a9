#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace tarnwick::platform {

class X11Connection;

// The window the window manager reports as active (_NET_ACTIVE_WINDOW): the
// window a Ctrl+V of the user went to, and the process behind it.
struct ActiveWindow {
    std::uint32_t window = 0;
    std::optional<std::int64_t> pid; // _NET_WM_PID, when the window names one
    QString wmInstance;               // WM_CLASS, first string
    QString wmClass;                  // WM_CLASS, second string

    // Nothing when no window is active, the active window is gone or the X
    // server does not answer.
    static std::optional<ActiveWindow> query(X11Connection& connection);

    bool belongsToThisProcess() const;
};

// Asks the window manager to raise and focus `window` (a _NET_ACTIVE_WINDOW
// request, sent as for a direct user action). Returns whether the request was
// sent; whether the window becomes active is the window manager's decision.
bool activateWindow(X11Connection& connection, std::uint32_t window);

} // namespace tarnwick::platform
