#pragma once

#include <QPointF>
#include <QRectF>
#include <array>
#include <optional>
#include <vector>
#include <opencv2/core.hpp>

namespace tarnwick::review {

// How much of a tracked target its box leaves out once the target has turned, grown, slanted or
// leant back. The marked middle of the box is fitted to each frame as a projective map (the
// enhanced correlation coefficient, OpenCV's ECC); that map carries the target's extent from the
// start frame to the frame, about the centre the tracker found or the finer one the fit found.
// Frames are the tracker's BGR pictures, all of one size; rectangles are normalised with the
// origin at the bottom-left.
class VideoBlurShape {
public:
    // `box` as drawn on `first`; `middle` the part of it whose look is followed.
    VideoBlurShape(const cv::Mat& first, const QRectF& box, const QRectF& middle);

    struct Fit {
        // The map's shape counts.
        bool fitted = false;
        // Where the fitted map puts the box's centre, when it is near the centre searched for
        // (`placed`) or else that centre; normalised, origin bottom-left.
        bool placed = false;
        QPointF centre;
        // The share of the target (within the frame) outside the box.
        double exposed = 0;
        // How far the target's farthest corner lies outside the box, in pixels; negative inside.
        double overhang = 0;
        // How much better the fitted map correlates than the same map shrunk to fit the box.
        double gain = 0;
        // How well the target's own pixels are seen where the map puts them outside the box: the
        // error of the prediction just inside the box against outside it (1: alike, 0: unseen),
        // or on a flat page the share of them that is not page.
        double support = 0;
        // The fitted map's turn in degrees and its size against the first look's.
        double turn = 0;
        double scale = 1;
    };

    // The target found about `centre` in `frame`, under the blur of `box` (moved to the fit's
    // centre).
    Fit measure(const cv::Mat& frame, const QPointF& centre, const QRectF& box);

    // A target of one plain colour, which no map can be fitted to, measured directly in `frame`:
    // the pixels of its colour, or on a flat page all that is not page, joined to the middle of
    // `box`, weighed by how much of each pixel they cover.
    struct Extent {
        bool measured = false;
        // Where the box belongs: the target's middle with the start box's offset from it;
        // normalised, origin bottom-left.
        QPointF centre;
        // The share of the target outside a box of `box`'s size there, beyond the share the
        // start box left out.
        double exposed = 0;
    };
    Extent measurePlain(const cv::Mat& frame, const QRectF& box) const;

    // The part of `box` in `frame` that differs from a flat page around it: the whole box unless
    // its edge is one plain colour. Pixels, origin top-left.
    static cv::Rect2d extent(const cv::Mat& frame, const cv::Rect& box);

private:
    // The plain target's pixels near a box: how much of each it covers, their sum and middle.
    struct Weighed {
        cv::Rect window;
        cv::Mat alpha;
        double mass = 0;
        cv::Point2d centroid;
        // The target ends inside the window (or at the frame's edge).
        bool whole = true;
    };
    void preparePlain(const cv::Mat& first, const cv::Rect2d& drawn, const cv::Rect& middle);
    // How much of each pixel of `window` the plain target covers.
    cv::Mat coverage(const cv::Mat& frame, const cv::Rect& window) const;
    // The target's pixels joined to the middle of `box` (pixels, origin top-left), within a window
    // twice the box's size.
    Weighed weigh(const cv::Mat& frame, const cv::Rect2d& box) const;
    // The share of the weighed target outside `box`.
    static double outsideShare(const Weighed& w, const cv::Rect2d& box);
    double support(const cv::Mat& frame, const cv::Mat& seen, const cv::Rect& window, const std::vector<cv::Point2f>& polygon,
                   const cv::Rect2d& covered, const cv::Point2d& centre, const cv::Matx33d& shape) const;

    cv::Size size_;
    cv::Mat firstGrey_;
    cv::Point2d centre_;
    cv::Mat template_;
    // Where the box's centre lies in the template's pixels.
    cv::Point2d anchor_;
    // The target's corners about the box's centre, in the start frame's pixels.
    std::array<cv::Point2d, 4> corners_;
    // The flat page around the start box, when the ring just outside it is one colour.
    std::optional<cv::Vec3d> page_;
    // A plain target's colour, and whether it differs clearly from the page's.
    cv::Vec3d plain_;
    bool contrasted_ = false;
    // From the plain target's weighed middle to the start box's centre, and the share of the
    // target the start box left out.
    cv::Point2d offset_;
    double baseline_ = 0;
    bool plainReady_ = false;
    // The last fitted map about the box's centre (it keeps the centre in place), the start of the
    // next fit.
    cv::Matx33d shape_ = cv::Matx33d::eye();
};

} // namespace tarnwick::review
