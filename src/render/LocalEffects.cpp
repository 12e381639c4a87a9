#include "render/LocalEffects.h"

#include "render/ObjectRemoval.h"
#include "render/WordRegions.h"

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

inline std::uint8_t toByte(float v)
{
    if (!(v > 0))
        return 0;
    if (v >= 255)
        return 255;
    return static_cast<std::uint8_t>(v + 0.5f);
}

// Premultiplied colour may not exceed its alpha; rounding can push it over by a level.
inline void clampToAlpha(std::uint8_t* px)
{
    const std::uint8_t a = px[3];
    px[0] = std::min(px[0], a);
    px[1] = std::min(px[1], a);
    px[2] = std::min(px[2], a);
}

// One pass of an extended box filter: 2r + 1 full taps and two end taps of
// weight alpha (below 1), which lets the passes' variance match the Gaussian's
// exactly instead of jumping between odd box widths.
struct BoxPass {
    int r = 0;
    float alpha = 0;
    int reach() const { return r + 1; }
};

// Five passes keep hard edges within about four levels of a true Gaussian.
constexpr int boxPassCount = 5;
using BoxPasses = std::array<BoxPass, boxPassCount>;

BoxPasses boxPasses(double sigma)
{
    BoxPasses passes{};
    if (!(sigma > 0))
        return passes;
    const double s = sigma * sigma / boxPassCount;
    const int r = static_cast<int>(std::floor(std::sqrt(3 * s + 0.25) - 0.5));
    const double alpha = (2 * r + 1) * (s - r * (r + 1) / 3.0) / (2 * ((r + 1.0) * (r + 1.0) - s));
    for (BoxPass& pass : passes)
        pass = BoxPass{r, static_cast<float>(std::clamp(alpha, 0.0, 1.0))};
    return passes;
}

// One pass along a line of RGBA floats: `count` outputs from count + 2 reach inputs.
void boxLine(const float* in, int count, const BoxPass& pass, float* out)
{
    const int r = pass.r;
    const float alpha = pass.alpha;
    const float inv = 1.0f / (static_cast<float>(2 * r + 1) + 2 * alpha);
    float s[4] = {0, 0, 0, 0};
    for (int k = 1; k <= 2 * r + 1; ++k)
        for (int c = 0; c < 4; ++c)
            s[c] += in[4 * k + c];
    for (int x = 0; x < count; ++x) {
        const float* lo = in + 4 * x;
        const float* hi = in + 4 * (x + 2 * r + 2);
        float* o = out + 4 * x;
        for (int c = 0; c < 4; ++c)
            o[c] = (s[c] + alpha * (lo[c] + hi[c])) * inv;
        if (x + 1 < count) {
            // Slide the full taps: the old low end tap joins, the first full tap leaves.
            const float* leave = in + 4 * (x + 1);
            for (int c = 0; c < 4; ++c)
                s[c] += hi[c] - leave[c];
        }
    }
}

// One pass down rows of `stride` floats: `rows` outputs from rows + 2 reach inputs.
void boxRows(const float* in, int rows, std::size_t stride, const BoxPass& pass, float* out, std::vector<float>& acc)
{
    const int r = pass.r;
    const float alpha = pass.alpha;
    const float inv = 1.0f / (static_cast<float>(2 * r + 1) + 2 * alpha);
    auto row = [&](int y) { return in + static_cast<std::size_t>(y) * stride; };
    acc.assign(stride, 0.0f);
    float* a = acc.data();
    for (int k = 1; k <= 2 * r + 1; ++k) {
        const float* src = row(k);
        for (std::size_t i = 0; i < stride; ++i)
            a[i] += src[i];
    }
    for (int y = 0; y < rows; ++y) {
        const float* lo = row(y);
        const float* hi = row(y + 2 * r + 2);
        float* o = out + static_cast<std::size_t>(y) * stride;
        for (std::size_t i = 0; i < stride; ++i)
            o[i] = (a[i] + alpha * (lo[i] + hi[i])) * inv;
        if (y + 1 < rows) {
            const float* leave = row(y + 1);
            for (std::size_t i = 0; i < stride; ++i)
                a[i] += hi[i] - leave[i];
        }
    }
}

int totalReach(const BoxPasses& passes)
{
    int reach = 0;
    for (const BoxPass& pass : passes)
        reach += pass.reach();
    return reach;
}

// All passes along one line: `line` holds width + 2 reach pixels and is used as
// scratch together with `scratch`; the result goes to `dst`.
void horizontalPasses(float* line, float* scratch, int width, const BoxPasses& passes, float* dst)
{
    int count = width + 2 * totalReach(passes);
    float* from = line;
    float* to = scratch;
    for (std::size_t p = 0; p < passes.size(); ++p) {
        count -= 2 * passes[p].reach();
        boxLine(from, count, passes[p], p + 1 == passes.size() ? dst : to);
        std::swap(from, to);
    }
}

