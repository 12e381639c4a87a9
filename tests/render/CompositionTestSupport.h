#pragma once

// Shots, elements and pixel checks for the composition, layer-effect and output tests.

#include "DrawingTestSupport.h"
#include "EffectsTestSupport.h"

#include "render/LayerEffects.h"
#include "render/ScreenshotComposition.h"
#include "series/Screenshot.h"

#include <QPainter>
#include <memory>

namespace tarnwick::testing {

inline Annotation arrowElement(QPointF start, QPointF end, double width = 8)
{
    Annotation a = element(AnnotationTool::arrow, start, end);
    a.strokeWidth = width;
    a.customColor = SampledColor{0, 0, 0, 255};
    return a;
}

inline Annotation blurOver(BlurMode mode, const QRectF& rect) { return blurElement(mode, rect); }

inline Annotation commentAt(QPointF point, const QString& text = QStringLiteral("заметка"))
{
    Annotation a = element(AnnotationTool::comment, point, point);
    a.text = text;
    return a;
}

inline Annotation imageLayer(const QRectF& rect, QColor color)
{
    Annotation a = element(AnnotationTool::image, rect.topLeft(), rect.bottomRight());
    a.embeddedImage = solidImage(static_cast<int>(rect.width()), static_cast<int>(rect.height()), color);
    return a;
}

inline std::shared_ptr<LayerEffectStack> stackOf(const RenderScene& scene)
{
    return std::dynamic_pointer_cast<LayerEffectStack>(scene.effects->ordered());
}

inline Screenshot shotOf(const QImage& image, QVector<Annotation> annotations = {})
{
    Screenshot shot = Screenshot::make(image, 2);
    shot.annotations = std::move(annotations);
    return shot;
}

// The canvas's road: the scene of the shot's canvas, its blurs prepared and drawn
// once every job has finished.
inline QImage drawnOnCanvas(const Screenshot& shot, int milliseconds = 20000)
{
    RenderScene scene = shot.composition->scene(shot.annotations, shot.canvasRect);
    scene.effects->prepare(shot.annotations);
    waitUntil([&] { return !scene.effects->readiness(shot.annotations).pending; }, milliseconds);
    QImage out(static_cast<int>(shot.canvasRect.width()), static_cast<int>(shot.canvasRect.height()),
               QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    QPainter painter(&out);
    painter.translate(-shot.canvasRect.topLeft());
    ScreenshotRenderer::DrawArguments arguments;
    arguments.image = scene.background;
    arguments.size = shot.pixelSize;
    arguments.annotations = shot.annotations;
    arguments.effects = scene.effects.get();
    arguments.imageFrame = shot.canvasRect;
    ScreenshotRenderer::draw(painter, arguments);
    return out;
}

inline int maxChannelDifference(const QImage& a, const QImage& b, QRect area = {})
{
    if (area.isNull())
        area = a.rect();
    int worst = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
        }
    return worst;
}

} // namespace tarnwick::testing
