#include "render/ScreenshotComposition.h"

#include "series/Palette.h"
#include "render/LayerEffects.h"
#include "render/ScreenshotRenderer.h"
#include "series/Geometry.h"
#include "platform/TarnwickError.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace tarnwick {

std::atomic<long> ScreenshotComposition::composeCount_{0};

namespace {

using T = AnnotationTool;

std::shared_ptr<LayerEffectStack> stackOf(const std::shared_ptr<ScreenshotEffects>& effects)
{
    return effects ? std::dynamic_pointer_cast<LayerEffectStack>(effects->ordered()) : nullptr;
}

// Whether the image fills exactly `size` pixels, so that drawing it into the whole
// image rectangle would copy it unchanged.
bool fillsExactly(const QImage& image, QSizeF size)
{
    return !image.isNull() && image.width() == size.width() && image.height() == size.height();
}

} // namespace

QImage canvasBitmap(QSizeF size, QImage::Format format)
{
    // One side may be long (scrolling captures), but no bitmap beyond 2 GB.
    constexpr double maxSide = 1 << 28, maxPixels = 1 << 29;
    const double w = std::trunc(size.width()), h = std::trunc(size.height());
    if (!(w >= 1 && h >= 1) || w > maxSide || h > maxSide || w * h > maxPixels)
        return {};
    QImage image(static_cast<int>(w), static_cast<int>(h), format);
    if (image.isNull())
        return {};
    image.fill(Qt::transparent);
    return image;
}

ScreenshotComposition::ScreenshotComposition(QImage image, QSizeF size, std::exception_ptr error)
    : base_{image, ScreenshotEffects::create(image, size, QPointF(0, 0), size), image, error},
      size_(size),
      baseError_(std::move(error)),
      underlays_(std::make_shared<LayerUnderlayCache>())
{
}

ScreenshotComposition::~ScreenshotComposition() = default;

QVector<Annotation> ScreenshotComposition::stackKey(const QVector<Annotation>& annotations)
{
    qsizetype top = -1;
    for (qsizetype i = annotations.size() - 1; i >= 0 && top < 0; --i)
        if (annotations[i].kind == T::blur)
            top = i;
    QVector<Annotation> key;
    for (qsizetype i = 0; i <= top; ++i)
        if (annotations[i].kind != T::comment)
            key.push_back(annotations[i]);
    return key;
}

RenderScene ScreenshotComposition::scene(const QVector<Annotation>& annotations, const std::optional<QRectF>& frame)
{
    const QRectF whole(QPointF(0, 0), size_);
    const QRectF F = frame.value_or(whole);

    QVector<Annotation> layers;
    for (const Annotation& a : annotations)
        if (a.kind == T::image)
            layers.push_back(a);

    RenderScene S;
    if (layers.isEmpty() && geo::same(F, whole)) {
        S = base_;
    } else {
        auto hit = std::find_if(cached_.begin(), cached_.end(),
                                [&](const Scene& s) { return geo::same(s.frame, F) && s.layers == layers; });
        if (hit != cached_.end()) {
            Scene entry = std::move(*hit);
            cached_.erase(hit);
            cached_.push_back(std::move(entry));
            S = cached_.back().scene;
        } else {
            try {
                // Over the whole image the background is the base picture itself: one buffer, not a copy.
                const QImage background =
                    geo::same(F, whole) && fillsExactly(base_.image, size_) ? base_.image : compose({}, F);
                const QImage image = layers.isEmpty() ? background : compose(layers, F);
                S = RenderScene{image, base_.effects, background, baseError_};
            } catch (...) {
                S = RenderScene{base_.image, base_.effects, base_.background, std::current_exception()};
            }
            cached_.push_back(Scene{layers, F, S});
            if (cached_.size() > sceneCapacity)
                cached_.pop_front();
        }
    }

    const QVector<Annotation> key = stackKey(annotations);
    std::shared_ptr<ScreenshotEffects> E;
    auto found = std::find_if(stacks_.begin(), stacks_.end(),
                              [&](const Stack& s) { return geo::same(s.frame, F) && s.annotations == key; });
    if (found != stacks_.end()) {
        Stack entry = std::move(*found);
        stacks_.erase(found);
        stacks_.push_back(std::move(entry));
        E = stacks_.back().effects;
    } else {
        auto stack = std::make_shared<LayerEffectStack>(S.background, size_, F, key, underlays_);
        E = ScreenshotEffects::create(S.background, F.size(), F.topLeft(), size_, stack);
        stacks_.push_back(Stack{key, F, E});
        if (stacks_.size() > stackCapacity)
            stacks_.pop_front();
    }

    const std::shared_ptr<ScreenshotEffects> previous = activeEffects_.lock();
    if (previous != E) {
        if (auto stack = stackOf(previous))
            stack->setActive(false);
        if (auto stack = stackOf(E))
            stack->setActive(true);
        activeEffects_ = E;
    }

    return RenderScene{S.image, E, S.background, S.error};
}

QImage ScreenshotComposition::compose(const QVector<Annotation>& layers, const QRectF& frame) const
{
    ++composeCount_;
    const QString failure = QStringLiteral("Не удалось объединить изображения.");
    if (!geo::isFinite(frame))
        throw TarnwickError::message(failure);
    QImage bitmap = canvasBitmap(frame.size(), QImage::Format_ARGB32_Premultiplied);
    if (bitmap.isNull())
        throw TarnwickError::message(failure);
    QPainter painter(&bitmap);
    if (!painter.isActive())
        throw TarnwickError::message(failure);
    painter.translate(-frame.topLeft());

    const QRectF whole(QPointF(0, 0), size_);
    if (!geo::same(frame, whole))
        painter.fillRect(frame, Theme::canvasBackground());
    // The image's own pixels, transparent ones too, replace the canvas colour.
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(whole, base_.image);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    for (const Annotation& layer : layers)
        ScreenshotRenderer::drawImageLayer(painter, layer);
    painter.end();
    return bitmap;
}

QImage ScreenshotComposition::roundedImage(const QImage& image, QSizeF size, double radius,
                                           const std::optional<QRectF>& frame)
{
    QImage bitmap = canvasBitmap(size, QImage::Format_ARGB32_Premultiplied);
    if (bitmap.isNull() || image.isNull())
        throw TarnwickError::message(QStringLiteral("Не удалось скруглить углы снимка."));
    QPainter painter(&bitmap);
    if (!painter.isActive())
        throw TarnwickError::message(QStringLiteral("Не удалось подготовить скруглённый снимок."));
    painter.setRenderHint(QPainter::Antialiasing);

    const QRectF whole(QPointF(0, 0), size);
    const QRectF R = frame ? geo::standardized(*frame) : whole;
    if (!geo::isEmpty(R) && geo::isFinite(R)) {
        const double r = std::min(std::isnan(radius) ? 0.0 : radius, std::min(R.width(), R.height()) * 0.5);
        if (r > 0) {
            // Covered three times inside the rounded shape, twice in the frame's
            // corners outside it, once elsewhere: even-odd keeps all but the corners.
            QPainterPath path;
            path.setFillRule(Qt::OddEvenFill);
            path.addRect(whole);
            path.addRect(R);
            path.addRoundedRect(R, r, r);
            painter.setClipPath(path);
        }
    }
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(whole, image);
    painter.end();
    return bitmap;
}

} // namespace tarnwick
