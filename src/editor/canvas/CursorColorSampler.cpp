#include "editor/canvas/CursorColorSampler.h"

#include "platform/TarnwickError.h"
#include "render/ScreenshotRenderer.h"
#include "series/Geometry.h"
#include "series/Screenshot.h"

#include <algorithm>
#include <cmath>

namespace tarnwick {

std::optional<SampledColor> CursorColorSampler::sample(const Screenshot& shot, const QPointF& point)
{
    const QRectF frame = shot.cropRect() ? *shot.cropRect() : shot.canvasRect;
    if (!geo::contains(frame, point))
        return std::nullopt;

    const bool fresh = shotID_ == shot.id && !composition_.expired() && composition_.lock() == shot.composition
        && annotations_ == shot.annotations && frame_ && geo::same(*frame_, frame) && canvas_
        && geo::same(*canvas_, shot.canvasRect) && !pixels_.isNull();
    if (!fresh) {
        const QImage rendered = ScreenshotRenderer::render(shot, QString(), false);
        if (rendered.isNull())
            throw TarnwickError::message(QStringLiteral("Не удалось прочитать цвет пикселя."));
        pixels_ = rendered.format() == QImage::Format_ARGB32_Premultiplied
            ? rendered
            : rendered.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        ++renders_;
        shotID_ = shot.id;
        composition_ = shot.composition;
        annotations_ = shot.annotations;
        frame_ = frame;
        canvas_ = shot.canvasRect;
    }
    if (pixels_.isNull())
        return std::nullopt;

    const int column = std::clamp(int(std::floor(point.x() - frame.left())), 0, pixels_.width() - 1);
    const int row = std::clamp(int(std::floor(point.y() - frame.top())), 0, pixels_.height() - 1);
    const QRgb pixel = reinterpret_cast<const QRgb*>(pixels_.constScanLine(row))[column];
    const int alpha = qAlpha(pixel);
    if (alpha == 0)
        return SampledColor{0, 0, 0, 0};
    // Premultiplied channels back to straight ones, rounded.
    const auto straight = [alpha](int c) { return std::uint8_t(std::min((c * 255 + alpha / 2) / alpha, 255)); };
    return SampledColor{straight(qRed(pixel)), straight(qGreen(pixel)), straight(qBlue(pixel)), std::uint8_t(alpha)};
}

} // namespace tarnwick
