#include "editor/canvas/CursorColorSampler.h"

#include "platform/TarnwickError.h"
#include "render/ScreenshotComposition.h"
#include "render/ScreenshotRenderer.h"
#include "series/Geometry.h"
#include "series/Screenshot.h"

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace tarnwick {

std::optional<SampledColor> CursorColorSampler::sample(const Screenshot& shot, const QPointF& point)
{
    const QRectF frame = shot.cropRect() ? *shot.cropRect() : shot.canvasRect;
    if (!geo::contains(frame, point))
        return std::nullopt;
    const QPoint pixel(int(std::floor(point.x())), int(std::floor(point.y())));
    // What the output shows of the elements: those the crop leaves.
    QVector<Annotation> shown = shot.cropRect() ? shot.visibleAnnotations(shot.annotations, *shot.cropRect()) : shot.annotations;
    if (color_ && shotID_ == shot.id && !composition_.expired() && composition_.lock() == shot.composition
        && annotations_ == shown && geo::same(canvas_, shot.canvasRect) && pixel_ == pixel)
        return color_;

    const std::shared_ptr<ScreenshotComposition> composition =
        shot.composition ? shot.composition : std::make_shared<ScreenshotComposition>(shot.image, shot.pixelSize);
    const RenderScene scene = composition->scene(shot.annotations, shot.canvasRect);
    if (scene.error)
        std::rethrow_exception(scene.error);
    // Never a pending placeholder under the point: the blurs there are computed now,
    // every blur when a magnifier may show any of them there.
    const QRectF spot(pixel, QSizeF(1, 1));
    const bool lens = std::any_of(shown.begin(), shown.end(), [&](const Annotation& a) {
        return a.kind == AnnotationTool::magnifier && a.rect().intersects(spot);
    });
    for (const Annotation& a : shown)
        if (a.kind == AnnotationTool::blur && (lens || a.rect().adjusted(-1, -1, 1, 1).intersects(spot)))
            scene.effects->effect(a);

    QImage bitmap(1, 1, QImage::Format_ARGB32_Premultiplied);
    bitmap.fill(Qt::transparent);
    {
        QPainter painter(&bitmap);
        if (!painter.isActive())
            throw TarnwickError::message(QStringLiteral("Не удалось прочитать цвет пикселя."));
        painter.translate(-QPointF(pixel));
        ScreenshotRenderer::DrawArguments arguments;
        arguments.image = scene.background;
        arguments.size = shot.pixelSize;
        arguments.annotations = shown;
        arguments.effects = scene.effects.get();
        arguments.markerFrame = frame;
        arguments.imageFrame = shot.canvasRect;
        ScreenshotRenderer::draw(painter, arguments);
    }
    ++renders_;

    const QRgb value = bitmap.pixel(0, 0);
    const int alpha = qAlpha(value);
    // Premultiplied channels back to straight ones, rounded.
    const auto straight = [alpha](int c) { return std::uint8_t(std::min((c * 255 + alpha / 2) / alpha, 255)); };
    color_ = alpha == 0 ? SampledColor{0, 0, 0, 0}
                        : SampledColor{straight(qRed(value)), straight(qGreen(value)), straight(qBlue(value)), std::uint8_t(alpha)};
    shotID_ = shot.id;
    composition_ = shot.composition;
    annotations_ = std::move(shown);
    canvas_ = shot.canvasRect;
    pixel_ = pixel;
    return color_;
}

} // namespace tarnwick
