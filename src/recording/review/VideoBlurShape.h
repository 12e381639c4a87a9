#pragma once

#include <QPointF>
#include <QRectF>
#include <array>
#include <vector>
#include <opencv2/core.hpp>

namespace tarnwick::review {

// How much of a tracked target its box leaves out once the target has turned, grown or slanted.
// The marked middle of the box is fitted to each frame as an affine map (the enhanced correlation
// coefficient, OpenCV's ECC); that map carries the target's extent from the start frame to the
// frame, about the centre the tracker found. Frames are the tracker's BGR pictures, all of one
// size; rectangles are normalised with the origin at the bottom-left.
class VideoBlurShape {
public:
    // `box` as drawn on `first`; `middle` the part of it whose look is followed.
    VideoBlurShape(const cv::Mat& first, const QRectF& box, const QRectF& middle);

    struct Fit {
        bool fitted = false;
        // The share of the target (within the frame) outside the box.
        double exposed = 0;
        // How far the target's farthest corner lies outside the box, in pixels; negative inside.
        double overhang = 0;
        // How much better the fitted map correlates than the first look moved alone.
        double gain = 0;
        // The fitted map's turn in degrees and its size against the first look's.
        // How well the target's own pixels are seen where the map puts them outside the box: the
        // error of the prediction just inside the box against outside it (1: alike, 0: unseen).
        double support = 0;
        double turn = 0;
        double scale = 1;
    };

    // The target centred on `centre` in `frame`, under the blur of `box`.
    Fit measure(const cv::Mat& frame, const QPointF& centre, const QRectF& box);

    // The part of `box` in `frame` that differs from a flat page around it: the whole box unless
    // its edge is one plain colour. Pixels, origin top-left.
    static cv::Rect2d extent(const cv::Mat& frame, const cv::Rect& box);

private:
    double support(const cv::Mat& seen, const cv::Rect& window, const std::vector<cv::Point2f>& polygon,
                   const cv::Rect2d& covered, const cv::Point2d& centre, const cv::Matx22d& linear) const;

    cv::Size size_;
    cv::Mat firstGrey_;
    cv::Point2d centre_;
    cv::Mat template_;
    // Where the box's centre lies in the template's pixels.
    cv::Point2d anchor_;
    // The target's corners about the box's centre, in the start frame's pixels.
    std::array<cv::Point2d, 4> corners_;
    // The last fitted map's linear part, the start of the next fit.
    cv::Matx22d linear_ = cv::Matx22d::eye();
};

} // namespace tarnwick::review
