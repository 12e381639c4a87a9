#pragma once

#include "platform/X11Connection.h"

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <optional>

class QWidget;

namespace tarnwick {
class PointSizeKeeper;
}

namespace tarnwick::recording {

// Keeps a top-level window with a window-manager frame, the frame included,
// inside its screen's available area. Before the window manager has framed the
// window, Qt's idea of the frame is a guess (or left from an earlier framing), so
// sizes come from the frame widths the window manager publishes, and once the
// window shows, place and size are corrected from where the server says the
// frame is. Moved to a monitor of another scale, the window grows back to its size in points
// there. Owned by the window; GUI thread.
class FramedPlacement {
public:
    explicit FramedPlacement(QWidget& window);
    ~FramedPlacement();
    FramedPlacement(const FramedPlacement&) = delete;
    FramedPlacement& operator=(const FramedPlacement&) = delete;

    // Resizes the window towards `wanted` (its own area, without the frame) as far
    // as the available area less the frame allows, never below its minimum size; the
    // frame stays where it was last seen, moved into the area as far as needed.
    void grow(QSize wanted);
    // Moves the shown, framed window back into the area, giving up size where the
    // frame turned out larger than guessed. Nothing while it is hidden or not yet framed.
    void keepInside();
    // How large the window's own area may be on the monitor it is on: the usable area less the frame.
    QSize room();

private:
    // The window and its frame as the screen shows them, in global coordinates.
    struct Shown {
        QRect frame, client;
    };
    // What the window manager adds around the window, or a guess before it has said.
    QMargins decoration();
    std::optional<Shown> shown();
    void place(const QRect& client);

    QWidget& window_;
    const bool onX11_;
    platform::X11Connection connection_;
    std::optional<QPoint> frameOrigin_; // where the frame was last seen
    PointSizeKeeper* keeper_;
};

} // namespace tarnwick::recording
