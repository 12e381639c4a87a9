#pragma once

#include <QRectF>
#include <QSizeF>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace cv {
class Mat;
}

namespace tarnwick::review {

// An 8-bit grey copy of a tracking frame, at most 480 pixels on its longer side unless asked,
// rows top-down without padding.
struct VideoBlurGrayFrame {
    int width = 1;
    int height = 1;
    std::vector<std::uint8_t> pixels = std::vector<std::uint8_t>(1);

    VideoBlurGrayFrame() = default;
    // From a BGR frame, made at most `longest` pixels on its longer side; an empty frame gives a
    // black 1 × 1 copy.
    explicit VideoBlurGrayFrame(const cv::Mat& bgr, int longest = 480);
};

// How a rectangle of a frame looks: 32 × 24 bilinear grey samples in [0, 1], rows
// from the rectangle's top. Compared by normalised cross-correlation, so brightness
// and contrast changes do not count.
class VideoBlurAppearance {
public:
    static constexpr int columns = 32;
    static constexpr int rows = 24;
    static constexpr int count = columns * rows;
    // Below this sum of squared deviations a look has too little texture to compare.
    static constexpr double lowTexture = 0.1;

    // `rect` is normalised with the origin at the bottom-left; samples outside the
    // frame repeat its edge.
    VideoBlurAppearance(const VideoBlurGrayFrame& plane, const QRectF& rect);
    explicit VideoBlurAppearance(const std::array<double, count>& values);

    const std::array<double, count>& values() const { return values_; }
    double mean() const { return mean_; }
    // A sum, not divided by the count.
    double variance() const { return variance_; }
    bool isLowTexture() const { return variance_ < lowTexture; }

    // How much each sample counts, 0 or more.
    using Weights = std::array<double, count>;

    // In [-1, 1]; -1 when either look has too little texture.
    double correlation(const VideoBlurAppearance& other) const;
    // The same over the weighted samples; -1 when they have too little texture in either look.
    double correlation(const VideoBlurAppearance& other, const Weights& weights) const;
    // Mean absolute difference of the samples.
    double meanDifference(const VideoBlurAppearance& other) const;

    struct Match {
        QRectF rect;
        double score = -1;
    };
    // The rectangle of `near`'s size (clamped into the frame) whose centre lies within
    // `radius` of `near`'s centre and whose look correlates best with this one: a scan
    // every 4 grey pixels, refined to 1 pixel around the best. Nothing below 0.8.
    std::optional<Match> locate(const VideoBlurGrayFrame& plane, const QRectF& near, double radius) const;
    // The best match whatever its score (-1 for a look with too little texture), among the
    // rectangles of `near`'s size whose centres lie within `radius` of its centre: first on a
    // grid of this look's own sample spacing, then every grey pixel around the best, then to a
    // fraction of a pixel. Meant for a plane from `smoothedForLooks`, on which the peak is as
    // wide as that grid.
    // With `weights`, only the weighted samples count.
    Match search(const VideoBlurGrayFrame& plane, const QRectF& near, double radius,
                 const Weights* weights = nullptr) const;

private:
    void summarise();

    std::array<double, count> values_{};
    double mean_ = 0;
    double variance_ = 0;
};

// The plane smoothed to the sample spacing of looks of `size` (normalised): a look samples a
// wide rectangle every few pixels, and on a sharp plane text strokes and fine texture then fall
// between the samples, so that the look changes with every pixel of shift.
VideoBlurGrayFrame smoothedForLooks(const VideoBlurGrayFrame& plane, QSizeF size);

} // namespace tarnwick::review
