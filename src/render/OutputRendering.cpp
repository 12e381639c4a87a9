// Output images: a shot with its annotations, exactly as it goes to the clipboard
// and into files.

#include "render/ScreenshotComposition.h"
#include "render/ScreenshotRenderer.h"
#include "series/Geometry.h"
#include "series/Screenshot.h"
#include "platform/TarnwickError.h"

#include <QPainter>

namespace tarnwick {

QImage ScreenshotRenderer::render(const Screenshot& shot, const QString& label, bool showMarkers)
{
    const QString failure = QStringLiteral("Не удалось подготовить изображение.");
    const std::shared_ptr<ScreenshotComposition> composition =
        shot.composition ? shot.composition : std::make_shared<ScreenshotComposition>(shot.image, shot.pixelSize);
    const RenderScene scene = composition->scene(shot.annotations, shot.canvasRect);
    if (scene.error)
        std::rethrow_exception(scene.error);

    const std::optional<QRectF>& crop = shot.cropRect();
    const QRectF R = crop ? *crop : shot.canvasRect;
    const QVector<Annotation> annotations = crop ? shot.visibleAnnotations(shot.annotations, *crop) : shot.annotations;
    // Never a pending placeholder: whatever is missing is computed now, and the first
    // failure aborts the render. Results and failures stay stored for the canvas and
    // later renders, even when the crop then turns out too small for a picture.
    for (const Annotation& a : annotations)
        if (a.kind == AnnotationTool::blur)
            scene.effects->effect(a);

    QImage bitmap = geo::isFinite(R) ? canvasBitmap(R.size(), QImage::Format_ARGB32_Premultiplied) : QImage();
    if (bitmap.isNull())
        throw TarnwickError::message(failure);

    QPainter painter(&bitmap);
    if (!painter.isActive())
        throw TarnwickError::message(failure);
    painter.translate(-R.topLeft());
    DrawArguments arguments;
    arguments.image = scene.background;
    arguments.size = shot.pixelSize;
    arguments.annotations = annotations;
    arguments.label = label;
    arguments.showMarkers = showMarkers;
    arguments.effects = scene.effects.get();
    arguments.markerFrame = R;
    arguments.imageFrame = shot.canvasRect;
    draw(painter, arguments);
    painter.end();
    return bitmap;
}

} // namespace tarnwick
