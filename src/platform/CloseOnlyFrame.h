#pragma once

#include <cstdint>

namespace tarnwick::platform {

// Asks the window manager to frame the not yet mapped top-level `window` (Qt's window id) with
// a title and a close button only, on Qt's own connection so that the request comes before the
// window is mapped. Motif hints would say so to most window managers, but openbox keeps
// minimize and maximize whatever they say and drops them only for toolbar windows: the window's
// type list is led by _NET_WM_WINDOW_TYPE_TOOLBAR, the type Qt gave it following. Does nothing
// without an X11 Qt platform. GUI thread.
void frameWithCloseOnly(std::uint32_t window);

} // namespace tarnwick::platform
