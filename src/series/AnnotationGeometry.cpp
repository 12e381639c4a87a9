#include "series/Palette.h"
#include "series/CanvasLabel.h"
#include "series/Annotation.h"
#include "series/Geometry.h"
#include "series/TextBlock.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tarnwick {
namespace {

using T = AnnotationTool;
using H = AnnotationHandle;

constexpr int bentArrowSegments = 64;
constexpr double minimumShapeSide = 4;
constexpr double minimumLayerSide = 24;
constexpr double lensGap = 24;
constexpr double maximumLensZoom = 2.0;

bool isRectangleLike(T kind) { return kind == T::rectangle || kind == T::ellipse || kind == T::blur || kind == T::crop; }
bool isCorner(H h) { return h == H::topLeft || h == H::topRight || h == H::bottomLeft || h == H::bottomRight; }

H oppositeCorner(H h)
{
    switch (h) {
    case H::topLeft: return H::bottomRight;
    case H::bottomRight: return H::topLeft;
    case H::topRight: return H::bottomLeft;
    default: return H::topRight;
    }
}

QPointF quadraticPoint(const QPointF& a, const QPointF& c, const QPointF& b, double t)
{
    double u = 1 - t;
    return u * u * a + 2 * t * u * c + t * t * b;
}

double segmentDistance(const QPointF& p, const QPointF& a, const QPointF& b)
{
    QPointF d = b - a;
    double lengthSquared = d.x() * d.x() + d.y() * d.y();
    if (lengthSquared == 0)
        return geo::distance(p, a);
    double t = std::clamp(((p.x() - a.x()) * d.x() + (p.y() - a.y()) * d.y()) / lengthSquared, 0.0, 1.0);
    return geo::distance(p, a + t * d);
}

// One corner-cutting pass over an open or closed path.
QVector<QPointF> cutCorners(const QVector<QPointF>& path, bool closed)
{
    QVector<QPointF> out;
    const qsizetype n = path.size();
    const qsizetype segments = closed ? n : n - 1;
    out.reserve(2 * segments + 2);
    if (!closed)
        out.push_back(path.front());
    for (qsizetype i = 0; i < segments; ++i) {
        const QPointF& p = path[i];
        const QPointF& q = path[(i + 1) % n];
        out.push_back(0.75 * p + 0.25 * q);
        out.push_back(0.25 * p + 0.75 * q);
    }
    if (!closed)
        out.push_back(path.back());
    return out;
}

} // namespace

bool Annotation::isFinite() const
{
    if (!geo::isFinite(start) || !geo::isFinite(end) || !geo::isFinite(bendOffset))
        return false;
    if (!std::all_of(points.begin(), points.end(), [](const QPointF& p) { return geo::isFinite(p); }))
        return false;
    if (magnifierSource && !geo::isFinite(*magnifierSource))
        return false;
    if (imageCrop && !geo::isFinite(*imageCrop))
        return false;
    return geo::isFinite(fontSize) && geo::isFinite(textWidth) && geo::isFinite(strokeWidth)
        && geo::isFinite(imageCornerRadius) && geo::isFinite(pixelsPerPoint);
}

QRectF Annotation::rect() const
{
    if (!isFinite())
        return geo::nullRect();
    if (isFreehand(kind) && !points.isEmpty()) {
        auto [minX, maxX] = std::minmax_element(points.begin(), points.end(), [](auto& a, auto& b) { return a.x() < b.x(); });
        auto [minY, maxY] = std::minmax_element(points.begin(), points.end(), [](auto& a, auto& b) { return a.y() < b.y(); });
        return QRectF(minX->x(), minY->y(), maxX->x() - minX->x(), maxY->y() - minY->y());
    }
    if (kind == T::text) {
        TextBlock block(text, textAttributes().font, textWidth, fontSize);
        return QRectF(start, QSizeF(std::ceil(block.size().width()) + 1, std::ceil(block.size().height()) + 1));
    }
    return geo::rectFromPoints(start, end);
}

