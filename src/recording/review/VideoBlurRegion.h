#pragma once

#include <QRectF>
#include <QUuid>
#include <vector>

namespace tarnwick::review {

// Rectangles are normalised to the picture: 0…1, origin bottom-left, y up.
struct VideoBlurKey {
    double time = 0;
    QRectF rect;
    bool manual = false;

    friend bool operator==(const VideoBlurKey&, const VideoBlurKey&) = default;
};

struct VideoBlurGap {
    double start = 0;
    double end = 0;

    friend bool operator==(const VideoBlurGap&, const VideoBlurGap&) = default;
};

// One moving rectangle blurred over [start, end): keys placed by the user
// (manual) or by tracking, intervals where tracking lost the target (gaps) and
// intervals still to be tracked (pending).
struct VideoBlurRegion {
    QUuid id = QUuid::createUuid();
    double start = 0;
    double end = 0;
    double radius = 20;
    std::vector<VideoBlurKey> keys;
    std::vector<VideoBlurGap> gaps;
    bool acceptedGaps = false;
    bool tracked = false;
    std::vector<VideoBlurGap> pending;

    QRectF rect(double time) const;
    void correct(const QRectF& rect, double time);
    void setInterval(double start, double end);
    std::vector<VideoBlurKey> manualKeys() const;
    // Whether a lost interval not yet accepted overlaps the part of the region within [from, to).
    bool losesTargetWithin(double from, double to) const;
    // Whether a part of the region within [from, to) still waits to be tracked since an edit.
    bool untrackedWithin(double from, double to) const;

    static QRectF clamp(const QRectF& rect);
    static std::vector<VideoBlurGap> merged(std::vector<VideoBlurGap> list);
    static std::vector<VideoBlurGap> subtract(const VideoBlurGap& cut, const std::vector<VideoBlurGap>& list);

    friend bool operator==(const VideoBlurRegion&, const VideoBlurRegion&) = default;
};

} // namespace tarnwick::review
