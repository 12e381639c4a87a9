#pragma once

#include <QRect>
#include <QRegion>
#include <functional>

namespace tarnwick::platform {
class X11Connection;
}

class QWidget;

namespace tarnwick {

// Gives a frameless top-level `window` of fixed size the shape of its rounded card (corner
// `radius`): translucent corners where a compositing manager runs, else a mask that cuts them
// off, since without one transparent pixels come out black. The mask follows the window's size
// and the scale of its screen. GUI thread.
void roundWindowCorners(QWidget& window, platform::X11Connection& connection, double radius);

// Masks a top-level `window` with `region` (in its own coordinates) now and again each time it is
// resized or moves to a screen of another scale: Qt hands the window system a mask in the pixels
// of the screen the window is on and keeps it after such a move. GUI thread.
void keepWindowMask(QWidget& window, std::function<QRegion()> region);

// A rounded rectangle as a region, for masks.
QRegion roundedRegion(const QRect& rect, double radius);

} // namespace tarnwick
