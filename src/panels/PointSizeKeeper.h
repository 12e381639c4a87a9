#pragma once

#include <QObject>
#include <QSize>
#include <functional>

class QWidget;

namespace tarnwick {

// Keeps a top-level window's size in points when it comes to a monitor of another scale, moved by
// its own drag or by the window manager. Qt 6.4 on X11 keeps a window's size in pixels unless Qt
// moved it itself, so a window dragged by its title bar onto a 2× monitor would show at half its
// size, below its minimum, and one dragged back would keep the doubled pixels. Once Qt has taken
// in the new screen, the window is given again the size in points it had before the move, or the
// size the program last asked of it when a smaller monitor took some of that; the refit decides
// how far the new monitor has room for it. A child of the window; GUI thread.
class PointSizeKeeper : public QObject {
public:
    using Refit = std::function<void(QSize points)>;

    // Without a `refit`, fitIntoScreen().
    explicit PointSizeKeeper(QWidget& window, Refit refit = {});

    // The size the program asks of the window now, given back to it on a monitor with room for it.
    void ask(QSize points) { asked_ = points; }

    // `window` resized to `points` as far as its screen's usable area (less its frame, as Qt knows
    // it) allows, never below its minimum, and moved into that area. Nothing when it has that size.
    static void fitIntoScreen(QWidget& window, QSize points);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& window_;
    Refit refit_;
    double ratio_ = 0;  // the scale the window's size was last seen at
    QSize points_;      // its size then
    QSize asked_;       // what the program or the last refit asked of it
    int refitting_ = 0; // refits asked and not yet run
};

} // namespace tarnwick