QVector<AnnotationHandle> Annotation::handles() const
{
    switch (kind) {
    case T::arrow: return {H::start, H::middle, H::end};
    case T::length: case T::ruler: return {H::start, H::end};
    case T::rectangle: case T::ellipse: case T::blur: case T::crop:
        return {H::topLeft, H::top, H::topRight, H::right, H::bottomRight, H::bottom, H::bottomLeft, H::left};
    case T::image: return {H::topLeft, H::topRight, H::bottomLeft, H::bottomRight};
    case T::magnifier:
        if (magnifierSource)
            return {H::topLeft, H::topRight, H::bottomLeft, H::bottomRight};
        return {};
    default: return {};
    }
}

QPointF Annotation::position(AnnotationHandle handle) const
{
    switch (handle) {
    case H::start: return start;
    case H::end: return end;
    case H::middle: return geo::midpoint(start, end) + QPointF(bendOffset.width(), bendOffset.height());
    default: break;
    }
    const QRectF r = rect();
    switch (handle) {
    case H::topLeft: return r.topLeft();
    case H::topRight: return QPointF(r.right(), r.top());
    case H::bottomLeft: return QPointF(r.left(), r.bottom());
    case H::bottomRight: return r.bottomRight();
    case H::top: return QPointF(r.center().x(), r.top());
    case H::bottom: return QPointF(r.center().x(), r.bottom());
    case H::left: return QPointF(r.left(), r.center().y());
    default: return QPointF(r.right(), r.center().y());
    }
}

QPointF Annotation::curveControlPoint() const
{
    return geo::midpoint(start, end) + 2.0 * QPointF(bendOffset.width(), bendOffset.height());
}

double Annotation::distance(const QPointF& point) const
{
    if (!geo::isFinite(point) || !isFinite())
        return std::numeric_limits<double>::infinity();
    QVector<QPointF> line;
    if (kind == T::arrow) {
        const bool straight = bendOffset.width() == 0 && bendOffset.height() == 0;
        const int n = straight ? 1 : bentArrowSegments;
        const QPointF c = curveControlPoint();
        for (int i = 0; i <= n; ++i)
            line.push_back(quadraticPoint(start, c, end, double(i) / n));
    } else if (isFreehand(kind) && !points.isEmpty()) {
        line = points;
    } else {
        line = {start, end};
    }
    if (line.size() == 1)
        return geo::distance(point, line.front());
    double best = std::numeric_limits<double>::infinity();
    for (qsizetype i = 0; i + 1 < line.size(); ++i)
        best = std::min(best, segmentDistance(point, line[i], line[i + 1]));
    return best;
}

QRectF Annotation::geometryBounds() const
{
    if (!isFinite())
        return geo::nullRect();
    switch (kind) {
    case T::arrow: {
        const QPointF c = curveControlPoint();
        double minX = std::min(start.x(), end.x()), maxX = std::max(start.x(), end.x());
        double minY = std::min(start.y(), end.y()), maxY = std::max(start.y(), end.y());
        auto extreme = [&](double s, double cc, double e) -> std::optional<double> {
            double d = s - 2 * cc + e;
            if (std::abs(d) <= 0.0001)
                return std::nullopt;
            double t = (s - cc) / d;
            if (t <= 0 || t >= 1)
                return std::nullopt;
            return t;
        };
        if (auto t = extreme(start.x(), c.x(), end.x())) {
            QPointF p = quadraticPoint(start, c, end, *t);
            minX = std::min(minX, p.x()), maxX = std::max(maxX, p.x());
            minY = std::min(minY, p.y()), maxY = std::max(maxY, p.y());
        }
        if (auto t = extreme(start.y(), c.y(), end.y())) {
            QPointF p = quadraticPoint(start, c, end, *t);
            minX = std::min(minX, p.x()), maxX = std::max(maxX, p.x());
            minY = std::min(minY, p.y()), maxY = std::max(maxY, p.y());
        }
        return QRectF(minX, minY, maxX - minX, maxY - minY);
    }
    case T::ruler: return geo::unite(rect(), rulerLabelRect());
    case T::magnifier: return magnifierSource ? geo::unite(rect(), *magnifierSource) : rect();
    default: return rect();
    }
}

