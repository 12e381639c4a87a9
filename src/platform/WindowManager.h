#pragma once

#include <cstdint>

class QByteArray;

namespace tarnwick::platform {

class X11Connection;

// Shows `window` on every virtual desktop: _NET_WM_DESKTOP "all" for a window about to be
// mapped, and the same and the sticky state asked of the window manager for a mapped one.
// False when the server does not answer.
bool showOnAllDesktops(X11Connection& connection, std::uint32_t window);

// Asks the window manager to keep the mapped `window` above others (_NET_WM_STATE_ABOVE).
// False when the server does not answer.
bool keepAbove(X11Connection& connection, std::uint32_t window);

// Takes WM_TAKE_FOCUS out of `window`'s WM_PROTOCOLS, for a window that never takes the focus:
// offered, the window manager hands it the focus when a dialog of it closes, and the keys go
// nowhere instead of back to the window the user typed in. False when the server does not answer.
bool refuseFocus(X11Connection& connection, std::uint32_t window);

// Whether a window manager runs: a client redirects the root's map requests.
bool windowManagerRunning(X11Connection& connection);

// Whether a window manager has `window` in hand: it gave it a WM_STATE other than Withdrawn.
bool isManaged(X11Connection& connection, std::uint32_t window);

// Whether `message`, a native event Qt's xcb platform passes on as `eventType`, is a change of
// `window`'s WM_STATE: the window manager sets it on taking a window in and drops it on letting it go.
bool isManagementChange(X11Connection& connection, const QByteArray& eventType, const void* message,
                        std::uint32_t window);

// Whether a compositing manager runs on the connection's screen (a client owns
// _NET_WM_CM_Sn), so that translucent window corners show what lies below.
bool compositingManagerRunning(X11Connection& connection);

// Whether a clipboard manager runs (a client owns CLIPBOARD_MANAGER), so that
// what we put on the clipboard is taken over (SAVE_TARGETS) when we quit.
bool clipboardManagerRunning(X11Connection& connection);

} // namespace tarnwick::platform
