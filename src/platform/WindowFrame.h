#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>
#include <cstdint>
#include <optional>

namespace tarnwick::platform {

class X11Connection;

// A top-level window of ours as the server shows it, in root pixels.
struct ShownWindow {
    QRect frame;  // what covers the screen: the window manager's frame around it, or the window itself
    QRect client; // the window's own area
};

// The requests below go on Qt's own connection (GUI thread), after the requests Qt has made for
// the window; without an X11 Qt platform they answer nothing and do nothing.

// Where `window` is on the screen, read from the server; nullopt while it or the
// frame that holds it is not mapped (hidden, or not yet framed by the window manager).
std::optional<ShownWindow> shownWindow(std::uint32_t window);

// The frame widths the window manager gives `window` (_NET_FRAME_EXTENTS), in
// pixels; nullopt while it has said none. A hidden window keeps the last ones.
std::optional<QMargins> frameExtents(std::uint32_t window);

// Asks the window manager to publish the frame widths it would give the unmapped
// `window` (_NET_REQUEST_FRAME_EXTENTS); they come later.
void requestFrameExtents(std::uint32_t window);

// Asks the window manager to put the window's own area at `client` (root pixels),
// its frame around it (_NET_MOVERESIZE_WINDOW). False when no window manager takes
// the request; the caller then moves the window itself.
bool moveResizeWindow(std::uint32_t window, const QRect& client);

// Tells the window manager the least and largest sizes of `window` and its resize step, in
// pixels (WM_NORMAL_HINTS), keeping the rest of the hints; nothing when it holds them already.
void setSizeLimits(std::uint32_t window, QSize least, QSize most, int step);

// Whether a pointer button is held now: a window manager moving or resizing a window holds one.
bool pointerButtonHeld();

// What `window` covers on the screen, its frame included (root pixels), while it or
// the frame that holds it is mapped: a frame outlives its window's unmapping for a moment.
std::optional<QRect> coveredArea(X11Connection& connection, std::uint32_t window);

} // namespace tarnwick::platform
