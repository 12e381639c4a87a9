#include "render/BackgroundRemoval.h"

#include "render/effects/OpenCvEffects.h"
#include "platform/TarnwickError.h"

#include <QColorSpace>
#include <opencv2/core.hpp>

#include <new>

namespace tarnwick {

namespace {

const char* const notRemoved = "Не удалось удалить фон. Изображение оставлено без изменений.";

void pollCancellation(const std::function<bool()>& isCancelled)
{
    if (isCancelled && isCancelled())
        throw CancellationError();
}

bool hasColour(QImage::Format format)
{
    switch (format) {
    case QImage::Format_Grayscale8:
    case QImage::Format_Grayscale16:
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
    case QImage::Format_Alpha8:
        return false;
    default:
        return true;
    }
}

} // namespace

QImage effects::removeBackground(const QImage& image, const std::function<bool()>& isCancelled)
{
    pollCancellation(isCancelled);
    const std::unique_ptr<ForegroundObservation> observation = ForegroundSegmenter::standard().perform(image);
    pollCancellation(isCancelled);
    const std::vector<int> instances = observation ? observation->allInstances() : std::vector<int>();
    if (instances.empty())
        throw TarnwickError::message(QStringLiteral("Не удалось найти объект. Фон оставлен без изменений."));
    SoftMask mask;
    try {
        mask = observation->scaledMask(instances, image.size());
    } catch (const std::bad_alloc&) {
        throw TarnwickError::message(QString::fromUtf8(notRemoved));
    } catch (const cv::Exception&) {
        throw TarnwickError::message(QString::fromUtf8(notRemoved));
    }
    pollCancellation(isCancelled);
    return BackgroundRemoval::applying(mask, image);
}

QImage BackgroundRemoval::applying(const SoftMask& mask, const QImage& image)
{
    const int w = image.width(), h = image.height();
    if (image.isNull() || mask.width != w || mask.height != h
        || mask.values.size() != static_cast<size_t>(w) * static_cast<size_t>(h))
        throw TarnwickError::message(QString::fromUtf8(notRemoved));

    const QColorSpace space = image.colorSpace().isValid() && hasColour(image.format())
        ? image.colorSpace()
        : QColorSpace(QColorSpace::SRgb);
    // Blending over transparency in premultiplied form is a plain scaling of all
    // four bytes, so the foreground keeps its exact colours.
    const QImage source = image.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
    QImage out(w, h, QImage::Format_RGBA8888_Premultiplied);
    if (source.isNull() || out.isNull())
        throw TarnwickError::message(QString::fromUtf8(notRemoved));

    // Taken once here: scanLine() from the workers would detach one image from several threads.
    const uchar* const sourceBits = source.constBits();
    uchar* const outBits = out.bits();
    const qsizetype sourceStride = source.bytesPerLine(), outStride = out.bytesPerLine();
    cv::parallel_for_(cv::Range(0, h), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            const uchar* src = sourceBits + y * sourceStride;
            uchar* dst = outBits + y * outStride;
            const float* m = mask.values.data() + static_cast<size_t>(y) * static_cast<size_t>(w);
            for (int x = 0; x < w; ++x) {
                const float v = m[x];
                const float k = v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f; // NaN counts as background
                for (int c = 0; c < 4; ++c)
                    dst[4 * x + c] = static_cast<uchar>(src[4 * x + c] * k + 0.5f);
            }
        }
    });
    out.setColorSpace(space);
    return out;
}

} // namespace tarnwick
