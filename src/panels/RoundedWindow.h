#pragma once

namespace tarnwick::platform {
class X11Connection;
}

class QWidget;

namespace tarnwick {

// Gives a frameless top-level `window` of fixed size the shape of its rounded card (corner
// `radius`): translucent corners where a compositing manager runs, else a mask that cuts them
// off, since without one transparent pixels come out black. Call once its size is set; the mask
// follows the window to a screen of another scale. GUI thread.
void roundWindowCorners(QWidget& window, platform::X11Connection& connection, double radius);

} // namespace tarnwick
