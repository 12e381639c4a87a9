#include "render/LocalEffects.h"

#include "render/EffectPixels.h"
#include "render/Engines.h"

#include "series/Geometry.h"
#include "platform/TarnwickError.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <mutex>
#include <new>
#include <vector>

namespace tarnwick {

namespace {

std::mutex hooksLock;
LocalEffectHooks& hooksStorage()
{
    static LocalEffectHooks hooks = standardEffectHooks();
    return hooks;
}

const QString emptyAreaText = QStringLiteral("Выделенная область пуста.");

// A shot wider than any screen must not turn the reach of a blur into gigabytes.
constexpr double maxSigma = 512;

// The bilinear sample of an effect-format image at a point given in pixel-centre
// units (pixel (0, 0) is at 0, 0), clamped to the image.
std::array<float, 4> sample(const QImage& image, double fx, double fy)
{
    const int w = image.width(), h = image.height();
    fx = std::clamp(fx, 0.0, static_cast<double>(w - 1));
    fy = std::clamp(fy, 0.0, static_cast<double>(h - 1));
    const int x0 = static_cast<int>(fx), y0 = static_cast<int>(fy);
    const int x1 = std::min(x0 + 1, w - 1), y1 = std::min(y0 + 1, h - 1);
    const float tx = static_cast<float>(fx - x0), ty = static_cast<float>(fy - y0);
    const std::uint8_t* r0 = image.constScanLine(y0);
    const std::uint8_t* r1 = image.constScanLine(y1);
    std::array<float, 4> v{};
    for (int c = 0; c < 4; ++c) {
        const float top = r0[4 * x0 + c] * (1 - tx) + r0[4 * x1 + c] * tx;
        const float bottom = r1[4 * x0 + c] * (1 - tx) + r1[4 * x1 + c] * tx;
        v[static_cast<std::size_t>(c)] = top * (1 - ty) + bottom * ty;
    }
    return v;
}

double median7(std::array<std::uint8_t, 7> values)
{
    std::nth_element(values.begin(), values.begin() + 3, values.end());
    return values[3];
}

// How much of pixel [p, p + 1) lies inside [lo, hi).
inline double coverage(int p, double lo, double hi)
{
    return std::max(0.0, std::min(hi, p + 1.0) - std::max(lo, static_cast<double>(p)));
}

int pixelCount(double v)
{
    if (!std::isfinite(v) || v <= 0)
        return 0;
    return static_cast<int>(std::min(v, static_cast<double>(std::numeric_limits<int>::max())));
}

} // namespace

LocalEffectHooks standardEffectHooks()
{
    LocalEffectHooks hooks;
    hooks.wordRegions = [](const QImage& crop, const CancellationTest& isCancelled) {
        const std::vector<QRectF> words = recognitionEngine().wordRegions(crop, crop.rect(), isCancelled);
        return QVector<QRectF>(words.begin(), words.end());
    };
    hooks.objectErase = [](const QImage& image, const QRectF& rect, const CancellationTest& isCancelled) {
        return effectsEngine().removeObject(image, rect, isCancelled);
    };
    hooks.objectPixelate = [](const QImage& image, const QRectF& rect, double block, const CancellationTest& isCancelled) {
        return effectsEngine().pixelateObject(image, rect, block, isCancelled);
    };
    return hooks;
}

void setLocalEffectHooks(LocalEffectHooks hooks)
{
    std::lock_guard guard(hooksLock);
    hooksStorage() = std::move(hooks);
}

LocalEffectHooks localEffectHooks()
{
    std::lock_guard guard(hooksLock);
    return hooksStorage();
}

double areaBlurRadius(double shotWidth)
{
    const double w = std::isfinite(shotWidth) ? shotWidth : 0;
    return std::max(w / 70, 14.0);
}

double textBlurRadius(double shotWidth)
{
    const double w = std::isfinite(shotWidth) ? shotWidth : 0;
    return std::max(std::min(w / 70, 28.0), 10.0);
}

double pixelBlockSize(double shotWidth)
{
    const double w = std::isfinite(shotWidth) ? shotWidth : 0;
    return std::max(std::min(w / 65, 32.0), 8.0);
}

QImage effectContext(int width, int height)
{
    const QString failure = QStringLiteral("Не удалось подготовить область изображения.");
    if (width < 1 || height < 1)
        throw TarnwickError::message(failure);
    QImage image(width, height, QImage::Format_RGBA8888_Premultiplied);
    if (image.isNull())
        throw TarnwickError::message(failure);
    image.fill(Qt::transparent);
    return image;
}

QImage filteredImage(const std::function<QImage(const ImageContext&)>& renderer)
{
    auto guarded = [&](const ImageContext& context) -> QImage {
        try {
            return renderer(context);
        } catch (const std::bad_alloc&) {
            return QImage();
        }
    };
    auto image = ImageContext::renderWithFallback(guarded);
    if (!image)
        throw TarnwickError::message(QStringLiteral("Не удалось обработать область. Попробуйте другой режим."));
    return *image;
}

QImage effectFormat(const QImage& image)
{
    if (image.format() == QImage::Format_RGBA8888_Premultiplied)
        return image;
    return image.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
}

QImage requiredBlurredRegion(const QImage& image, const QRect& bounds, const QRect& region, double sigma)
{
    if (image.isNull() || bounds.isEmpty() || region.isEmpty() || !image.rect().contains(bounds))
        return QImage();
    sigma = std::isnan(sigma) || sigma < 0 ? 0.0 : std::min(sigma, maxSigma);
    QImage blurred;
    try {
        blurred = effectsEngine().blurredRegion(image, bounds, region, sigma);
    } catch (const std::bad_alloc&) {
    }
    // The module answers an empty image where its memory ran out.
    if (blurred.size() != region.size())
        throw TarnwickError::message(
            QStringLiteral("Не хватило памяти для размытия. Закройте другие программы и попробуйте снова."));
    return blurred;
}

QImage blurredRegion(const QImage& image, const QRect& bounds, const QRect& region, double sigma)
{
    try {
        return requiredBlurredRegion(image, bounds, region, sigma);
    } catch (const TarnwickError&) {
        // Also runs in painting: a missing module is a failed blur here; effect jobs
        // report it through their own first call to the module.
        return QImage();
    }
}

QImage pixelatedCrop(const QImage& crop, double block)
{
    if (crop.isNull() || !(block > 0) || !std::isfinite(block))
        return QImage();
    const QImage blurred = blurredRegion(crop, crop.rect(), crop.rect(), block * 0.5);
    if (blurred.isNull())
        return QImage();
    const int w = crop.width(), h = crop.height();
    QImage out(w, h, QImage::Format_RGBA8888_Premultiplied);
    if (out.isNull())
        return QImage();

    // The grid runs from the lower-left corner, y upward; each square takes the
    // colour at its centre.
    std::vector<int> cellX(static_cast<std::size_t>(w)), cellY(static_cast<std::size_t>(h));
    for (int x = 0; x < w; ++x)
        cellX[static_cast<std::size_t>(x)] = static_cast<int>(std::floor((x + 0.5) / block));
    for (int j = 0; j < h; ++j)
        cellY[static_cast<std::size_t>(j)] = static_cast<int>(std::floor((h - j - 0.5) / block));
    const int columns = cellX.back() + 1;
    const int rows = cellY.front() + 1;
    std::vector<std::array<std::uint8_t, 4>> colours(static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows));
    for (int cy = 0; cy < rows; ++cy) {
        for (int cx = 0; cx < columns; ++cx) {
            const double px = (cx + 0.5) * block;
            const double py = (cy + 0.5) * block;
            const auto v = sample(blurred, px - 0.5, (h - py) - 0.5);
            auto& c = colours[static_cast<std::size_t>(cy) * static_cast<std::size_t>(columns) + static_cast<std::size_t>(cx)];
            for (int k = 0; k < 4; ++k)
                c[static_cast<std::size_t>(k)] = effectPixels::toByte(v[static_cast<std::size_t>(k)]);
            effectPixels::clampToAlpha(c.data());
        }
    }
    for (int j = 0; j < h; ++j) {
        std::uint8_t* dst = out.scanLine(j);
        const auto* row = colours.data() + static_cast<std::size_t>(cellY[static_cast<std::size_t>(j)]) * static_cast<std::size_t>(columns);
        for (int x = 0; x < w; ++x)
            std::copy_n(row[cellX[static_cast<std::size_t>(x)]].data(), 4, dst + 4 * x);
    }
    return out;
}

