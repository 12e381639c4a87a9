#include "recording/review/VideoBlurRendering.h"

#include "platform/TarnwickError.h"
#include "render/LocalEffects.h"

#include <cmath>
#include <cstring>

namespace tarnwick::review::VideoBlurRendering {

namespace {

// The normalised rectangle (origin bottom-left) in the frame's pixels (origin
// top-left), edges rounded to the nearest pixel boundary.
QRect pixels(const QRectF& r, QSize size)
{
    const double w = size.width(), h = size.height();
    const int left = static_cast<int>(std::lround(r.left() * w));
    const int right = static_cast<int>(std::lround(r.right() * w));
    const int top = static_cast<int>(std::lround((1 - r.bottom()) * h));
    const int bottom = static_cast<int>(std::lround((1 - r.top()) * h));
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

// 32-bit layouts whose bytes the blur may treat as four opaque-safe channels.
bool blurrable(QImage::Format format)
{
    switch (format) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGBX8888:
    case QImage::Format_RGBA8888_Premultiplied:
        return true;
    default:
        return false;
    }
}

} // namespace

QImage image(const QImage& frame, double time, const std::vector<VideoBlurRegion>& regions)
{
    QImage output = frame;
    for (const VideoBlurRegion& region : regions) {
        if (!(region.start <= time && time < region.end))
            continue;
        const QRect p = pixels(region.rect(time).normalized(), output.size()).intersected(output.rect());
        if (p.isEmpty())
            continue;
        if (!blurrable(output.format()))
            output = output.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        if (!output.bits()) // the frame's own copy, to write into
            throw TarnwickError::message(
                QStringLiteral("Не хватило памяти для размытия. Закройте другие программы и попробуйте снова."));
        // The radius is the Gaussian's standard deviation, as for the editor's blur.
        const QImage blurred = requiredBlurredRegion(output, output.rect(), p, region.radius);
        const auto rowBytes = static_cast<std::size_t>(p.width()) * 4;
        for (int y = 0; y < p.height(); ++y)
            std::memcpy(output.scanLine(p.y() + y) + 4 * p.x(), blurred.constScanLine(y), rowBytes);
    }
    return output;
}

} // namespace tarnwick::review::VideoBlurRendering
