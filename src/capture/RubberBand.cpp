#include "capture/RubberBand.h"

#include <algorithm>
#include <cmath>

namespace tarnwick::capture {

void RubberBand::press(QPointF point)
{
    anchor_ = point;
    selection_ = {};
}

bool RubberBand::drag(QPointF point)
{
    if (!anchor_)
        return false;
    const QRectF spanned(QPointF(std::min(point.x(), anchor_->x()), std::min(point.y(), anchor_->y())),
                         QSizeF(std::abs(point.x() - anchor_->x()), std::abs(point.y() - anchor_->y())));
    const QRectF clipped = spanned.intersected(bounds_);
    const bool changed = clipped != selection_;
    selection_ = clipped;
    return changed;
}

std::optional<QRectF> RubberBand::release(QPointF point)
{
    if (!anchor_)
        return std::nullopt;
    drag(point);
    anchor_.reset();
    if (selection_.width() >= minimum_.width() && selection_.height() >= minimum_.height()
        && !selection_.isEmpty())
        return selection_;
    selection_ = {};
    return std::nullopt;
}

} // namespace tarnwick::capture
