#pragma once

#include "series/Annotation.h"

#include <QImage>
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
// markers) at an image point. Keeps one render and makes it again only when the
// shot, its composition, annotations, visible frame or canvas changed, so a read
// under a moving pointer is a lookup. GUI thread (it renders).
class CursorColorSampler {
public:
    // `point` in image pixels. Nothing outside the visible frame (its right and
    // bottom edges are outside). Throws TarnwickError or the render's error.
    std::optional<SampledColor> sample(const Screenshot& shot, const QPointF& point);

    // How many renders the sampler has made (for tests and benchmarks).
    int renders() const { return renders_; }

private:
    std::optional<QUuid> shotID_;
    std::weak_ptr<ScreenshotComposition> composition_;
    std::optional<QVector<Annotation>> annotations_;
    std::optional<QRectF> frame_;
    std::optional<QRectF> canvas_;
    QImage pixels_;
    int renders_ = 0;
};

} // namespace tarnwick
