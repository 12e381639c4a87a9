#include "recording/review/VideoBlurAppearance.h"

#include "recording/review/VideoBlurRegion.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <opencv2/imgproc.hpp>

namespace tarnwick::review {

VideoBlurGrayFrame::VideoBlurGrayFrame(const cv::Mat& bgr, int longest)
{
    if (bgr.empty() || bgr.type() != CV_8UC3)
        return;
    const double scale = std::min(double(longest) / std::max(bgr.cols, bgr.rows), 1.0);
    width = std::max(1, int(bgr.cols * scale));
    height = std::max(1, int(bgr.rows * scale));
    pixels.assign(std::size_t(width) * height, 0);
    cv::Mat small;
    if (width == bgr.cols && height == bgr.rows)
        small = bgr;
    else
        cv::resize(bgr, small, cv::Size(width, height), 0, 0, cv::INTER_AREA);
    cv::Mat grey(height, width, CV_8UC1, pixels.data());
    cv::cvtColor(small, grey, cv::COLOR_BGR2GRAY);
}

VideoBlurAppearance::VideoBlurAppearance(const VideoBlurGrayFrame& plane, const QRectF& area)
{
    const QRectF rect = area.normalized();
    const int w = plane.width, h = plane.height;
    const std::uint8_t* p = plane.pixels.data();
    // Columns and rows repeat for every sample: work out their positions once.
    std::array<int, columns> x0{}, x1{};
    std::array<double, columns> fx{};
    for (int j = 0; j < columns; ++j) {
        const double px = std::clamp((rect.left() + (j + 0.5) / columns * rect.width()) * w - 0.5, 0.0, w - 1.0);
        x0[j] = int(px);
        x1[j] = std::min(x0[j] + 1, w - 1);
        fx[j] = px - x0[j];
    }
    const double top = 1 - (rect.top() + rect.height());
    for (int i = 0; i < rows; ++i) {
        const double py = std::clamp((top + (i + 0.5) / rows * rect.height()) * h - 0.5, 0.0, h - 1.0);
        const int y0 = int(py), y1 = std::min(y0 + 1, h - 1);
        const double fy = py - y0;
        const std::uint8_t* r0 = p + std::size_t(y0) * w;
        const std::uint8_t* r1 = p + std::size_t(y1) * w;
        for (int j = 0; j < columns; ++j) {
            const double upper = (1 - fx[j]) * r0[x0[j]] + fx[j] * r0[x1[j]];
            const double lower = (1 - fx[j]) * r1[x0[j]] + fx[j] * r1[x1[j]];
            values_[i * columns + j] = ((1 - fy) * upper + fy * lower) / 255;
        }
    }
    summarise();
}

VideoBlurAppearance::VideoBlurAppearance(const std::array<double, count>& values) : values_(values) { summarise(); }

void VideoBlurAppearance::summarise()
{
    mean_ = std::accumulate(values_.begin(), values_.end(), 0.0) / count;
    variance_ = 0;
    for (double v : values_)
        variance_ += (v - mean_) * (v - mean_);
}

double VideoBlurAppearance::correlation(const VideoBlurAppearance& other) const
{
    if (std::min(variance_, other.variance_) < lowTexture)
        return -1;
    double sum = 0;
    for (int i = 0; i < count; ++i)
        sum += (values_[i] - mean_) * (other.values_[i] - other.mean_);
    return sum / std::sqrt(variance_ * other.variance_);
}

double VideoBlurAppearance::correlation(const VideoBlurAppearance& other, const Weights& weights) const
{
    double total = 0, a = 0, b = 0;
    for (int i = 0; i < count; ++i) {
        total += weights[i];
        a += weights[i] * values_[i];
        b += weights[i] * other.values_[i];
    }
    if (total <= 0)
        return -1;
    a /= total;
    b /= total;
    double cross = 0, aa = 0, bb = 0;
    for (int i = 0; i < count; ++i) {
        const double da = values_[i] - a, db = other.values_[i] - b;
        cross += weights[i] * da * db;
        aa += weights[i] * da * da;
        bb += weights[i] * db * db;
    }
    // The texture floor holds per sample, as for whole looks.
    const double scale = count / total;
    if (std::min(aa, bb) * scale < lowTexture)
        return -1;
    return cross / std::sqrt(aa * bb);
}

double VideoBlurAppearance::meanDifference(const VideoBlurAppearance& other) const
{
    double sum = 0;
    for (int i = 0; i < count; ++i)
        sum += std::abs(values_[i] - other.values_[i]);
    return sum / count;
}

std::optional<VideoBlurAppearance::Match> VideoBlurAppearance::locate(const VideoBlurGrayFrame& plane,
                                                                      const QRectF& near, double radius) const
{
    if (variance_ < lowTexture)
        return std::nullopt;
    const int w = plane.width, h = plane.height;
    const int rx = int(std::ceil(radius * w)), ry = int(std::ceil(radius * h));
    const QRectF n = near.normalized();
    const QPointF centre = n.center();
    Match best{VideoBlurRegion::clamp(n), -1};
    auto evaluate = [&](int dx, int dy) {
        const QRectF c = VideoBlurRegion::clamp(n.translated(double(dx) / w, double(dy) / h));
        const QPointF d = c.center() - centre;
        if (std::hypot(d.x(), d.y()) > radius)
            return false;
        const double score = correlation(VideoBlurAppearance(plane, c));
        if (score <= best.score)
            return false;
        best = {c, score};
        return true;
    };
    evaluate(0, 0);
    int bx = 0, by = 0;
    for (int dy = -ry; dy <= ry; dy += 4)
        for (int dx = -rx; dx <= rx; dx += 4)
            if (evaluate(dx, dy)) {
                bx = dx;
                by = dy;
            }
    for (int dy = by - 4; dy <= by + 4; ++dy)
        for (int dx = bx - 4; dx <= bx + 4; ++dx)
            evaluate(dx, dy);
    if (best.score >= 0.8)
        return best;
    return std::nullopt;
}

VideoBlurAppearance::Match VideoBlurAppearance::search(const VideoBlurGrayFrame& plane, const QRectF& near,
                                                       double radius, const Weights* weights) const
{
    const QRectF n = near.normalized();
    Match best{VideoBlurRegion::clamp(n), -1};
    if (variance_ < lowTexture)
        return best;
    const int w = plane.width, h = plane.height;
    const double sx = n.width() * w / columns, sy = n.height() * h / rows;
    auto within = [&](double dx, double dy) { return std::hypot(dx / w, dy / h) <= radius; };

    // Coarse: the plane resampled on the look's own grid, so one correlation pass scores every
    // offset that is a whole number of samples. Offsets are in grey pixels, dy upwards.
    const int ux = int(std::ceil(radius * w / sx)), uy = int(std::ceil(radius * h / sy));
    const cv::Mat source(h, w, CV_8UC1, const_cast<std::uint8_t*>(plane.pixels.data()));
    const double left = n.left() * w, top = (1 - n.bottom()) * h;
    const cv::Matx23d toSource(sx, 0, left - (ux - 0.5) * sx - 0.5, 0, sy, top - (uy - 0.5) * sy - 0.5);
    cv::Mat window, windowValues, scores;
    cv::warpAffine(source, window, toSource, cv::Size(columns + 2 * ux, rows + 2 * uy),
                   cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_REPLICATE);
    window.convertTo(windowValues, CV_32F, 1.0 / 255);
    cv::Mat look(rows, columns, CV_32F), mask;
    for (int i = 0; i < count; ++i)
        look.at<float>(i / columns, i % columns) = float(values_[i]);
    if (weights) {
        mask.create(rows, columns, CV_32F);
        for (int i = 0; i < count; ++i)
            mask.at<float>(i / columns, i % columns) = float((*weights)[i]);
    }
    cv::matchTemplate(windowValues, look, scores, cv::TM_CCOEFF_NORMED, mask);
    double cx = 0, cy = 0, top1 = -2;
    for (int b = 0; b < scores.rows; ++b)
        for (int a = 0; a < scores.cols; ++a) {
            const double dx = (a - ux) * sx, dy = -(b - uy) * sy;
            const float s = scores.at<float>(b, a);
            if (std::isfinite(s) && s > top1 && within(dx, dy)) {
                top1 = s;
                cx = dx;
                cy = dy;
            }
        }

    // Fine: every half grey pixel within one sample of the coarse best, exactly as a look scores.
    // A tight box must land within a pixel or two of the video, which is 2 to 4 of its pixels.
    constexpr double step = 0.5;
    const int reachX = int(std::ceil(sx / step)), reachY = int(std::ceil(sy / step));
    const double bx0 = std::round(cx / step) * step, by0 = std::round(cy / step) * step;
    const int fw = 2 * reachX + 1, fh = 2 * reachY + 1;
    std::vector<double> fine(std::size_t(fw) * fh, -2);
    auto at = [&](int i, int j) -> double& { return fine[std::size_t(j + reachY) * fw + std::size_t(i + reachX)]; };
    int bi = 0, bj = 0;
    for (int j = -reachY; j <= reachY; ++j)
        for (int i = -reachX; i <= reachX; ++i) {
            const double dx = bx0 + i * step, dy = by0 + j * step;
            if (!within(dx, dy))
                continue;
            const VideoBlurAppearance candidate(plane, n.translated(dx / w, dy / h));
            const double s = weights ? correlation(candidate, *weights) : correlation(candidate);
            at(i, j) = s;
            if (s > best.score) {
                best.score = s;
                bi = i;
                bj = j;
            }
        }
    if (best.score <= -1)
        return best;
    // A parabola through the best and its neighbours places the peak between the steps.
    auto peak = [](double before, double here, double after) {
        const double curve = before - 2 * here + after;
        if (before < -1 || after < -1 || curve >= 0)
            return 0.0;
        return std::clamp((before - after) / (2 * curve), -0.5, 0.5);
    };
    const double ox = std::abs(bi) < reachX ? peak(at(bi - 1, bj), best.score, at(bi + 1, bj)) : 0;
    const double oy = std::abs(bj) < reachY ? peak(at(bi, bj - 1), best.score, at(bi, bj + 1)) : 0;
    best.rect = VideoBlurRegion::clamp(n.translated((bx0 + (bi + ox) * step) / w, (by0 + (bj + oy) * step) / h));
    return best;
}

VideoBlurGrayFrame smoothedForLooks(const VideoBlurGrayFrame& plane, QSizeF size)
{
    const double sx = size.width() * plane.width / VideoBlurAppearance::columns;
    const double sy = size.height() * plane.height / VideoBlurAppearance::rows;
    const double sigmaX = sx > 1 ? 0.5 * sx : 0, sigmaY = sy > 1 ? 0.5 * sy : 0;
    if (sigmaX == 0 && sigmaY == 0)
        return plane;
    auto kernel = [](double sigma) { return sigma > 0 ? 2 * int(std::ceil(3 * sigma)) + 1 : 1; };
    VideoBlurGrayFrame smoothed = plane;
    const cv::Mat source(plane.height, plane.width, CV_8UC1, const_cast<std::uint8_t*>(plane.pixels.data()));
    cv::Mat target(smoothed.height, smoothed.width, CV_8UC1, smoothed.pixels.data());
    cv::GaussianBlur(source, target, cv::Size(kernel(sigmaX), kernel(sigmaY)), sigmaX > 0 ? sigmaX : 1,
                     sigmaY > 0 ? sigmaY : 1, cv::BORDER_REPLICATE);
    return smoothed;
}

} // namespace tarnwick::review
