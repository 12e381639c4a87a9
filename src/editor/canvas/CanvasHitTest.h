#pragma once

#include "series/Annotation.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QVector>
#include <optional>

namespace tarnwick {

// The two parts of a magnifier; where they overlap the lens wins.
enum class LensPart { source, lens };

// What lies under the pointer, in image pixels. Tolerances are given in view
// points and turned into pixels by `k`, the pixels per view point of the
// current mapping. Pure.
namespace canvasHits {

constexpr double elementTolerance = 9; // view points
constexpr double handleReach = 10;     // view points

// The element under `q`: comments first, then the rest, topmost first in each group.
// `visible` is the visible area, whose width sizes the comment markers.
std::optional<Annotation> hitTest(const QVector<Annotation>& list, const QPointF& q, double k, const QSizeF& pixelSize,
                                  const QRectF& visible);
std::optional<LensPart> lensPart(const Annotation& magnifier, const QPointF& q, double k);
// The handle nearest to `q` within reach; the earlier one in handles() on a tie.
std::optional<AnnotationHandle> handleAt(const Annotation& element, const QPointF& q, double k);
// `q` moved onto the horizontal or vertical line through `anchor`, whichever is nearer.
QPointF snapped(const QPointF& q, const QPointF& anchor);

} // namespace canvasHits
} // namespace tarnwick
