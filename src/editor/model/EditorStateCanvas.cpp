#include "editor/model/EditorState.h"

#include "series/Geometry.h"

#include <algorithm>

namespace tarnwick {
namespace {

constexpr int maximumPasses = 8;

// How far an element's drawing reaches beyond its geometry, for a stroke `s`.
double margin(const Annotation& a, double s)
{
    switch (strokeReach(a.kind)) {
    case StrokeReach::stroke: return s / 2 + 1;
    case StrokeReach::arrowHead: return std::max({s / 2 + 1, 4.5 * s, 14.0});
    case StrokeReach::lineEnds: return std::max({s / 2 + 1, 3 * s, 10.0});
    case StrokeReach::textOutline: return a.textOutline ? 3 : 0;
    case StrokeReach::none: return 0;
    }
    return 0;
}

// The list with `r` standing in for its namesake, or added when it has none.
QVector<Annotation> withReplacement(const QVector<Annotation>& list, const std::optional<Annotation>& r)
{
    if (!r)
        return list;
    QVector<Annotation> out = list;
    bool found = false;
    for (Annotation& a : out)
        if (a.id == r->id) {
            a = *r;
            found = true;
        }
    if (!found)
        out.push_back(*r);
    return out;
}

} // namespace

QRectF EditorState::canvasBounds(const Annotation& a, const std::optional<QSizeF>& markerSize, bool includeLensSource) const
{
    if (hitShape(a.kind) == HitShape::badge) {
        const double width = markerSize ? markerSize->width() : visibleArea().width();
        const double diameter = std::min(std::max(width / 36, 44.0), 96.0);
        const double half = std::clamp(diameter / 2 + 2, 24.0, 50.0);
        return QRectF(a.start.x() - half, a.start.y() - half, 2 * half, 2 * half);
    }
    const QRectF base = hitShape(a.kind) == HitShape::lens && !includeLensSource ? a.rect() : a.geometryBounds();
    if (geo::isNull(base))
        return base;
    const double m = margin(a, Screenshot::effectiveStrokeWidth(a, shot_.pixelSize));
    return geo::integral(base.adjusted(-m, -m, m, m));
}

QRectF EditorState::canvasFrame(const std::optional<Annotation>& replacing) const
{
    const QVector<Annotation> list = withReplacement(annotations_, replacing);
    const QRectF image(QPointF(0, 0), shot_.pixelSize);
    QRectF previous = image, frame = image;
    for (int pass = 0; pass < maximumPasses; ++pass) {
        frame = image;
        for (const Annotation& e : list)
            if (e.canvasTracked || (replacing && e.id == replacing->id))
                frame = geo::unite(frame, canvasBounds(e, previous.size(), true));
        frame = geo::integral(frame);
        if (geo::same(frame, previous))
            break;
        previous = frame;
    }
    return frame;
}

QRectF EditorState::viewportFrame(const std::optional<Annotation>& replacing) const
{
    const std::optional<QRectF> basis = cropBasisRect_ ? cropBasisRect_ : cropRect_;
    if (!basis)
        return canvasFrame(replacing);
    const QVector<Annotation> list = withReplacement(annotations_, replacing);
    const QRectF shown = cropRect_.value_or(*basis);
    QVector<QUuid> visible;
    for (const Annotation& a : annotations_) {
        const HitShape extent = hitShape(a.kind);
        const bool seen = extent == HitShape::badge  ? geo::contains(shown, a.start)
                          : extent == HitShape::lens ? geo::intersects(a.rect(), shown)
                                                     : geo::intersects(a.geometryBounds(), shown);
        if (seen)
            visible.push_back(a.id);
    }
    QRectF previous = *basis, frame = *basis;
    for (int pass = 0; pass < maximumPasses; ++pass) {
        frame = *basis;
        for (const Annotation& e : list) {
            const bool counts = (replacing && e.id == replacing->id) || (e.canvasTracked && visible.contains(e.id));
            if (counts)
                frame = geo::unite(frame, canvasBounds(e, previous.size(), false));
        }
        frame = geo::integral(frame);
        if (geo::same(frame, previous))
            break;
        previous = frame;
    }
    return frame;
}

void EditorState::reflowCanvas(const std::optional<QUuid>& id)
{
    std::optional<Annotation> element;
    if (const qsizetype i = id ? indexOf(*id) : -1; i >= 0)
        element = annotations_[i];
    const QRectF viewport = viewportFrame(element);
    assign(canvasRect_, canvasFrame(std::nullopt));
    if (!cropRect_)
        return;
    setCropRect(geo::intersection(viewport, canvasRect_));
}

} // namespace tarnwick