Annotation Annotation::translated(const QSizeF& offset) const
{
    if (!geo::isFinite(offset))
        return *this;
    Annotation moved = *this;
    const QPointF d(offset.width(), offset.height());
    moved.start += d;
    moved.end += d;
    for (QPointF& p : moved.points)
        p += d;
    return moved;
}

Annotation Annotation::adjusting(AnnotationHandle handle, const QPointF& point, const std::optional<QRectF>& bounds) const
{
    if (!geo::isFinite(point) || (bounds && !geo::isFinite(*bounds)) || !isFinite())
        return *this;
    Annotation out = *this;
    if (kind == T::magnifier || kind == T::image) {
        if (!isCorner(handle))
            return *this;
        const QPointF anchor = position(oppositeCorner(handle));
        const QPointF current = position(handle);
        const double sx = current.x() >= anchor.x() ? 1 : -1;
        const double sy = current.y() >= anchor.y() ? 1 : -1;
        const QRectF r = rect();
        const double w = r.width(), h = r.height();
        if (w <= 0 || h <= 0)
            return *this;
        double scale = std::max((point.x() - anchor.x()) * sx / w, (point.y() - anchor.y()) * sy / h);
        scale = std::max(scale, minimumLayerSide / std::min(w, h));
        if (bounds) {
            const QRectF b = geo::standardized(*bounds);
            const double roomX = sx > 0 ? b.right() - anchor.x() : anchor.x() - b.left();
            const double roomY = sy > 0 ? b.bottom() - anchor.y() : anchor.y() - b.top();
            scale = std::min({scale, roomX / w, roomY / h});
        }
        if (scale <= 0)
            return *this;
        const QPointF corner(anchor.x() + scale * sx * w, anchor.y() + scale * sy * h);
        out.start = QPointF(std::min(anchor.x(), corner.x()), std::min(anchor.y(), corner.y()));
        out.end = QPointF(std::max(anchor.x(), corner.x()), std::max(anchor.y(), corner.y()));
        return out;
    }
    if (isRectangleLike(kind)) {
        QPointF p = point;
        if (bounds) {
            const QRectF b = geo::standardized(*bounds);
            p = QPointF(std::clamp(p.x(), b.left(), std::max(b.left(), b.right())),
                        std::clamp(p.y(), b.top(), std::max(b.top(), b.bottom())));
        }
        const QRectF r = rect();
        double minX = r.left(), minY = r.top(), maxX = r.right(), maxY = r.bottom();
        const bool left = handle == H::topLeft || handle == H::bottomLeft || handle == H::left;
        const bool right = handle == H::topRight || handle == H::bottomRight || handle == H::right;
        const bool top = handle == H::topLeft || handle == H::topRight || handle == H::top;
        const bool bottom = handle == H::bottomLeft || handle == H::bottomRight || handle == H::bottom;
        if (!left && !right && !top && !bottom)
            return *this;
        if (left) minX = std::min(p.x(), maxX - minimumShapeSide);
        if (right) maxX = std::max(p.x(), minX + minimumShapeSide);
        if (top) minY = std::min(p.y(), maxY - minimumShapeSide);
        if (bottom) maxY = std::max(p.y(), minY + minimumShapeSide);
        out.start = QPointF(minX, minY);
        out.end = QPointF(maxX, maxY);
        return out;
    }
    switch (handle) {
    case H::start: out.start = point; break;
    case H::end: out.end = point; break;
    case H::middle: {
        const QPointF d = point - geo::midpoint(start, end);
        out.bendOffset = QSizeF(d.x(), d.y());
        break;
    }
    default: return *this;
    }
    return out;
}

