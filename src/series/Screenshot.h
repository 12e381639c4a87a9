#pragma once

#include "series/Annotation.h"

#include <QImage>
#include <QRectF>
#include <QSizeF>
#include <QUuid>
#include <QVector>
#include <memory>
#include <optional>

namespace tarnwick {

class ScreenshotComposition;

// One capture of the series as a value. Copies share one composition (the render
// cache); a new composition replaces it whenever the picture it caches changes.
class Screenshot {
public:
    QUuid id;
    QImage image;                 // square corners; the rounded version lives in the composition
    QSizeF pixelSize;
    double pixelsPerPoint = 1;
    QVector<Annotation> annotations; // bottom first
    std::shared_ptr<ScreenshotComposition> composition;
    double imageCornerRadius = 0;
    std::optional<QRectF> cropBasisRect;
    QRectF canvasRect;

    // A shot of the image with every field filled: no annotations, no crop, square
    // corners, the canvas the image rectangle, and a fresh composition.
    static Screenshot make(const QImage& image, double pixelsPerPoint);

    const std::optional<QRectF>& cropRect() const { return cropRect_; }
    // Stores the crop. When it really changed on a shot with rounded corners, a new
    // composition rounds the corners of the visible part; should rounding fail, the
    // composition shows the square image and carries the error in its scenes.
    void setCropRect(const std::optional<QRectF>& crop);

    // The picture of the shot with its elements, cut to the crop: the panel's thumbnail.
    QImage displayImage() const;

    // The elements visible inside a rectangle, bottom first. Comments count only when
    // their point lies in the rectangle; a visible magnifier's source makes what lies
    // below it in the source visible too.
    static QVector<Annotation> visibleAnnotations(const QVector<Annotation>& annotations, const QRectF& rect,
                                                  const QSizeF& pixelSize);
    QVector<Annotation> visibleAnnotations(const QVector<Annotation>& list, const QRectF& rect) const
    {
        return visibleAnnotations(list, rect, pixelSize);
    }
    // The comment elements that count for this shot, numbered from 1 in this order.
    QVector<Annotation> comments() const;

    // The stroke an element is drawn with: its own width, or the default for this image.
    static double effectiveStrokeWidth(const Annotation& annotation, const QSizeF& pixelSize);

private:
    std::optional<QRectF> cropRect_;
};

// Whether two shots give the same picture: same shot, and everything its rendering depends on
// unchanged. Caches of rendered shots (clipboard files, panel thumbnails) key on it.
bool samePicture(const Screenshot& a, const Screenshot& b);

// The label of the shot at a position of the series: "A" … "Z", then "?".
QString shotLabel(qsizetype index);

// Zoom (1 = fit) and pan (view points) of the editor canvas.
struct CanvasNavigation {
    double zoom = 1;
    QSizeF pan{0, 0};

    static constexpr double inset = 28;
    // Where a viewport of canvas pixels lands in a view of these bounds.
    QRectF imageRect(const QRectF& bounds, const QRectF& viewport) const;
    static QSizeF limited(const QSizeF& pan, const QSizeF& imageSize, const QRectF& bounds);
};

} // namespace tarnwick
