#pragma once

#include "platform/X11Connection.h"

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <functional>
#include <memory>
#include <optional>

class QScreen;
class QWidget;

namespace tarnwick {
class PointSizeKeeper;
}

namespace tarnwick::platform {
class WorkAreaWatch;
}

namespace tarnwick::recording {

// Keeps a top-level window with a window-manager frame, the frame included,
// inside its screen's available area. Before the window manager has framed the
// window, Qt's idea of the frame is a guess (or left from an earlier framing), so
// sizes come from the frame widths the window manager publishes, and once the
// window shows, place and size are corrected from where the server says the
// frame is. Moved to a monitor of another scale, the window grows back to its size in points
// there. The frame's widths and the work area may come long after the window shows (a window
// manager or a taskbar that starts late, a busy one): the window is fitted again then. Owned by
// the window; GUI thread.
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
    // Before the window maps: no larger than the area of its screen less the frame, and inside
    // that area, by Qt's own idea of its place. A window manager places a window that would not
    // fit where it likes, maybe on another monitor.
    void fitBeforeShowing();
    // How large the window's own area may be on the monitor it is on: the usable area less the frame.
    QSize room();

    // Called when room() may have changed since it was last asked (the window manager told the
    // frame's widths, or the work area changed), before the window is kept inside the area again:
    // limits measured by the room are measured anew.
    std::function<void()> onRoomChanged;

private:
    // The window and its frame as `screen`, the one showing most of them, shows them: in Qt's
    // global coordinates, in that screen's scale.
    struct Shown {
        QRect frame, client;
        const QScreen* screen;
        std::optional<QRect> pixels; // the window's own area in root pixels, where the server says
    };
    // What the window manager adds around the window on `screen`, or a guess before it has said.
    QMargins decoration(const QScreen* screen);
    std::optional<Shown> shown();
    // The frame's corner at `corner` and the window's own area `size` large, in the scale of
    // `screen`; `frame` in points, a guess until the window manager says. Nothing when the server
    // shows the window there already (`now`, where it shows now).
    void place(QPoint corner, const QMargins& frame, QSize size, const QScreen* screen, const Shown* now = nullptr);
    // The frame's widths in pixels as the window manager tells them now, when it has.
    std::optional<QMargins> extents();

    QWidget& window_;
    const bool onX11_;
    platform::X11Connection connection_;
    std::optional<QPoint> frameOrigin_; // where the frame was last seen
    std::optional<QSize> unframedWish_; // the size asked before the frame was known
    std::optional<QMargins> measuredExtents_; // the frame's widths room() last measured with
    struct Asked {
        QSize pixels, points;
    };
    std::optional<Asked> asked_; // the size last asked of the window manager, until it shows
    PointSizeKeeper* keeper_;
    std::unique_ptr<platform::WorkAreaWatch> workArea_;
};

} // namespace tarnwick::recording
