#pragma once

#include "series/Annotation.h"

#include <QPoint>
#include <QPointF>
#include <QRectF>
#include <QUuid>
#include <QVector>
#include <memory>
#include <optional>

namespace tarnwick {

class Screenshot;
class ScreenshotComposition;

// Reads the colour of a shot's finished picture (annotations and effects, no
// markers) at an image point by drawing just that pixel as the output would.
// Keeps the last pixel and draws again only when the pixel, the shot, its
// composition, the elements that show or the canvas changed: a crop that hides
// no element costs nothing. GUI thread (it draws, and may compute a blur under
// the point).
class CursorColorSampler {
public:
    // `point` in image pixels. Nothing outside the visible frame (its right and
    // bottom edges are outside). Throws TarnwickError or the render's error.
    std::optional<SampledColor> sample(const Screenshot& shot, const QPointF& point);

    // How many pixels the sampler has drawn (for tests and benchmarks).
    int renders() const { return renders_; }

private:
    std::optional<QUuid> shotID_;
    std::weak_ptr<ScreenshotComposition> composition_;
    std::optional<QVector<Annotation>> annotations_;
    QRectF canvas_;
    QPoint pixel_;
    std::optional<SampledColor> color_;
    int renders_ = 0;
};

} // namespace tarnwick
