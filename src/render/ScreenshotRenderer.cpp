// The one drawing routine: a picture and its annotations, for the canvas, output
// images and the underlays of layered effects.

#include "render/ScreenshotRenderer.h"

#include "series/Palette.h"
#include "render/DrawingSupport.h"
#include "series/Geometry.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <exception>
#include <numbers>
#include <vector>

namespace tarnwick {

namespace {

using T = AnnotationTool;

// What a pass drew that may change by itself later.
struct Outcome {
    bool pendingBlur = false; // a blur drew its placeholder only because its result is not ready yet
};

// Magnifier samples: the cache kept across draws, and every sample made during this
// draw. The cache is small and never keeps a sample over a pending blur, so without
// the per-draw list a sample missing there would be drawn again inside every
// magnifier above it, doubling the work with each one.
struct Samples {
    struct Made {
        QVector<Annotation> prefix;
        QImage image;
        bool pendingBlur = false;
    };
    LayerSampleCache& cache;
    std::vector<Made> made;
    // The pixels of the image frame that this draw's magnifiers sample, found on the
    // first magnifier; every sample of the draw covers just these.
    std::optional<QRect> area;

    const Made* find(const QVector<Annotation>& prefix) const
    {
        for (const Made& m : made)
            if (m.prefix == prefix)
                return &m;
        return nullptr;
    }

