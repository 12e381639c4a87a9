#pragma once

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>

namespace tarnwick {

// The always-on-top companion window that shows the series.
class FloatingPanel {
public:
    // Where a window of `size` whose top-left corner should go to `origin` is kept on a visible
    // screen: for each frame (global coordinates, y down, in screen order) the origin is clamped
    // into it, and the candidate nearest to `origin` wins (the earlier frame on a tie). A window
    // wider or taller than a frame gets that frame's left or top edge. Without frames the origin
    // comes back unchanged. Pure; the recording and scrolling-capture windows place themselves
    // with it too.
    static QPointF constrainedOrigin(QPointF origin, QSizeF size, const QList<QRectF>& visibleFrames);
};

} // namespace tarnwick
