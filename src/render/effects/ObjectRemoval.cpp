#include "render/effects/ObjectRemoval.h"

#include "render/effects/ForegroundSegmenter.h"
#include "render/ImageContext.h"
#include "series/Geometry.h"
#include "platform/TarnwickError.h"

#include <QColorSpace>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace tarnwick {

namespace {

const char* const pixelsFailed = "Не удалось подготовить пиксели для восстановления.";
const char* const keepBackground = "Оставьте вокруг объекта видимый фон для восстановления.";
const char* const emptySelection = "Выделенная область пуста.";

[[noreturn]] void fail(const char* sentence) { throw TarnwickError::message(QString::fromUtf8(sentence)); }

void pollCancellation(const std::function<bool()>& isCancelled)
{
    if (isCancelled && isCancelled())
        throw CancellationError();
}

// The working set of one object-erase or object-pixelate call.
struct SelectionContext {
    QRectF selection;  // integral, clipped to the image
    QRectF scene;      // the selection with its margin, integral, clipped to the image
    QImage crop;       // the image cut to `scene`, full resolution
    ObjectRemoval::Pixels original; // `crop` at the working size
    std::vector<bool> excluded;     // per working pixel: inside the selection
    std::vector<bool> mask;         // per working pixel: the object, or the whole selection
    bool detected = false;          // the mask came from the segmenter
};

// The segmented object inside `selection` (working pixels) dilated by two pixels
// and clipped to the selection, or nothing when no instance qualifies.
std::optional<std::vector<bool>> foregroundMask(const QImage& image, const QRectF& selection, bool allowPartial)
{
    const std::unique_ptr<ForegroundObservation> observation = ForegroundSegmenter::standard().perform(image);
    if (!observation)
        return std::nullopt;
    const QSize maskSize = observation->maskSize();
    const std::vector<uint8_t>& labels = observation->instanceMask();
    const int mw = maskSize.width(), mh = maskSize.height();
    const int iw = image.width(), ih = image.height();
    if (mw < 1 || mh < 1 || labels.size() != static_cast<size_t>(mw) * static_cast<size_t>(mh))
        return std::nullopt;

    long long inside[256] = {};
    long long total[256] = {};
    long long insideAll = 0;
    for (int y = 0; y < mh; ++y)
        for (int x = 0; x < mw; ++x) {
            const uint8_t label = labels[static_cast<size_t>(y) * static_cast<size_t>(mw) + static_cast<size_t>(x)];
            const QPointF centre((x + 0.5) * iw / mw, (y + 0.5) * ih / mh);
            if (geo::contains(selection, centre)) {
                ++inside[label];
                ++insideAll;
            }
            if (label != 0)
                ++total[label];
        }

    std::vector<int> instances = observation->allInstances();
    std::sort(instances.begin(), instances.end());
    std::vector<int> kept;
    for (int i : instances) {
        if (i < 1 || i > 255 || total[i] < 1 || inside[i] < 4)
            continue;
        const double share = allowPartial ? static_cast<double>(inside[i]) / static_cast<double>(std::max(insideAll, 1LL))
                                          : static_cast<double>(inside[i]) / static_cast<double>(std::max(total[i], 1LL));
        if (share >= (allowPartial ? 0.01 : 0.85))
            kept.push_back(i);
    }
    if (kept.empty())
        return std::nullopt;

    const SoftMask scaled = observation->scaledMask(kept, QSize(iw, ih));
    const int sw = scaled.width, sh = scaled.height;
    if (sw < 1 || sh < 1 || scaled.values.size() != static_cast<size_t>(sw) * static_cast<size_t>(sh))
        return std::nullopt;

    cv::Mat1b raw(ih, iw);
    for (int y = 0; y < ih; ++y) {
        const int my = std::min(static_cast<int>(static_cast<long long>(y) * sh / ih), sh - 1);
        for (int x = 0; x < iw; ++x) {
            const int mx = std::min(static_cast<int>(static_cast<long long>(x) * sw / iw), sw - 1);
            raw(y, x) = scaled.at(mx, my) > 0.1f ? 1 : 0;
        }
    }
    cv::Mat1b grown;
    cv::dilate(raw, grown, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(5, 5)));