QImage erasedRegion(const QImage& image, const QRect& region)
{
    const int Wi = image.width(), Hi = image.height();
    const int x0 = region.x(), y0 = region.y(), w = region.width(), h = region.height();
    if (x0 <= 0 && y0 <= 0 && x0 + w >= Wi && y0 + h >= Hi)
        throw TarnwickError::message(QStringLiteral("Оставьте вокруг выделения видимый фон для восстановления."));
    QImage out = effectContext(w, h);

    auto at = [&](int x, int y) -> const std::uint8_t* {
        return image.constScanLine(std::clamp(y, 0, Hi - 1)) + 4 * std::clamp(x, 0, Wi - 1);
    };
    const int topRow = std::min(std::max(y0 - 1, 0), Hi - 1);
    const int bottomRow = std::min(y0 + h, Hi - 1);
    const int leftColumn = std::min(std::max(x0 - 1, 0), Wi - 1);
    const int rightColumn = std::min(x0 + w, Wi - 1);

    std::vector<double> T(static_cast<std::size_t>(w)), B(static_cast<std::size_t>(w));
    std::vector<double> L(static_cast<std::size_t>(h)), Rt(static_cast<std::size_t>(h));
    std::vector<double> U(static_cast<std::size_t>(w)), V(static_cast<std::size_t>(h));
    for (int i = 0; i < w; ++i)
        U[static_cast<std::size_t>(i)] = (i + 1.0) / (w + 1.0);
    for (int j = 0; j < h; ++j)
        V[static_cast<std::size_t>(j)] = (j + 1.0) / (h + 1.0);
    const bool touchesTop = y0 == 0, touchesBottom = y0 + h == Hi;
    const bool touchesLeft = x0 == 0, touchesRight = x0 + w == Wi;

    for (int c = 0; c < 4; ++c) {
        std::array<std::uint8_t, 7> window{};
        for (int i = 0; i < w; ++i) {
            const int x = x0 + i;
            for (int d = -3; d <= 3; ++d)
                window[static_cast<std::size_t>(d + 3)] = at(x + d, topRow)[c];
            T[static_cast<std::size_t>(i)] = median7(window);
            for (int d = -3; d <= 3; ++d)
                window[static_cast<std::size_t>(d + 3)] = at(x + d, bottomRow)[c];
            B[static_cast<std::size_t>(i)] = median7(window);
        }
        for (int j = 0; j < h; ++j) {
            const int y = y0 + j;
            for (int d = -3; d <= 3; ++d)
                window[static_cast<std::size_t>(d + 3)] = at(leftColumn, y + d)[c];
            L[static_cast<std::size_t>(j)] = median7(window);
            for (int d = -3; d <= 3; ++d)
                window[static_cast<std::size_t>(d + 3)] = at(rightColumn, y + d)[c];
            Rt[static_cast<std::size_t>(j)] = median7(window);
        }

        // Lines that fall inside the area because it touches the image's edge.
        if (touchesTop && touchesBottom) {
            const double l0 = L.front(), r0 = Rt.front(), l1 = L.back(), r1 = Rt.back();
            for (int i = 0; i < w; ++i) {
                const double t = U[static_cast<std::size_t>(i)];
                T[static_cast<std::size_t>(i)] = l0 * (1 - t) + r0 * t;
                B[static_cast<std::size_t>(i)] = l1 * (1 - t) + r1 * t;
            }
        } else if (touchesTop) {
            T = B;
        } else if (touchesBottom) {
            B = T;
        }
        if (touchesLeft && touchesRight) {
            const double t0 = T.front(), b0 = B.front(), t1 = T.back(), b1 = B.back();
            for (int j = 0; j < h; ++j) {
                const double t = V[static_cast<std::size_t>(j)];
                L[static_cast<std::size_t>(j)] = t0 * (1 - t) + b0 * t;
                Rt[static_cast<std::size_t>(j)] = t1 * (1 - t) + b1 * t;
            }
        } else if (touchesLeft) {
            L = Rt;
        } else if (touchesRight) {
            Rt = L;
        }

        const double c00 = T.front(), c10 = T.back(), c01 = B.front(), c11 = B.back();
        for (int j = 0; j < h; ++j) {
            const double v = V[static_cast<std::size_t>(j)];
            const double l = L[static_cast<std::size_t>(j)], r = Rt[static_cast<std::size_t>(j)];
            std::uint8_t* dst = out.scanLine(j);
            for (int i = 0; i < w; ++i) {
                const double u = U[static_cast<std::size_t>(i)];
                const double value = (1 - u) * l + u * r + (1 - v) * T[static_cast<std::size_t>(i)] + v * B[static_cast<std::size_t>(i)]
                    - ((1 - u) * (1 - v) * c00 + u * (1 - v) * c10 + (1 - u) * v * c01 + u * v * c11);
                dst[4 * i + c] = static_cast<std::uint8_t>(std::clamp(std::round(value), 0.0, 255.0));
            }
        }
    }
    for (int j = 0; j < h; ++j) {
        std::uint8_t* dst = out.scanLine(j);
        for (int i = 0; i < w; ++i)
            effectPixels::clampToAlpha(dst + 4 * i);
    }
    return out;
}