    // The longest sample made of a shorter start of `prefix`: drawing the rest of the
    // elements over a copy of it gives the same picture as drawing them all.
    const Made* start(const QVector<Annotation>& prefix) const
    {
        const Made* best = nullptr;
        for (const Made& m : made)
            if (m.prefix.size() < prefix.size() && (!best || m.prefix.size() > best->prefix.size())
                && std::equal(m.prefix.begin(), m.prefix.end(), prefix.begin()))
                best = &m;
        return best;
    }
};

// The pixel grid of a sample of the whole image frame; empty beyond what a QImage can address.
QSize sampleGrid(const QRectF& imageFrame)
{
    const double w = std::trunc(imageFrame.width()), h = std::trunc(imageFrame.height());
    if (!(w > 0 && h > 0) || w * h > 1.0e9)
        return {};
    return {static_cast<int>(w), static_cast<int>(h)};
}

// Finite coordinates can still overflow once subtracted or doubled; no picture reaches
// anywhere near this far, so such elements are left out like non-finite ones.
bool drawable(const Annotation& a)
{
    if (!a.isFinite())
        return false;
    constexpr double limit = 1e100;
    auto inRange = [](const QPointF& p) { return std::abs(p.x()) <= limit && std::abs(p.y()) <= limit; };
    if (!inRange(a.start) || !inRange(a.end) || !inRange(QPointF(a.bendOffset.width(), a.bendOffset.height())))
        return false;
    if (!std::all_of(a.points.begin(), a.points.end(), inRange))
        return false;
    if (a.magnifierSource && (!inRange(a.magnifierSource->topLeft()) || !inRange(a.magnifierSource->bottomRight())))
        return false;
    return a.strokeWidth <= limit && a.fontSize <= limit;
}

QRectF finiteOr(const std::optional<QRectF>& rect, const QRectF& fallback)
{
    if (rect && geo::isFinite(*rect))
        return *rect;
    return fallback;
}

QColor sampledColor(const SampledColor& c) { return QColor(c.red, c.green, c.blue, c.alpha); }

QColor badgeColor(const Annotation& comment)
{
    if (comment.customColor)
        return sampledColor(*comment.customColor);
    if (comment.markerColorIndex)
        return Theme::paletteColor(*comment.markerColorIndex);
    return Theme::marker();
}

QPen strokePen(const QColor& color, double width)
{
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// Where the ray from the rect's centre along sign × direction meets the inscribed ellipse.
QPointF ellipseEdge(const QRectF& rect, double sign, const QPointF& direction)
{
    const double k = std::hypot(direction.x() / (rect.width() / 2), direction.y() / (rect.height() / 2));
    if (!(k > 0.001))
        return rect.center();
    return rect.center() + sign * direction / k;
}

void drawArrow(QPainter& painter, const Annotation& a, const QPen& pen, double w)
{
    const QPointF q = a.curveControlPoint();
    QPainterPath path(a.start);
    path.cubicTo(a.start + 2.0 / 3.0 * (q - a.start), a.end + 2.0 / 3.0 * (q - a.end), a.end);
    painter.strokePath(path, pen);

    const QPointF from = std::hypot(a.end.x() - q.x(), a.end.y() - q.y()) <= 0.001 ? a.start : q;
    const double theta = std::atan2(a.end.y() - from.y(), a.end.x() - from.x());
    const double length = std::max(w * 4.5, 14.0);
    const double wing = std::numbers::pi / 6;
    QPainterPath head(a.end - length * QPointF(std::cos(theta - wing), std::sin(theta - wing)));
    head.lineTo(a.end);
    head.lineTo(a.end - length * QPointF(std::cos(theta + wing), std::sin(theta + wing)));
    painter.strokePath(head, pen);
}

void drawMeasure(QPainter& painter, const Annotation& a, const QPen& pen, double w)
{
    const double theta = std::atan2(a.end.y() - a.start.y(), a.end.x() - a.start.x());
    const double t = std::max(w * 3, 10.0);
    const QPointF across(t * std::sin(theta), -t * std::cos(theta));
    QPainterPath path(a.start);
    path.lineTo(a.end);
    for (const QPointF& p : {a.start, a.end}) {
        path.moveTo(p + across);
        path.lineTo(p - across);
    }
    painter.strokePath(path, pen);
}

void drawRulerLabel(QPainter& painter, const Annotation& a, const QColor& color)
{
    const QRectF pill = a.rulerLabelRect();
    if (!geo::isFinite(pill))
        return;
    QPainterPath shape;
    shape.addRoundedRect(pill, 4, 4);
    painter.fillPath(shape, color);
    const QColor text = drawing::luminance(color) < 0.5 ? QColor(Qt::white) : QColor(Qt::black);
    drawing::drawLabelLine(painter, a.rulerLabel(), 16, true, geo::insetBy(pill, 8, 5), text);
}

void drawPencil(QPainter& painter, const Annotation& a, const QPen& pen, double w)
{
    const QVector<QPointF> points = a.points.isEmpty() ? QVector<QPointF>{a.start, a.end} : a.points;
    if (points.size() == 1) {
        painter.save();
        painter.setPen(Qt::NoPen);
        painter.setBrush(pen.color());
        painter.drawEllipse(points[0], w / 2, w / 2);
        painter.restore();
        return;
    }
    QPainterPath path(points[0]);
    for (qsizetype i = 1; i < points.size(); ++i)
        path.lineTo(points[i]);
    painter.strokePath(path, pen);
}

void drawPlaceholder(QPainter& painter, const QRectF& r)
{
    painter.save();
    painter.setBrush(Qt::NoBrush);
    painter.setPen(drawing::dashedPen(Theme::accent(), 2, {6, 4}));
    painter.drawRect(r);
    painter.restore();
}

void drawBlur(QPainter& painter, const Annotation& a, const QRectF& imageFrame, const ScreenshotRenderer::DrawArguments& args,
              Outcome& outcome)
{
    const QRectF r = geo::intersection(a.rect(), imageFrame);
    if (geo::isEmpty(r))
        return;
    if (args.effects) {
        const std::optional<EffectResult> result = args.effects->cached(a);
        if (result && result->ok() && !result->value().image.isNull() && geo::isFinite(result->value().rect)) {
            painter.save();
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            painter.drawImage(result->value().rect, result->value().image);
            painter.restore();
            return;
        }
        if (!result)
            outcome.pendingBlur = true;
        drawPlaceholder(painter, r);
        return;
    }
    if (a.blurMode == BlurMode::area && args.blurred && !args.blurred->isNull()) {
        painter.save();
        painter.setClipRect(r, Qt::IntersectClip);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(imageFrame, *args.blurred);
        painter.restore();
        return;
    }
    drawPlaceholder(painter, r);
}

// Draws the background and the elements from `from` on; from 1 on, the painter already
// shows the background and the elements before.
void drawPass(QPainter& painter, const ScreenshotRenderer::DrawArguments& args, Samples& samples, Outcome& outcome,
              qsizetype from = 0);

// The picture of the elements below a magnifier over `area` of the image frame's grid.
QImage renderSample(const ScreenshotRenderer::DrawArguments& args, const QVector<Annotation>& below,
                    const QRectF& imageFrame, const QRect& area, Samples& samples, Outcome& outcome)
{
    if (area.isEmpty())
        return {};
    const Samples::Made* base = samples.start(below);
    QImage sample;
    if (base) {
        sample = base->image.copy();
    } else {
        sample = QImage(area.size(), QImage::Format_ARGB32_Premultiplied);
        sample.fill(Qt::transparent);
    }
    if (sample.isNull())
        return {};
    ScreenshotRenderer::DrawArguments belowArgs;
    belowArgs.image = args.image;
    belowArgs.size = args.size;
    belowArgs.annotations = below;
    belowArgs.effects = args.effects;
    belowArgs.imageFrame = imageFrame;
    Outcome inner;
    inner.pendingBlur = base && base->pendingBlur;
    {
        QPainter p(&sample);
        p.translate(-QPointF(area.topLeft()) - imageFrame.topLeft());
        drawPass(p, belowArgs, samples, inner, base ? base->prefix.size() : 0);
    }
    // A sample that shows a pending blur would go stale when the result arrives.
    if (inner.pendingBlur)
        outcome.pendingBlur = true;
    else
        samples.cache.insert(below, area, sample);
    samples.made.push_back({below, sample, inner.pendingBlur});
    return sample;
}

// The part of the grid that the magnifiers in `list` sample, with a pixel to spare
// on each side for the smooth scaling into the lens.
QRect sampledArea(const QVector<Annotation>& list, const QRectF& imageFrame, const QSize& grid)
{
    QRectF united;
    for (const Annotation& a : list) {
        if (a.kind != T::magnifier || !a.magnifierSource || !drawable(a))
            continue;
        const QRectF visible = geo::intersection(*a.magnifierSource, imageFrame);
        if (!geo::isEmpty(visible))
            united = united.isEmpty() ? visible : united.united(visible);
    }
    if (united.isEmpty() || grid.isEmpty())
        return {};
    const double kx = grid.width() / imageFrame.width(), ky = grid.height() / imageFrame.height();
    const QRectF pixels((united.left() - imageFrame.left()) * kx, (united.top() - imageFrame.top()) * ky,
                        united.width() * kx, united.height() * ky);
    return pixels.toAlignedRect().adjusted(-1, -1, 1, 1).intersected(QRect(QPoint(), grid));
}

void drawMagnifier(QPainter& painter, const Annotation& a, qsizetype index, const QPen& pen,
                   const QRectF& imageFrame, const ScreenshotRenderer::DrawArguments& args, Samples& samples,
                   Outcome& outcome)
{
    const QRectF lens = a.rect();
    if (!(lens.width() > 0 && lens.height() > 0))
        return;
    if (a.magnifierSource && a.magnifierSource->width() > 0 && a.magnifierSource->height() > 0) {
        const QRectF source = *a.magnifierSource;
        QVector<Annotation> below;
        for (qsizetype i = 0; i < index; ++i)
            if (args.annotations[i].kind != T::comment)
                below.append(args.annotations[i]);

        const QPointF d = lens.center() - source.center();
        QPainterPath connector(ellipseEdge(source, +1, d));
        connector.lineTo(ellipseEdge(lens, -1, d));
        painter.strokePath(connector, pen);
        QPainterPath sourceOval;
        sourceOval.addEllipse(source);
        painter.strokePath(sourceOval, pen);

        const QSize grid = sampleGrid(imageFrame);
        if (!samples.area)
            samples.area = sampledArea(args.annotations, imageFrame, grid);
        QImage fresh;
        QRect area = *samples.area;
        if (const Samples::Made* made = samples.find(below)) {
            fresh = made->image;
            outcome.pendingBlur = outcome.pendingBlur || made->pendingBlur;
        } else if (const LayerSampleCache::Entry* kept = samples.cache.find(below, area)) {
            fresh = kept->image;
            area = kept->area;
        } else {
            fresh = renderSample(args, below, imageFrame, area, samples, outcome);
        }
        // Only the part of the source inside the image frame has picture; map it onto the lens.
        const QRectF visible = geo::intersection(source, imageFrame);
        if (!fresh.isNull() && !geo::isEmpty(visible)) {
            const double sx = lens.width() / source.width(), sy = lens.height() / source.height();
            const QRectF target(lens.left() + (visible.left() - source.left()) * sx,
                                lens.top() + (visible.top() - source.top()) * sy, visible.width() * sx,
                                visible.height() * sy);
            const double kx = grid.width() / imageFrame.width(), ky = grid.height() / imageFrame.height();
            const QRectF pixels((visible.left() - imageFrame.left()) * kx - area.left(),
                                (visible.top() - imageFrame.top()) * ky - area.top(), visible.width() * kx,
                                visible.height() * ky);
            painter.save();
            QPainterPath clip;
            clip.addEllipse(lens);
            painter.setClipPath(clip, Qt::IntersectClip);
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            painter.drawImage(target, fresh, pixels);
            painter.restore();
        }
    }
    QPainterPath lensOval;
    lensOval.addEllipse(lens);
    painter.strokePath(lensOval, pen);
}

void drawElement(QPainter& painter, const ScreenshotRenderer::DrawArguments& args, qsizetype index, double unit,
                 const QRectF& imageFrame, Samples& samples, Outcome& outcome)
{
    const Annotation& a = args.annotations[index];
    const double w = a.strokeWidth > 0 ? a.strokeWidth : unit;
    const QColor color = a.color();
    const QPen pen = strokePen(color, w);
    switch (a.kind) {
    case T::select: case T::comment: case T::crop: case T::qr:
        break;
    case T::arrow:
        drawArrow(painter, a, pen, w);
        break;
    case T::rectangle: {
        QPainterPath path;
        path.addRoundedRect(a.rect(), 2 * unit, 2 * unit);
        painter.strokePath(path, pen);
        break;
    }
    case T::ellipse: {
        QPainterPath path;
        path.addEllipse(a.rect());
        painter.strokePath(path, pen);
        break;
    }
    case T::length:
        drawMeasure(painter, a, pen, w);
        break;
    case T::ruler:
        drawMeasure(painter, a, pen, w);
        drawRulerLabel(painter, a, color);
        break;
    case T::pencil:
        drawPencil(painter, a, pen, w);
        break;
    case T::text:
        ScreenshotRenderer::drawText(painter, a, a.rect());
        break;
    case T::blur:
        drawBlur(painter, a, imageFrame, args, outcome);
        break;
    case T::magnifier:
        drawMagnifier(painter, a, index, pen, imageFrame, args, samples, outcome);
        break;
    case T::image:
        try {
            ScreenshotRenderer::drawImageLayer(painter, a);
        } catch (const std::exception&) {
            // A layer that cannot be drawn is left out; the rest still draws.
        }
        break;
    case T::highlighter:
        ScreenshotRenderer::drawHighlighter(painter, a, w);
        break;
    }
}

void drawSelection(QPainter& painter, const Annotation& a, double unit, double scale, double badgeDiameter)
{
    const double w = a.strokeWidth > 0 ? a.strokeWidth : unit;
    const double s = std::isfinite(scale) ? std::max(scale, 0.001) : 1.0;
    painter.setBrush(Qt::NoBrush);
    if (a.kind == T::highlighter) {
        const double grow = w / 2 + 2 / s;
        painter.setPen(drawing::dashedPen(Qt::white, 1.5 / s, {5 / s, 4 / s}));
        painter.drawRect(geo::insetBy(a.rect(), -grow, -grow));
        return;
    }
    const QVector<AnnotationHandle> handles = a.handles();
    if (handles.isEmpty()) {
        const QRectF r = a.kind == T::comment
            ? QRectF(a.start.x() - badgeDiameter / 2, a.start.y() - badgeDiameter / 2, badgeDiameter, badgeDiameter)
            : a.rect();
        painter.setPen(drawing::dashedPen(Qt::white, std::max(w / 2, 1.0), {2 * w, 2 * w}));
        painter.drawRect(geo::insetBy(r, -2 * w, -2 * w));
        return;
    }
    if (a.kind == T::blur) {
        painter.setPen(drawing::dashedPen(Qt::white, 1.5 / s, {5 / s, 4 / s}));
        painter.drawRect(a.rect());
    }
    painter.setPen(QPen(Theme::marker(), 1.5 / s));
    painter.setBrush(Qt::white);
    for (AnnotationHandle handle : handles)
        painter.drawEllipse(a.position(handle), 5 / s, 5 / s);
}

void drawPass(QPainter& painter, const ScreenshotRenderer::DrawArguments& args, Samples& samples, Outcome& outcome,
              qsizetype from)
{
    const QSizeF size = geo::isFinite(args.size) ? args.size : QSizeF();
    const QRectF whole(QPointF(), size);
    const QRectF imageFrame = finiteOr(args.imageFrame, whole);
    const QRectF markerFrame = finiteOr(args.markerFrame, whole);
    const double unit = std::max(size.width() / 300, 3.0);
    const double diameter = ScreenshotRenderer::badgeDiameter(markerFrame.width());

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);

    if (!args.image.isNull() && from == 0) {
        painter.save();
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(imageFrame, args.image);
        painter.restore();
    }

    for (qsizetype i = from; i < args.annotations.size(); ++i) {
        if (drawable(args.annotations[i]))
            drawElement(painter, args, i, unit, imageFrame, samples, outcome);
    }

    bool hasComment = false;
    if (args.showMarkers) {
        int number = 0;
        for (const Annotation& a : args.annotations) {
            if (a.kind != T::comment)
                continue;
            hasComment = true;
            ++number; // numbers follow the comment list even past an element that cannot be drawn
            if (drawable(a))
                ScreenshotRenderer::drawBadge(painter, args.label + QString::number(number), a.start,
                                              markerFrame.size(), false, badgeColor(a));
        }
    }

    if (args.selectedID) {
        auto it = std::find_if(args.annotations.begin(), args.annotations.end(),
                               [&](const Annotation& a) { return a.id == *args.selectedID; });
        if (it != args.annotations.end() && drawable(*it)) {
            painter.save();
            drawSelection(painter, *it, unit, args.selectionScale, diameter);
            painter.restore();
        }
    }

    if (args.showMarkers && hasComment) {
        const QPointF center(markerFrame.left() + std::min(0.8 * diameter, markerFrame.width() / 2),
                             markerFrame.top() + std::min(0.8 * diameter, markerFrame.height() / 2));
        ScreenshotRenderer::drawBadge(painter, args.label, center, markerFrame.size(), true, Theme::marker());
    }
    painter.restore();
}

} // namespace

void ScreenshotRenderer::draw(QPainter& painter, const DrawArguments& arguments)
{
    LayerSampleCache fresh;
    Samples samples{arguments.samples ? *arguments.samples : fresh, {}, {}};
    Outcome outcome;
    drawPass(painter, arguments, samples, outcome);
}

} // namespace tarnwick
