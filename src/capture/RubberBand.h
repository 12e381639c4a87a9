#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <optional>

namespace tarnwick::capture {

// The drag of a rubber-band selection on one screen, without events: points
// and the result are in that screen's own coordinates, and the selection
// never leaves `bounds`, so one selection never spans two screens.
class RubberBand {
public:
    RubberBand(QRectF bounds, QSizeF minimum) : bounds_(bounds), minimum_(minimum) {}

    void press(QPointF point);
    // Returns whether the selection changed; ignored without a press.
    bool drag(QPointF point);
    // Ends the press. The selection when it is at least `minimum` on both
    // sides (inclusive); otherwise nothing, and the band is cleared for
    // another drag.
    std::optional<QRectF> release(QPointF point);

    bool isPressed() const { return anchor_.has_value(); }
    // Empty when there is none.
    QRectF selection() const { return selection_; }

private:
    QRectF bounds_;
    QSizeF minimum_;
    std::optional<QPointF> anchor_;
    QRectF selection_;
};

} // namespace tarnwick::capture