QImage textBlurred(const QImage& crop, const QImage& blurredCrop, const QVector<QRectF>& words)
{
    const int w = crop.width(), h = crop.height();
    QImage out = effectContext(w, h);
    for (int j = 0; j < h; ++j)
        std::copy_n(crop.constScanLine(j), 4 * w, out.scanLine(j));
    const QRectF bounds(0, 0, w, h);
    for (const QRectF& b : words) {
        // Normalised, origin lower left: into the crop's pixels, still y upward.
        const QRectF scaled(b.x() * w, b.y() * h, b.width() * w, b.height() * h);
        const QRectF box = geo::intersection(geo::insetBy(scaled, -2, -2), bounds);
        if (geo::isEmpty(box))
            continue;
        const double left = box.left(), right = box.right();
        const double top = h - box.bottom(), bottom = h - box.top();
        const int i0 = static_cast<int>(std::floor(left)), i1 = static_cast<int>(std::ceil(right));
        const int j0 = static_cast<int>(std::floor(top)), j1 = static_cast<int>(std::ceil(bottom));
        for (int j = j0; j < j1; ++j) {
            const double cy = coverage(j, top, bottom);
            const std::uint8_t* src = blurredCrop.constScanLine(j);
            std::uint8_t* dst = out.scanLine(j);
            for (int i = i0; i < i1; ++i) {
                // Source-over through a clip that covers part of the pixel.
                const double cover = cy * coverage(i, left, right);
                const std::uint8_t* s = src + 4 * i;
                std::uint8_t* d = dst + 4 * i;
                const double keep = 1 - s[3] / 255.0;
                for (int c = 0; c < 4; ++c) {
                    const double over = s[c] + d[c] * keep;
                    d[c] = effectPixels::toByte(static_cast<float>(cover * over + (1 - cover) * d[c]));
                }
                effectPixels::clampToAlpha(d);
            }
        }
    }
    return out;
}