    std::vector<bool> result(static_cast<size_t>(iw) * static_cast<size_t>(ih), false);
    for (int y = 0; y < ih; ++y)
        for (int x = 0; x < iw; ++x)
            if (grown(y, x) && geo::contains(selection, QPointF(x + 0.5, y + 0.5)))
                result[static_cast<size_t>(y) * static_cast<size_t>(iw) + static_cast<size_t>(x)] = true;
    return result;
}

SelectionContext selectionContext(const QImage& image, const QRectF& rect, bool requireBackground,
                                  const std::function<bool()>& isCancelled)
{
    pollCancellation(isCancelled);
    SelectionContext ctx;
    const QRectF bounds(0, 0, image.width(), image.height());
    ctx.selection = geo::intersection(geo::integral(rect), bounds);
    if (image.isNull() || geo::isEmpty(ctx.selection))
        fail(keepBackground);
    if (requireBackground && geo::same(ctx.selection, bounds))
        fail(keepBackground);

    const double margin = std::max(0.8 * std::max(ctx.selection.width(), ctx.selection.height()), 40.0);
    ctx.scene = geo::intersection(geo::integral(ctx.selection.adjusted(-margin, -margin, margin, margin)), bounds);
    ctx.crop = image.copy(ctx.scene.toRect());
    if (ctx.crop.isNull())
        fail(emptySelection);

    const double sceneW = ctx.scene.width(), sceneH = ctx.scene.height();
    const double scale = std::min(512.0 / std::max(sceneW, sceneH), 1.0);
    const int workW = std::max(static_cast<int>(sceneW * scale), 1);
    const int workH = std::max(static_cast<int>(sceneH * scale), 1);
    ctx.original = ObjectRemoval::Pixels(ctx.crop, workW, workH);

    const double sx = workW / sceneW, sy = workH / sceneH;
    const QRectF workSelection((ctx.selection.x() - ctx.scene.x()) * sx, (ctx.selection.y() - ctx.scene.y()) * sy,
                               ctx.selection.width() * sx, ctx.selection.height() * sy);
    ctx.excluded = ObjectRemoval::rectangleMask(workSelection, workW, workH);

    // A segmenter failure is no error: the whole selection is treated instead.
    std::optional<std::vector<bool>> object;
    try {
        object = foregroundMask(ctx.original.image(), workSelection, !requireBackground);
    } catch (const std::exception&) {
        object.reset();
    }
    if (object && std::find(object->begin(), object->end(), true) != object->end()) {
        ctx.mask = std::move(*object);
        ctx.detected = true;
    } else {
        ctx.mask = ctx.excluded;
        ctx.detected = false;
    }
    pollCancellation(isCancelled);
    return ctx;
}

