#include "panels/FloatingPanel.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tarnwick {

QPointF FloatingPanel::constrainedOrigin(QPointF origin, QSizeF size, const QList<QRectF>& visibleFrames)
{
    QPointF best = origin;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (const QRectF& frame : visibleFrames) {
        const double x = std::min(std::max(origin.x(), frame.left()),
                                  std::max(frame.left(), frame.right() - size.width()));
        const double y = std::min(std::max(origin.y(), frame.top()),
                                  std::max(frame.top(), frame.bottom() - size.height()));
        const double distance = std::hypot(x - origin.x(), y - origin.y());
        // Only a strictly nearer candidate replaces the best, so the earlier screen wins a tie.
        if (distance < bestDistance) {
            bestDistance = distance;
            best = QPointF(x, y);
        }
    }
    return best;
}

} // namespace tarnwick
