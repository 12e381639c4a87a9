#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace tarnwick {

// The room a window manager's title bar takes at most above a window; moved by it, a window
// with this much of its top on the screen can always be dragged back.
inline constexpr int titleBarRoom = 40;

// Where a window of `size` (its own, before the window manager frames it) goes on `usable` (a
// screen's usable area, Qt's global coordinates): centred with its title bar, and where it is
// larger than the area, with its top-left corner on it, so the title bar by which it is moved is
// on the screen and the rest hangs off the bottom and right. Pure.
QPoint centredOn(const QRect& usable, QSize size);

// Where a window already placed at `frame` (restored from the preferences, say) goes: moved
// only as far as its title bar needs to come whole onto `usable`. Pure.
QPoint titleBarOn(const QRect& usable, const QRect& frame);

// The height of `preferred` given up where `usable` lacks the room for it and its frame's title
// bar, never below `minimum`: on a short screen a window keeps its bottom edge too. Pure.
QSize fittedHeight(QSize preferred, QSize minimum, const QRect& usable);

} // namespace tarnwick