Annotation Annotation::placedMagnifier(const QRectF& bounds) const
{
    if (!geo::isFinite(bounds) || !isFinite())
        return *this;
    const QRectF b = geo::standardized(bounds);
    const QRectF source = geo::intersection(rect(), b);
    if (geo::isNull(source) || source.width() < 4 || source.height() < 4)
        return *this;
    Annotation out = *this;
    out.magnifierSource = source;
    const double zoom = std::min({b.width() / source.width(), b.height() / source.height(), maximumLensZoom});
    const double w = source.width() * zoom, h = source.height() * zoom;
    double x = source.center().x() <= b.center().x() ? source.right() + lensGap : source.left() - w - lensGap;
    x = std::min(std::max(x, b.left()), b.right() - w);
    double y = source.center().y() - h / 2;
    y = std::min(std::max(y, b.top()), b.bottom() - h);
    out.start = QPointF(x, y);
    out.end = QPointF(x + w, y + h);
    return out;
}

Annotation Annotation::scaledMagnifier(double factor, const QRectF& bounds) const
{
    if (kind != T::magnifier || !magnifierSource || !std::isfinite(factor) || !geo::isFinite(bounds) || !isFinite())
        return *this;
    const QRectF source = geo::standardized(*magnifierSource);
    if (source.width() <= 0 || source.height() <= 0)
        return *this;
    const QRectF b = geo::standardized(bounds);
    const QRectF lens = rect();
    double zoom = factor * (lens.width() / std::max(source.width(), 1.0));
    zoom = std::max(zoom, minimumLayerSide / std::min(source.width(), source.height()));
    zoom = std::min(zoom, std::min(b.width() / source.width(), b.height() / source.height()));
    const double w = source.width() * zoom, h = source.height() * zoom;
    const double x = std::min(std::max(lens.center().x() - w / 2, b.left()), b.right() - w);
    const double y = std::min(std::max(lens.center().y() - h / 2, b.top()), b.bottom() - h);
    Annotation out = *this;
    out.start = QPointF(x, y);
    out.end = QPointF(x + w, y + h);
    return out;
}

Annotation Annotation::smoothedPencil() const
{
    if (kind != T::pencil || points.size() < 3)
        return *this;
    QVector<QPointF> path = points;
    const bool closed = path.size() > 3 && geo::same(path.front(), path.back());
    if (closed)
        path.pop_back();
    path = cutCorners(cutCorners(path, closed), closed);
    if (closed)
        path.push_back(path.front());
    Annotation out = *this;
    out.points = path;
    out.start = path.front();
    out.end = path.back();
    return out;
}

double Annotation::rulerDistance() const
{
    const double d = geo::distance(start, end);
    return rulerUnit == RulerUnit::pt ? d / std::max(pixelsPerPoint, 0.001) : d;
}

QString Annotation::rulerLabel() const
{
    const double v = std::round(rulerDistance() * 10) / 10;
    const bool whole = v == std::floor(v);
    // QString::number ignores the process locale: always a decimal point.
    const QString number = QString::number(v, 'f', whole ? 0 : 1);
    return number + u' ' + rawString(rulerUnit);
}

QRectF Annotation::rulerLabelRect() const
{
    const QSizeF size = CanvasLabel::size(rulerLabel(), 16, true);
    const double w = std::ceil(size.width()) + 16, h = std::ceil(size.height()) + 10;
    const QPointF m = geo::midpoint(start, end) + QPointF(bendOffset.width(), bendOffset.height());
    const bool steep = std::abs(end.x() - start.x()) < std::abs(end.y() - start.y());
    if (steep)
        return QRectF(m.x() + 12, m.y() - h / 2, w, h);
    return QRectF(m.x() - w / 2, m.y() - 12 - h, w, h);
}

QColor Annotation::color() const
{
    if (customColor)
        return QColor(customColor->red, customColor->green, customColor->blue, customColor->alpha);
    return Theme::paletteColor(colorIndex);
}

TextAttributes Annotation::textAttributes() const
{
    TextAttributes attributes;
    attributes.font = textStyle.font(fontSize);
    attributes.color = color();
    attributes.syntheticBold = textStyle.bold && !attributes.font.bold();
    attributes.obliqueness = textStyle.italic && !attributes.font.italic() ? 0.2 : 0;
    attributes.strikethrough = textStyle.strikethrough;
    return attributes;
}

} // namespace tarnwick