// All passes down `rows`, which holds height + 2 reach rows; returns the first
// of the `height` result rows, in `rows` or `spare`.
const float* verticalPasses(std::vector<float>& rows, std::vector<float>& spare, int height, std::size_t stride,
                            const BoxPasses& passes)
{
    std::vector<float> acc;
    int count = height + 2 * totalReach(passes);
    float* from = rows.data();
    float* to = spare.data();
    for (const BoxPass& pass : passes) {
        count -= 2 * pass.reach();
        boxRows(from, count, stride, pass, to, acc);
        std::swap(from, to);
    }
    return from;
}

void storePixel(const float* src, std::uint8_t* px)
{
    px[0] = toByte(src[0]);
    px[1] = toByte(src[1]);
    px[2] = toByte(src[2]);
    px[3] = toByte(src[3]);
    clampToAlpha(px);
}

// Blurs one tile of the output at full resolution; reads the tile plus the
// passes' reach, clamped into `bounds`.
void blurTile(const QImage& image, const QRect& bounds, const QRect& tile, const BoxPasses& passes, QImage& out,
              const QPoint& outOffset)
{
    const int reach = totalReach(passes);
    const int tw = tile.width(), th = tile.height();
    const int iw = tw + 2 * reach, ih = th + 2 * reach;
    const std::size_t stride = static_cast<std::size_t>(tw) * 4;

    std::vector<int> columns(static_cast<std::size_t>(iw));
    for (int i = 0; i < iw; ++i)
        columns[static_cast<std::size_t>(i)] = std::clamp(tile.x() - reach + i, bounds.left(), bounds.right());

    std::vector<float> line(static_cast<std::size_t>(iw) * 4), scratch(static_cast<std::size_t>(iw) * 4);
    std::vector<float> rows(static_cast<std::size_t>(ih) * stride), spare(static_cast<std::size_t>(ih) * stride);
    int previousSource = -1;
    for (int j = 0; j < ih; ++j) {
        float* dst = rows.data() + static_cast<std::size_t>(j) * stride;
        const int sy = std::clamp(tile.y() - reach + j, bounds.top(), bounds.bottom());
        if (sy == previousSource) {
            // Rows repeated beyond the edge blur to the same line.
            std::copy_n(dst - stride, stride, dst);
            continue;
        }
        previousSource = sy;
        const std::uint8_t* src = image.constScanLine(sy);
        for (int i = 0; i < iw; ++i) {
            const std::uint8_t* px = src + 4 * columns[static_cast<std::size_t>(i)];
            float* o = line.data() + 4 * i;
            o[0] = px[0];
            o[1] = px[1];
            o[2] = px[2];
            o[3] = px[3];
        }
        horizontalPasses(line.data(), scratch.data(), tw, passes, dst);
    }
    const float* result = verticalPasses(rows, spare, th, stride, passes);
    for (int j = 0; j < th; ++j) {
        const float* src = result + static_cast<std::size_t>(j) * stride;
        std::uint8_t* dst = out.scanLine(outOffset.y() + j) + 4 * outOffset.x();
        for (int i = 0; i < tw; ++i)
            storePixel(src + 4 * i, dst + 4 * i);
    }
}

// Where output pixel i of a run samples the reduced grid: cell and weight of the next cell.
struct Tap {
    int cell;
    float weight;
};

std::vector<Tap> upsampleTaps(int count, int factor)
{
    std::vector<Tap> taps(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const double t = (i + 0.5) / factor + 0.5;
        const int cell = static_cast<int>(t);
        taps[static_cast<std::size_t>(i)] = Tap{cell, static_cast<float>(t - cell)};
    }
    return taps;
}

