#include "series/Screenshot.h"

#include "series/Geometry.h"

#include <algorithm>

namespace tarnwick {

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
