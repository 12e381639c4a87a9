#include "series/Screenshot.h"

#include "render/ScreenshotComposition.h"
#include "series/Geometry.h"

#include <algorithm>
#include <cmath>

namespace tarnwick {

namespace {

bool sameOptionalRect(const std::optional<QRectF>& a, const std::optional<QRectF>& b)
{
    return a.has_value() == b.has_value() && (!a || geo::same(*a, *b));
}

} // namespace

bool samePicture(const Screenshot& a, const Screenshot& b)
{
    return a.id == b.id && a.image.cacheKey() == b.image.cacheKey() && a.composition == b.composition
        && geo::same(a.pixelSize, b.pixelSize) && a.imageCornerRadius == b.imageCornerRadius
        && sameOptionalRect(a.cropRect(), b.cropRect()) && geo::same(a.canvasRect, b.canvasRect)
        && a.annotations == b.annotations;
}

QString shotLabel(qsizetype index)
{
    if (index >= 0 && index < 26)
        return QString(QChar(u'A' + static_cast<char16_t>(index)));
    return QStringLiteral("?");
}

double Screenshot::effectiveStrokeWidth(const Annotation& annotation, const QSizeF& pixelSize)
{
    if (annotation.strokeWidth > 0)
        return annotation.strokeWidth;
    return std::max(pixelSize.width() / 300, 3.0);
}

QVector<Annotation> Screenshot::visibleAnnotations(const QVector<Annotation>& annotations, const QRectF& rect,
                                                   const QSizeF& pixelSize)
{
    QVector<QRectF> regions{rect};
    QVector<bool> visible(annotations.size(), false);
    for (qsizetype i = annotations.size() - 1; i >= 0; --i) {
        const Annotation& a = annotations[i];
        if (a.kind == AnnotationTool::comment) {
            visible[i] = geo::contains(rect, a.start);
            continue;
        }
        QRectF bounds = a.geometryBounds();
        if (geo::isNull(bounds))
            continue;
        if (supportsStroke(a.kind)) {
            const double half = effectiveStrokeWidth(a, pixelSize) / 2;
            bounds = geo::insetBy(bounds, -half, -half);
        }
        visible[i] = std::any_of(regions.begin(), regions.end(), [&](const QRectF& r) { return geo::intersects(bounds, r); });
        if (visible[i] && a.kind == AnnotationTool::magnifier && a.magnifierSource) {
            const QRectF lens = a.rect();
            const bool lensShown = std::any_of(regions.begin(), regions.end(), [&](const QRectF& r) { return geo::intersects(lens, r); });
            const bool known = std::any_of(regions.begin(), regions.end(), [&](const QRectF& r) { return geo::same(r, *a.magnifierSource); });
            if (lensShown && !known)
                regions.push_back(*a.magnifierSource);
        }
    }
    QVector<Annotation> out;
    for (qsizetype i = 0; i < annotations.size(); ++i)
        if (visible[i])
            out.push_back(annotations[i]);
    return out;
}

Screenshot Screenshot::make(const QImage& image, double pixelsPerPoint)
{
    Screenshot shot;
    shot.id = QUuid::createUuid();
    shot.image = image;
    shot.pixelSize = QSizeF(image.width(), image.height());
    shot.pixelsPerPoint = std::isfinite(pixelsPerPoint) && pixelsPerPoint > 0 ? pixelsPerPoint : 1;
    shot.composition = std::make_shared<ScreenshotComposition>(image, shot.pixelSize);
    shot.canvasRect = QRectF(QPointF(0, 0), shot.pixelSize);
    return shot;
}

void Screenshot::setCropRect(const std::optional<QRectF>& crop)
{
    const bool same = (!crop && !cropRect_) || (crop && cropRect_ && geo::same(*crop, *cropRect_));
    cropRect_ = crop;
    if (same || !(imageCornerRadius > 0))
        return;
    const QRectF whole(QPointF(0, 0), pixelSize);
    const QRectF frame = crop ? geo::intersection(*crop, whole) : whole;
    try {
        composition = std::make_shared<ScreenshotComposition>(
            ScreenshotComposition::roundedImage(image, pixelSize, imageCornerRadius, frame), pixelSize);
    } catch (...) {
        // The editor refuses to export while the scene carries the error.
        composition = std::make_shared<ScreenshotComposition>(image, pixelSize, std::current_exception());
    }
}

QImage Screenshot::displayImage() const
{
    const std::shared_ptr<ScreenshotComposition> shown =
        composition ? composition : std::make_shared<ScreenshotComposition>(image, pixelSize);
    const QImage picture = shown->scene(annotations, canvasRect).image;
    if (!cropRect_ || picture.isNull() || !(canvasRect.width() > 0 && canvasRect.height() > 0))
        return picture;
    const double sx = picture.width() / canvasRect.width(), sy = picture.height() / canvasRect.height();
    const QRectF cut((cropRect_->x() - canvasRect.x()) * sx, (cropRect_->y() - canvasRect.y()) * sy,
                     cropRect_->width() * sx, cropRect_->height() * sy);
    const QRectF pixels = geo::intersection(geo::integral(cut), QRectF(0, 0, picture.width(), picture.height()));
    if (geo::isEmpty(pixels))
        return picture;
    return picture.copy(pixels.toRect());
}

QVector<Annotation> Screenshot::comments() const
{
    const QVector<Annotation> counted = cropRect_ ? visibleAnnotations(annotations, *cropRect_) : annotations;
    QVector<Annotation> out;
    for (const Annotation& a : counted)
        if (a.kind == AnnotationTool::comment)
            out.push_back(a);
    return out;
}

QRectF CanvasNavigation::imageRect(const QRectF& bounds, const QRectF& viewport) const
{
    const QRectF insetBounds = bounds.adjusted(inset, inset, -inset, -inset);
    if (viewport.width() <= 0 || viewport.height() <= 0 || !geo::isFinite(viewport) || !geo::isFinite(bounds))
        return QRectF(bounds.center(), QSizeF(0, 0));
    const double fit = std::max(std::min(insetBounds.width() / viewport.width(), insetBounds.height() / viewport.height()), 0.001);
    const double scale = (std::isfinite(zoom) ? zoom : 1) * fit;
    const QSizeF size = viewport.size() * scale;
    const QSizeF shift = limited(pan, size, bounds);
    return QRectF(bounds.center().x() - size.width() / 2 + shift.width(),
                  bounds.center().y() - size.height() / 2 + shift.height(), size.width(), size.height());
}

QSizeF CanvasNavigation::limited(const QSizeF& pan, const QSizeF& imageSize, const QRectF& bounds)
{
    const double slackX = std::max((imageSize.width() - (bounds.width() - 2 * inset)) / 2, 0.0);
    const double slackY = std::max((imageSize.height() - (bounds.height() - 2 * inset)) / 2, 0.0);
    const double dx = std::isfinite(pan.width()) ? pan.width() : 0;
    const double dy = std::isfinite(pan.height()) ? pan.height() : 0;
    return QSizeF(std::clamp(dx, -slackX, slackX), std::clamp(dy, -slackY, slackY));
}

} // namespace tarnwick