// Blur, then squares of `block` pixels whose grid starts at the bottom-left corner,
// each square taking the blurred colour at its centre. A null image when it cannot be made.
QImage pixelatedImage(const QImage& crop, double block)
try {
    if (!std::isfinite(block) || block < 1)
        block = 1;
    QImage source = crop.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
    if (source.isNull())
        return {};
    const int w = source.width(), h = source.height();
    const cv::Mat wrapped(h, w, CV_8UC4, source.bits(), static_cast<size_t>(source.bytesPerLine()));
    cv::Mat blurred;
    cv::GaussianBlur(wrapped, blurred, cv::Size(0, 0), block * 0.5, block * 0.5, cv::BORDER_REPLICATE);

    std::vector<int> columns(static_cast<size_t>(w)), rows(static_cast<size_t>(h));
    for (int x = 0; x < w; ++x) {
        const double centre = (std::floor((x + 0.5) / block) + 0.5) * block;
        columns[static_cast<size_t>(x)] = std::clamp(static_cast<int>(std::floor(centre)), 0, w - 1);
    }
    for (int y = 0; y < h; ++y) {
        const double up = h - (y + 0.5); // distance from the bottom edge
        const double centre = h - (std::floor(up / block) + 0.5) * block;
        rows[static_cast<size_t>(y)] = std::clamp(static_cast<int>(std::floor(centre)), 0, h - 1);
    }
    QImage out(w, h, QImage::Format_RGBA8888_Premultiplied);
    if (out.isNull())
        return {};
    for (int y = 0; y < h; ++y) {
        const uint32_t* src = blurred.ptr<uint32_t>(rows[static_cast<size_t>(y)]);
        auto* dst = reinterpret_cast<uint32_t*>(out.scanLine(y));
        for (int x = 0; x < w; ++x)
            dst[x] = src[columns[static_cast<size_t>(x)]];
    }
    out.setColorSpace(QColorSpace::SRgb);
    return out;
} catch (const cv::Exception&) {
    return {};
} catch (const std::bad_alloc&) {
    return {};
}

} // namespace

ObjectRemoval::Pixels::Pixels(const QImage& image, std::optional<int> w, std::optional<int> h)
{
    const int targetW = w.value_or(image.width());
    const int targetH = h.value_or(image.height());
    if (image.isNull() || targetW < 1 || targetH < 1)
        fail(pixelsFailed);
    try {
        const QImage source = image.format() == QImage::Format_RGBA8888_Premultiplied
            ? image
            : image.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
        if (source.isNull())
            fail(pixelsFailed);
        const cv::Mat wrapped(source.height(), source.width(), CV_8UC4, const_cast<uchar*>(source.constBits()),
                              static_cast<size_t>(source.bytesPerLine()));
        std::vector<uint8_t> data(4 * static_cast<size_t>(targetW) * static_cast<size_t>(targetH));
        cv::Mat target(targetH, targetW, CV_8UC4, data.data());
        if (targetW == source.width() && targetH == source.height()) {
            wrapped.copyTo(target);
        } else {
            // Area averaging when shrinking; both keep premultiplied colours valid.
            const bool shrinking = targetW <= source.width() && targetH <= source.height();
            cv::resize(wrapped, target, target.size(), 0, 0, shrinking ? cv::INTER_AREA : cv::INTER_LINEAR);
        }
        width = targetW;
        height = targetH;
        bytes = std::move(data);
    } catch (const cv::Exception&) {
        fail(pixelsFailed);
    } catch (const std::bad_alloc&) {
        fail(pixelsFailed);
    }
}

QImage ObjectRemoval::Pixels::image() const
{
    const char* const failed = "Не удалось собрать восстановленный фон.";
    if (width < 1 || height < 1 || bytes.size() != 4 * static_cast<size_t>(width) * static_cast<size_t>(height))
        fail(failed);
    QImage out(width, height, QImage::Format_RGBA8888_Premultiplied);
    if (out.isNull())
        fail(failed);
    const size_t row = 4 * static_cast<size_t>(width);
    for (int y = 0; y < height; ++y)
        std::memcpy(out.scanLine(y), bytes.data() + row * static_cast<size_t>(y), row);
    out.setColorSpace(QColorSpace::SRgb);
    return out;
}

std::vector<bool> ObjectRemoval::rectangleMask(const QRectF& rect, int width, int height)
{
    std::vector<bool> mask(static_cast<size_t>(std::max(width, 0)) * static_cast<size_t>(std::max(height, 0)), false);
    if (width < 1 || height < 1 || geo::isNull(rect) || !geo::isFinite(rect))
        return mask;
    const QRectF r = geo::standardized(rect);
    const int x0 = static_cast<int>(std::max(0.0, std::floor(r.left())));
    const int x1 = static_cast<int>(std::min(static_cast<double>(width), std::ceil(r.right())));
    const int y0 = static_cast<int>(std::max(0.0, std::floor(r.top())));
    const int y1 = static_cast<int>(std::min(static_cast<double>(height), std::ceil(r.bottom())));
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            mask[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] = true;
    return mask;
}

