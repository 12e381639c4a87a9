#include "platform/PlacementRules.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tarnwick::platform {
namespace {

// X11 keeps window positions in 16 bits: anything farther out is junk, and clamping it first
// keeps the distances finite.
constexpr double coordinateLimit = 32767;

double bounded(double value) { return std::isnan(value) ? 0 : std::clamp(value, -coordinateLimit, coordinateLimit); }

int distance(const QPoint& a, const QPoint& b) { return std::abs(a.x() - b.x()) + std::abs(a.y() - b.y()); }

} // namespace

QRect movedInside(const QRect& frame, const QRect& area)
{
    QRect moved = frame;
    moved.moveTo(std::max(area.left(), std::min(frame.left(), area.right() + 1 - frame.width())),
                 std::max(area.top(), std::min(frame.top(), area.bottom() + 1 - frame.height())));
    return moved;
}

QPointF nearestInside(QPointF corner, QSizeF size, const QList<QRectF>& areas)
{
    corner = QPointF(bounded(corner.x()), bounded(corner.y()));
    QPointF best = corner;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (const QRectF& area : areas) {
        const double x = std::min(std::max(corner.x(), area.left()), std::max(area.left(), area.right() - size.width()));
        const double y = std::min(std::max(corner.y(), area.top()), std::max(area.top(), area.bottom() - size.height()));
        const double d = std::hypot(x - corner.x(), y - corner.y());
        // Only a strictly nearer candidate replaces the best, so the earlier area wins a tie.
        if (d < bestDistance) {
            bestDistance = d;
            best = QPointF(x, y);
        }
    }
    return best;
}

QSize fittedSize(QSize wanted, QSize least, QSize room)
{
    return wanted.expandedTo(least).boundedTo(room).expandedTo(QSize(1, 1));
}

QRect centredIn(const QRect& area, QSize frame)
{
    QRect placed(QPoint(), frame);
    placed.moveCenter(area.center());
    return placed;
}

QRect insideTopRight(const QRect& parent, QSize frame, QPoint inset)
{
    return QRect(QPoint(parent.right() + 1 - inset.x() - frame.width(), parent.top() + inset.y()), frame);
}

QRect inBottomRight(const QRect& area, QSize frame, int inset)
{
    return QRect(QPoint(area.right() + 1 - inset - frame.width(), area.bottom() + 1 - inset - frame.height()), frame);
}

std::optional<QRect> clearOf(const QRect& frame, const QRect& keepOut, const QRect& area, int gap)
{
    if (!frame.intersects(keepOut))
        return frame;
    const int w = frame.width(), h = frame.height();
    const QPoint tries[] = {{frame.left(), keepOut.bottom() + 1 + gap}, {frame.left(), keepOut.top() - gap - h},
                            {keepOut.right() + 1 + gap, frame.top()}, {keepOut.left() - gap - w, frame.top()}};
    std::optional<QRect> best;
    for (int i = 0; i < 4; ++i) {
        const bool vertical = i < 2;
        QRect candidate = movedInside(QRect(tries[i], frame.size()), area);
        // Moved along the other side only: pushed back over the area, it is no place.
        if (vertical ? candidate.top() != tries[i].y() : candidate.left() != tries[i].x())
            continue;
        if (candidate.intersects(keepOut) || !area.contains(candidate))
            continue;
        if (!best || distance(candidate.topLeft(), frame.topLeft()) < distance(best->topLeft(), frame.topLeft()))
            best = candidate;
    }
    return best;
}

} // namespace tarnwick::platform
