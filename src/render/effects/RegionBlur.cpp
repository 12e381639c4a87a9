#include "render/effects/OpenCvEffects.h"

#include "render/EffectPixels.h"

#include <opencv2/core.hpp>
#include <opencv2/core/ocl.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace tarnwick {

namespace {

// An effect-format image as a matrix of the same pixels, no copy.
cv::Mat matOf(const QImage& image)
{
    return cv::Mat(image.height(), image.width(), CV_8UC4, const_cast<uchar*>(image.constBits()),
                   static_cast<std::size_t>(image.bytesPerLine()));
}

cv::Rect cvRect(const QRect& r) { return cv::Rect(r.x(), r.y(), r.width(), r.height()); }

// The pixels of `want` from `image`, those beyond `bounds` repeating its edge pixels.
// A window of the image itself where no repeating is needed.
cv::Mat extended(const cv::Mat& image, const QRect& bounds, const QRect& want)
{
    const QRect inside = want.intersected(bounds);
    if (inside == want)
        return image(cvRect(want));
    // An area wholly beyond `bounds` repeats the nearest edge pixel.
    const QRect from = inside.isEmpty()
        ? QRect(std::clamp(want.x(), bounds.left(), bounds.right()), std::clamp(want.y(), bounds.top(), bounds.bottom()), 1, 1)
        : inside;
    cv::Mat out;
    cv::copyMakeBorder(image(cvRect(from)), out, std::max(0, from.top() - want.top()),
                       std::max(0, want.bottom() - from.bottom()), std::max(0, from.left() - want.left()),
                       std::max(0, want.right() - from.right()), cv::BORDER_REPLICATE);
    return out(cv::Rect(std::max(0, want.left() - from.left()), std::max(0, want.top() - from.top()), want.width(),
                        want.height()));
}

// Rounded bytes with colour kept within alpha (rounding can push it over by a level).
void storeTile(const cv::Mat& result, QImage& out, const QPoint& at)
{
    cv::Mat bytes;
    result.convertTo(bytes, CV_8UC4);
    cv::Mat target = matOf(out)(cv::Rect(at.x(), at.y(), bytes.cols, bytes.rows));
    bytes.copyTo(target);
    for (int y = 0; y < bytes.rows; ++y) {
        std::uint8_t* px = out.scanLine(at.y() + y) + 4 * at.x();
        for (int x = 0; x < bytes.cols; ++x)
            effectPixels::clampToAlpha(px + 4 * x);
    }
}

// One tile at full resolution, read with the filter's reach around it.
void blurTile(const cv::Mat& image, const QRect& bounds, const QRect& tile, double sigma, QImage& out,
              const QPoint& at)
{
    const int reach = static_cast<int>(std::ceil(3 * sigma)) + 1;
    const QRect around = tile.adjusted(-reach, -reach, reach, reach);
    cv::Mat blurred;
    // Isolated: the matrix may be a window of the image, whose pixels beyond it must not count.
    cv::GaussianBlur(extended(image, bounds, around), blurred, cv::Size(0, 0), sigma, sigma,
                     cv::BORDER_REPLICATE | cv::BORDER_ISOLATED);
    storeTile(blurred(cv::Rect(reach, reach, tile.width(), tile.height())), out, at);
}

// One tile of a wide blur on a grid reduced by `factor`: the tile and its reach are
// averaged down, blurred with `cellSigma` there and enlarged bilinearly. Grid cells
// start at the tile's corner; tiles whose offsets are multiples of the factor share
// one grid, so they join seamlessly.
void blurReducedTile(const cv::Mat& image, const QRect& bounds, const QRect& tile, double cellSigma, int factor,
                     QImage& out, const QPoint& at)
{
    const int f = factor;
    const int radius = static_cast<int>(std::ceil(3 * cellSigma)); // cells, as OpenCV takes for bytes
    const int reach = radius + 1;
    const int cellsX = (tile.width() + f - 1) / f + 2 * (reach + 1);
    const int cellsY = (tile.height() + f - 1) / f + 2 * (reach + 1);
    const QRect grid(tile.x() - f * (reach + 1), tile.y() - f * (reach + 1), cellsX * f, cellsY * f);
    cv::Mat cells, smooth;
    cv::resize(extended(image, bounds, grid), cells, cv::Size(cellsX, cellsY), 0, 0, cv::INTER_AREA);
    cells.convertTo(cells, CV_32FC4);
    cv::GaussianBlur(cells, smooth, cv::Size(2 * radius + 1, 2 * radius + 1), cellSigma, cellSigma, cv::BORDER_REPLICATE);
    // Only the cells the tile samples, one more on each side, are enlarged.
    const int usedX = (tile.width() + f - 1) / f + 2, usedY = (tile.height() + f - 1) / f + 2;
    cv::Mat enlarged;
    cv::resize(smooth(cv::Rect(reach, reach, usedX, usedY)), enlarged, cv::Size(usedX * f, usedY * f), 0, 0,
               cv::INTER_LINEAR);
    storeTile(enlarged(cv::Rect(f, f, tile.width(), tile.height())), out, at);
}

} // namespace

QImage effects::blurredRegion(const QImage& image, const QRect& bounds, const QRect& region, double sigma)
{
    QImage out(region.size(), QImage::Format_RGBA8888_Premultiplied);
    if (out.isNull())
        return QImage();
    const cv::Mat source = matOf(image);
    if (!(sigma > 0)) {
        extended(source, bounds, region).copyTo(matOf(out));
        return out;
    }
    // Wide blurs run on a grid reduced by `factor`, keeping a spread of at least 7
    // cells there. Averaging cells adds the variance (f² − 1) / 12 and bilinear
    // enlarging f² / 6; the blur on the grid supplies the rest.
    const int factor = std::max(1, static_cast<int>(sigma / 7));
    const double leftover = sigma * sigma - (factor * factor - 1) / 12.0 - factor * factor / 6.0;
    const double cellSigma = std::sqrt(std::max(leftover, 0.25)) / factor;
    // Tiles keep the working memory bounded; each reads its own reach around it.
    const int tileSide = factor == 1 ? 1024 : factor * 512;
    try {
        for (int ty = 0; ty < region.height(); ty += tileSide) {
            for (int tx = 0; tx < region.width(); tx += tileSide) {
                const QRect tile(region.x() + tx, region.y() + ty, std::min(tileSide, region.width() - tx),
                                 std::min(tileSide, region.height() - ty));
                if (factor == 1)
                    blurTile(source, bounds, tile, sigma, out, QPoint(tx, ty));
                else
                    blurReducedTile(source, bounds, tile, cellSigma, factor, out, QPoint(tx, ty));
            }
        }
    } catch (const cv::Exception&) {
        return QImage();
    }
    return out;
}

void effects::blurInPlace(QImage& image, double sigma)
{
    cv::Mat pixels(image.height(), image.width(), CV_8UC4, image.bits(), static_cast<std::size_t>(image.bytesPerLine()));
    cv::GaussianBlur(pixels, pixels, cv::Size(0, 0), sigma, sigma, cv::BORDER_CONSTANT);
}

bool effects::useOpenCL(bool wanted)
{
    // OpenCV keeps the switch per thread, so contexts on other threads are unaffected.
    const bool previous = cv::ocl::useOpenCL();
    cv::ocl::setUseOpenCL(wanted && cv::ocl::haveOpenCL());
    return previous;
}

} // namespace tarnwick