// One tile of a wide blur computed on a grid reduced by `factor`. The blur is so
// wide that the reduction loses nothing visible.
// Tiles whose offsets are multiples of the factor share one reduced grid, so they join seamlessly.
void blurReducedTile(const QImage& image, const QRect& bounds, const QRect& tile, const BoxPasses& passes,
                     int factor, QImage& out, const QPoint& outOffset)
{
    const int f = factor;
    const int reach = totalReach(passes);
    const int w = tile.width(), h = tile.height();
    // Reduced cell X covers the pixels from gx + f X; the blurred grid starts `reach` cells in.
    const int lw = static_cast<int>((w - 0.5) / f + 0.5) + 2;
    const int lh = static_cast<int>((h - 0.5) / f + 0.5) + 2;
    const int pw = lw + 2 * reach, ph = lh + 2 * reach;
    const int gx = tile.x() - f * (reach + 1), gy = tile.y() - f * (reach + 1);
    const std::size_t stride = static_cast<std::size_t>(lw) * 4;

    std::vector<int> columns(static_cast<std::size_t>(pw) * static_cast<std::size_t>(f));
    for (std::size_t k = 0; k < columns.size(); ++k)
        columns[k] = std::clamp(gx + static_cast<int>(k), bounds.left(), bounds.right());
    std::vector<float> sums(columns.size() * 4);
    std::vector<float> line(static_cast<std::size_t>(pw) * 4), scratch(static_cast<std::size_t>(pw) * 4);
    std::vector<float> rows(static_cast<std::size_t>(ph) * stride), spare(static_cast<std::size_t>(ph) * stride);
    const float cellArea = 1.0f / static_cast<float>(f * f);
    for (int Y = 0; Y < ph; ++Y) {
        std::fill(sums.begin(), sums.end(), 0.0f);
        for (int k = 0; k < f; ++k) {
            const std::uint8_t* src = image.constScanLine(std::clamp(gy + f * Y + k, bounds.top(), bounds.bottom()));
            float* acc = sums.data();
            for (std::size_t i = 0; i < columns.size(); ++i) {
                const std::uint8_t* px = src + 4 * columns[i];
                acc[4 * i] += px[0];
                acc[4 * i + 1] += px[1];
                acc[4 * i + 2] += px[2];
                acc[4 * i + 3] += px[3];
            }
        }
        for (int X = 0; X < pw; ++X) {
            float cell[4] = {0, 0, 0, 0};
            for (int k = 0; k < f; ++k)
                for (int c = 0; c < 4; ++c)
                    cell[c] += sums[4 * static_cast<std::size_t>(X * f + k) + static_cast<std::size_t>(c)];
            for (int c = 0; c < 4; ++c)
                line[4 * static_cast<std::size_t>(X) + static_cast<std::size_t>(c)] = cell[c] * cellArea;
        }
        horizontalPasses(line.data(), scratch.data(), lw, passes, rows.data() + static_cast<std::size_t>(Y) * stride);
    }
    const float* grid = verticalPasses(rows, spare, lh, stride, passes);

    const std::vector<Tap> across = upsampleTaps(w, f), down = upsampleTaps(h, f);
    for (int y = 0; y < h; ++y) {
        const Tap ty = down[static_cast<std::size_t>(y)];
        const float* r0 = grid + static_cast<std::size_t>(ty.cell) * stride;
        const float* r1 = r0 + stride;
        std::uint8_t* dst = out.scanLine(outOffset.y() + y) + 4 * outOffset.x();
        for (int x = 0; x < w; ++x) {
            const Tap tx = across[static_cast<std::size_t>(x)];
            const float* a = r0 + 4 * tx.cell;
            const float* b = r1 + 4 * tx.cell;
            float v[4];
            for (int c = 0; c < 4; ++c) {
                const float top = a[c] + (a[c + 4] - a[c]) * tx.weight;
                const float bottom = b[c] + (b[c + 4] - b[c]) * tx.weight;
                v[c] = top + (bottom - top) * ty.weight;
            }
            storePixel(v, dst + 4 * x);
        }
    }
}

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
        const std::vector<QRectF> words = ScreenTextRecognizer::wordRegions(crop, crop.rect(), isCancelled);
        return QVector<QRectF>(words.begin(), words.end());
    };
    hooks.objectErase = &ObjectRemoval::remove;
    hooks.objectPixelate = &ObjectRemoval::pixelate;
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

QImage blurredRegion(const QImage& image, const QRect& bounds, const QRect& region, double sigma)
{
    if (image.isNull() || bounds.isEmpty() || region.isEmpty() || !image.rect().contains(bounds))
        return QImage();
    QImage out(region.size(), QImage::Format_RGBA8888_Premultiplied);
    if (out.isNull())
        return QImage();
    sigma = std::isnan(sigma) || sigma < 0 ? 0.0 : std::min(sigma, maxSigma);
    // Wide blurs run on a grid reduced by `factor`, keeping a spread of at least 7
    // cells there: the area is averaged down, blurred with the variance that is
    // left, and interpolated back up.
    const int factor = std::max(1, static_cast<int>(sigma / 7));
    const double leftover = sigma * sigma - (factor * factor - 1) / 12.0 - factor * factor / 6.0;
    const BoxPasses passes = boxPasses(factor == 1 ? sigma : std::sqrt(std::max(leftover, 0.25)) / factor);
    // Tiles keep the working memory bounded; each reads its own reach around it.
    const int tileSide = factor * std::max(factor == 1 ? 1024 : 512, 2 * totalReach(passes));
    for (int ty = 0; ty < region.height(); ty += tileSide) {
        for (int tx = 0; tx < region.width(); tx += tileSide) {
            const QRect tile(region.x() + tx, region.y() + ty, std::min(tileSide, region.width() - tx),
                             std::min(tileSide, region.height() - ty));
            if (factor == 1)
                blurTile(image, bounds, tile, passes, out, QPoint(tx, ty));
            else
                blurReducedTile(image, bounds, tile, passes, factor, out, QPoint(tx, ty));
        }
    }
    return out;
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
                c[static_cast<std::size_t>(k)] = toByte(v[static_cast<std::size_t>(k)]);
            clampToAlpha(c.data());
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
            clampToAlpha(dst + 4 * i);
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
                    d[c] = toByte(static_cast<float>(cover * over + (1 - cover) * d[c]));
                }
                clampToAlpha(d);
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
