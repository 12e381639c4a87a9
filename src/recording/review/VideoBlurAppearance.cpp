#include "recording/review/VideoBlurAppearance.h"

#include "recording/review/VideoBlurRegion.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <opencv2/imgproc.hpp>

namespace tarnwick::review {

VideoBlurGrayFrame::VideoBlurGrayFrame(const cv::Mat& bgr)
{
    if (bgr.empty() || bgr.type() != CV_8UC3)
        return;
    const double scale = std::min(480.0 / std::max(bgr.cols, bgr.rows), 1.0);
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

} // namespace tarnwick::review
