#pragma once

#include "recording/review/VideoBlurRegion.h"

#include <QSizeF>
#include <QString>
#include <functional>
#include <opencv2/tracking.hpp>
#include <optional>
#include <vector>

// The tracker's decisions that need no video, apart for testing.
namespace tarnwick::review::VideoBlurTracking {

// OpenCV's object tracker on BGR frames, in normalised rectangles. CSRT, or KCF for the boxes
// CSRT refuses; neither gives a confidence.
class VideoBlurObjectTracker {
public:
    // Starts following `box` in `frame` afresh.
    void seed(const cv::Mat& frame, const QRectF& box);
    // Where the target is in the next frame; nullopt when the tracker lost it.
    std::optional<QRectF> update(const cv::Mat& frame);

private:
    static cv::Rect toPixels(const QRectF& box, cv::Size size);

    cv::Ptr<cv::Tracker> tracker_;
};

// Where the object tracker says the target is, and how much it looks like it (0…1).
struct Observation {
    QRectF box;
    float confidence = 0;
};

// Whether an observation is a plausible next position after `previous`.
bool acceptable(const Observation& observation, const QRectF& previous, double elapsed,
                std::optional<QSizeF> expectedSize);
// The largest plausible move of the centre in `elapsed` seconds, in normalised units.
double motionLimit(QSizeF size, double elapsed);

struct Combined {
    std::vector<VideoBlurKey> keys;
    std::vector<VideoBlurGap> gaps;
};
// Merges the forward and backward runs over [start, end] on a 1/30 s grid: cross-faded
// where they agree, held and recorded as lost where neither covers a time or they disagree.
Combined combine(const std::vector<VideoBlurKey>& forward, const std::vector<VideoBlurKey>& backward, double start,
                 double end, const QRectF& fallback, const std::function<QSizeF(double)>& size);

// One key per 1/60000 s slot, sorted by time; manual keys win their slot, else the later key.
std::vector<VideoBlurKey> deduplicated(const std::vector<VideoBlurKey>& keys);

// The diagnostic line of a frame where the target was lost.
QString missLine(std::optional<float> confidence);

} // namespace tarnwick::review::VideoBlurTracking
