#include "editor/canvas/CanvasHitTest.h"

#include "render/ScreenshotRenderer.h"
#include "series/Geometry.h"
#include "series/Screenshot.h"

#include <cmath>
#include <limits>

namespace tarnwick::canvasHits {

namespace {

bool within(const QRectF& r, double grow, const QPointF& q) { return geo::contains(geo::insetBy(r, -grow, -grow), q); }

bool hits(const Annotation& a, const QPointF& q, double k, const QSizeF& pixelSize, const QRectF& visible)
{
    const double t = elementTolerance * k;
    const double w = Screenshot::effectiveStrokeWidth(a, pixelSize);
    switch (hitShape(a.kind)) {
    case HitShape::badge:
        return geo::distance(q, a.start) <= t + ScreenshotRenderer::badgeDiameter(visible.width()) / 2;
    case HitShape::labelledPath:
        if (geo::contains(a.rulerLabelRect(), q))
            return true;
        [[fallthrough]];
    case HitShape::path:
        return a.distance(q) < t + w / 2;
    case HitShape::lens:
        return lensPart(a, q, k).has_value();
    case HitShape::strokedBox:
        return within(a.rect(), t + w / 2, q);
    case HitShape::box:
        break;
    }
    return within(a.rect(), t, q);
}

} // namespace

std::optional<Annotation> hitTest(const QVector<Annotation>& list, const QPointF& q, double k, const QSizeF& pixelSize,
                                  const QRectF& visible)
{
    for (bool comments : {true, false})
        for (qsizetype i = list.size() - 1; i >= 0; --i) {
            const Annotation& a = list[i];
            if ((a.kind == AnnotationTool::comment) == comments && hits(a, q, k, pixelSize, visible))
                return a;
        }
    return std::nullopt;
}

std::optional<LensPart> lensPart(const Annotation& magnifier, const QPointF& q, double k)
{
    const double t = elementTolerance * k;
    const auto contains = [&](const QRectF& r) {
        const QRectF g = geo::insetBy(r, -t, -t);
        if (!(g.width() > 0 && g.height() > 0))
            return false;
        const double dx = (q.x() - g.center().x()) / (g.width() / 2);
        const double dy = (q.y() - g.center().y()) / (g.height() / 2);
        return dx * dx + dy * dy <= 1;
    };
    if (contains(magnifier.rect()))
        return LensPart::lens;
    if (magnifier.magnifierSource && contains(*magnifier.magnifierSource))
        return LensPart::source;
    return std::nullopt;
}

std::optional<AnnotationHandle> handleAt(const Annotation& element, const QPointF& q, double k)
{
    std::optional<AnnotationHandle> best;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (AnnotationHandle h : element.handles()) {
        const double d = geo::distance(element.position(h), q);
        if (d < bestDistance) {
            best = h;
            bestDistance = d;
        }
    }
    if (!best || bestDistance > handleReach * k)
        return std::nullopt;
    return best;
}

QPointF snapped(const QPointF& q, const QPointF& anchor)
{
    if (std::abs(q.y() - anchor.y()) <= std::abs(q.x() - anchor.x()))
        return QPointF(q.x(), anchor.y());
    return QPointF(anchor.x(), q.y());
}

} // namespace tarnwick::canvasHits
