#pragma once

#include <QRect>
#include <cstdint>
#include <vector>

namespace tarnwick::platform {

class X11Connection;

// A visible top-level window as the user sees it, in root-window pixels.
struct TopLevelWindow {
    std::uint32_t window = 0; // the client window
    QRect frame;              // the client with the window manager's frame (_NET_FRAME_EXTENTS)
    QRect withoutShadow;      // `frame` less a client-drawn shadow (_GTK_FRAME_EXTENTS)
};

// The viewable top-level windows, bottom to top: the window manager's
// _NET_CLIENT_LIST_STACKING, or without a window manager the root's mapped
// children (override-redirect ones, menus and overlays, left out). Empty
// when the server does not answer.
std::vector<TopLevelWindow> topLevelWindows(X11Connection& connection);

// The topmost of `windows` (bottom to top) whose frame holds `point`; nullptr for none.
const TopLevelWindow* windowAt(const std::vector<TopLevelWindow>& windows, QPoint point);

} // namespace tarnwick::platform