BlurEffect computeLocal(const Annotation& annotation, const QImage& source, const QSizeF& size,
                        const QSizeF& styleSize, const CancellationTest& isCancelled)
{
    const QRectF frame(0, 0, geo::isFinite(size) ? size.width() : 0, geo::isFinite(size) ? size.height() : 0);
    const QRectF R = geo::intersection(geo::integral(annotation.rect()), frame);
    if (geo::isEmpty(R))
        throw TarnwickError::message(emptyAreaText);
    // The crop of R; a source smaller than the frame gives a smaller crop, none gives nothing.
    const QRect pixels = QRect(static_cast<int>(std::floor(R.x())), static_cast<int>(std::floor(R.y())),
                               pixelCount(std::ceil(R.right()) - std::floor(R.x())),
                               pixelCount(std::ceil(R.bottom()) - std::floor(R.y())))
                             .intersected(source.rect());
    if (source.isNull() || pixels.isEmpty())
        throw TarnwickError::message(emptyAreaText);
    const QImage image = effectFormat(source);
    const QImage crop = image.copy(pixels);
    if (image.isNull() || crop.isNull())
        throw TarnwickError::message(emptyAreaText);
    const double W = styleSize.width();
    const LocalEffectHooks hooks = localEffectHooks();

    switch (annotation.blurMode) {
    case BlurMode::area: {
        const double sigma = areaBlurRadius(W);
        const QImage blurred = filteredImage([&](const ImageContext&) {
            return blurredRegion(image, image.rect(), pixels, sigma);
        });
        if (blurred.size() != pixels.size())
            throw TarnwickError::message(QStringLiteral("Не удалось применить блюр."));
        return BlurEffect{blurred, R, std::nullopt};
    }
    case BlurMode::text: {
        if (!hooks.wordRegions)
            throw TarnwickError::message(QStringLiteral("Размытие текста недоступно: распознавание слов не подключено."));
        const QVector<QRectF> words = hooks.wordRegions(crop, isCancelled);
        if (words.isEmpty())
            return BlurEffect{crop, R, QStringLiteral("Текст в выделении не найден")};
        const double sigma = textBlurRadius(W);
        const QImage blurred = filteredImage([&](const ImageContext&) {
            return blurredRegion(crop, crop.rect(), crop.rect(), sigma);
        });
        return BlurEffect{textBlurred(crop, blurred, words), R, std::nullopt};
    }
    case BlurMode::pixelate: {
        const double block = pixelBlockSize(W);
        const QImage blocks = filteredImage([&](const ImageContext&) { return pixelatedCrop(crop, block); });
        return BlurEffect{blocks, R, std::nullopt};
    }
    case BlurMode::objectPixelate:
        if (!hooks.objectPixelate)
            throw TarnwickError::message(QStringLiteral("Пикселизация объекта недоступна: поиск объектов не подключён."));
        return hooks.objectPixelate(image, R, pixelBlockSize(W), isCancelled);
    case BlurMode::objectErase:
        if (!hooks.objectErase)
            throw TarnwickError::message(QStringLiteral("Удаление объекта недоступно: поиск объектов не подключён."));
        return hooks.objectErase(image, R, isCancelled);
    case BlurMode::erase: {
        QImage rebuilt;
        try {
            rebuilt = erasedRegion(image, pixels);
        } catch (const std::bad_alloc&) {
            throw TarnwickError::message(QStringLiteral("Не удалось восстановить фон."));
        }
        if (rebuilt.isNull())
            throw TarnwickError::message(QStringLiteral("Не удалось восстановить фон."));
        return BlurEffect{rebuilt, R, std::nullopt};
    }
    }
    throw TarnwickError::message(emptyAreaText);
}

} // namespace tarnwick