BlurEffect ObjectRemoval::remove(const QImage& image, const QRectF& rect, const std::function<bool()>& isCancelled)
{
    const SelectionContext ctx = selectionContext(image, rect, true, isCancelled);
    const Pixels filled = inpaint(ctx.original, ctx.mask, ctx.excluded, isCancelled);

    Pixels full(ctx.crop);
    const Pixels up(filled.image(), full.width, full.height);
    const int workW = ctx.original.width, workH = ctx.original.height;
    const double sx = workW / ctx.scene.width(), sy = workH / ctx.scene.height();
    for (int y = 0; y < full.height; ++y) {
        pollCancellation(isCancelled);
        const int wy = std::min(static_cast<int>(y * sy), workH - 1);
        for (int x = 0; x < full.width; ++x) {
            const int wx = std::min(static_cast<int>(x * sx), workW - 1);
            if (!ctx.mask[static_cast<size_t>(wy) * static_cast<size_t>(workW) + static_cast<size_t>(wx)])
                continue;
            const size_t at = 4 * (static_cast<size_t>(y) * static_cast<size_t>(full.width) + static_cast<size_t>(x));
            std::memcpy(full.bytes.data() + at, up.bytes.data() + at, 4);
        }
    }

    const QRect cut = ctx.selection.translated(-ctx.scene.topLeft()).toRect();
    const QImage result = full.image().copy(cut);
    if (result.isNull() || result.size() != cut.size())
        fail("Не удалось восстановить выделенную область.");
    return BlurEffect{result, ctx.selection,
                      QString::fromUtf8(ctx.detected ? "Объект удалён. Проверьте восстановленный фон."
                                                     : "Контур не найден — восстановлена вся выделенная область.")};
}

BlurEffect ObjectRemoval::pixelate(const QImage& image, const QRectF& rect, double block,
                                   const std::function<bool()>& isCancelled)
{
    const SelectionContext ctx = selectionContext(image, rect, false, isCancelled);
    const QImage crop = image.copy(ctx.selection.toRect());
    if (crop.isNull())
        fail(emptySelection);
    const std::optional<QImage> pixelated =
        ImageContext::renderWithFallback([&](const ImageContext&) { return pixelatedImage(crop, block); });
    if (!pixelated)
        fail("Не удалось применить пиксели к объекту.");

    Pixels a(crop);
    const Pixels b(*pixelated);
    const int workW = ctx.original.width, workH = ctx.original.height;
    const double sx = workW / ctx.scene.width(), sy = workH / ctx.scene.height();
    const double offsetX = ctx.selection.x() - ctx.scene.x(), offsetY = ctx.selection.y() - ctx.scene.y();
    for (int y = 0; y < a.height; ++y) {
        pollCancellation(isCancelled);
        const int wy = std::min(static_cast<int>((offsetY + y) * sy), workH - 1);
        for (int x = 0; x < a.width; ++x) {
            const int wx = std::min(static_cast<int>((offsetX + x) * sx), workW - 1);
            if (!ctx.mask[static_cast<size_t>(wy) * static_cast<size_t>(workW) + static_cast<size_t>(wx)])
                continue;
            const size_t at = 4 * (static_cast<size_t>(y) * static_cast<size_t>(a.width) + static_cast<size_t>(x));
            std::memcpy(a.bytes.data() + at, b.bytes.data() + at, 4);
        }
    }
    return BlurEffect{a.image(), ctx.selection,
                      QString::fromUtf8(ctx.detected ? "Пиксели применены к объекту. Проверьте его границы."
                                                     : "Контур не найден — пиксели применены ко всему выделению.")};
}

} // namespace tarnwick
