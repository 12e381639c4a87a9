#include "recording/review/VideoBlurShape.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>
#include <opencv2/video/tracking.hpp>
#include <vector>

namespace tarnwick::review {

namespace {

// A colour this far from the page's, on some channel, is no longer page.
constexpr int pageTolerance = 24;
// The least correlation of the look brought back by a fitted map for the map to count.
constexpr double fittedFloor = 0.8;

cv::Rect2d inPixels(const QRectF& r, cv::Size size)
{
    const QRectF n = r.normalized();
    return {n.left() * size.width, (1 - n.bottom()) * size.height, n.width() * size.width, n.height() * size.height};
}

cv::Rect whole(const cv::Rect2d& r, cv::Size size)
{
    const cv::Rect rounded(cv::Point(int(std::lround(r.x)), int(std::lround(r.y))),
                           cv::Point(int(std::lround(r.x + r.width)), int(std::lround(r.y + r.height))));
    return rounded & cv::Rect(cv::Point(0, 0), size);
}

cv::Mat greyOf(const cv::Mat& bgr, const cv::Rect& area)
{
    cv::Mat grey, values;
    cv::cvtColor(bgr(area), grey, cv::COLOR_BGR2GRAY);
    grey.convertTo(values, CV_32F);
    return values;
}

double area(const std::vector<cv::Point2f>& polygon, const cv::Rect2d& r)
{
    const std::vector<cv::Point2f> rect{cv::Point2f(float(r.x), float(r.y)), cv::Point2f(float(r.x + r.width), float(r.y)),
                                        cv::Point2f(float(r.x + r.width), float(r.y + r.height)),
                                        cv::Point2f(float(r.x), float(r.y + r.height))};
    std::vector<cv::Point2f> common;
    return std::max(0.0, double(cv::intersectConvexConvex(polygon, rect, common, true)));
}

// How far a point lies outside a rectangle; negative inside.
double outside(const cv::Point2d& p, const cv::Rect2d& r)
{
    return std::max({r.x - p.x, p.x - (r.x + r.width), r.y - p.y, p.y - (r.y + r.height)});
}

} // namespace

VideoBlurShape::VideoBlurShape(const cv::Mat& first, const QRectF& box, const QRectF& middle) : size_(first.size())
{
    if (first.empty())
        return;
    const cv::Rect2d drawn = inPixels(box, size_);
    const cv::Rect look = whole(inPixels(middle, size_), size_);
    const cv::Point2d centre(drawn.x + drawn.width / 2, drawn.y + drawn.height / 2);
    firstGrey_ = greyOf(first, cv::Rect(cv::Point(0, 0), size_));
    centre_ = centre;
    if (look.width >= 4 && look.height >= 4) {
        template_ = greyOf(first, look);
        anchor_ = centre - cv::Point2d(look.tl());
    }
    const cv::Rect2d target = extent(first, whole(drawn, size_));
    corners_ = {cv::Point2d(target.x, target.y) - centre, cv::Point2d(target.x + target.width, target.y) - centre,
                cv::Point2d(target.x + target.width, target.y + target.height) - centre,
                cv::Point2d(target.x, target.y + target.height) - centre};
}

cv::Rect2d VideoBlurShape::extent(const cv::Mat& frame, const cv::Rect& box)
{
    const cv::Rect2d all(box);
    if (box.width < 8 || box.height < 8 || frame.type() != CV_8UC3)
        return all;
    // The band along the box's edge is the page when the box was drawn around the target.
    std::vector<cv::Vec3b> band;
    for (int y = box.y; y < box.y + box.height; ++y)
        for (int x = box.x; x < box.x + box.width; ++x)
            if (std::min({x - box.x, y - box.y, box.x + box.width - 1 - x, box.y + box.height - 1 - y}) < 2)
                band.push_back(frame.at<cv::Vec3b>(y, x));
    cv::Vec3b page;
    for (int c = 0; c < 3; ++c) {
        std::vector<uchar> channel;
        for (const auto& v : band)
            channel.push_back(v[c]);
        std::nth_element(channel.begin(), channel.begin() + long(channel.size() / 2), channel.end());
        page[c] = channel[channel.size() / 2];
    }
    auto differs = [&](const cv::Vec3b& v) {
        return std::abs(v[0] - page[0]) > pageTolerance || std::abs(v[1] - page[1]) > pageTolerance ||
               std::abs(v[2] - page[2]) > pageTolerance;
    };
    // A textured or busy edge: what belongs to the target there cannot be told.
    const auto busy = std::count_if(band.begin(), band.end(), differs);
    if (busy * 50 > long(band.size()))
        return all;
    cv::Rect found;
    for (int y = box.y; y < box.y + box.height; ++y)
        for (int x = box.x; x < box.x + box.width; ++x)
            if (differs(frame.at<cv::Vec3b>(y, x)))
                found |= cv::Rect(x, y, 1, 1);
    return found.empty() ? all : cv::Rect2d(found);
}

VideoBlurShape::Fit VideoBlurShape::measure(const cv::Mat& frame, const QPointF& centre, const QRectF& box)
{
    Fit fit;
    if (template_.empty() || frame.size() != size_)
        return fit;
    const cv::Point2d c(centre.x() * size_.width, (1 - centre.y()) * size_.height);
    // Room for the look turned by 45° and twice as large.
    const double reach = 1.5 * std::max(template_.cols, template_.rows) + 4;
    const cv::Rect window = whole(cv::Rect2d(c.x - reach, c.y - reach, 2 * reach, 2 * reach), size_);
    if (window.width < template_.cols || window.height < template_.rows)
        return fit;
    const cv::Mat seen = greyOf(frame, window);
    const cv::Point2d at = c - cv::Point2d(window.tl());
    const cv::Point2d start = at - linear_ * anchor_;
    cv::Mat map = (cv::Mat_<float>(2, 3) << float(linear_(0, 0)), float(linear_(0, 1)), float(start.x),
                   float(linear_(1, 0)), float(linear_(1, 1)), float(start.y));
    try {
        cv::findTransformECC(template_, seen, map, cv::MOTION_AFFINE,
                             cv::TermCriteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 50, 1e-5), cv::noArray(), 5);
    } catch (const cv::Exception&) {
        return fit;
    }
    const cv::Matx22d affine(map.at<float>(0, 0), map.at<float>(0, 1), map.at<float>(1, 0), map.at<float>(1, 1));
    // Of the fitted map only its turn and its size count: the stretch along one axis and the slant
    // are what a look that changed inside, or has stripes along one axis, fits by chance.
    const double along = (affine(0, 0) + affine(1, 1)) / 2, across = (affine(1, 0) - affine(0, 1)) / 2;
    const cv::Matx22d linear(along, -across, across, along);
    const double scale = std::sqrt(std::abs(cv::determinant(linear)));
    if (!std::isfinite(scale) || scale < 0.5 || scale > 2)
        return fit;
    // The look under a map: the frame brought back onto the template, correlated with it.
    const cv::Point2d moved = affine * anchor_ + cv::Point2d(map.at<float>(0, 2), map.at<float>(1, 2));
    auto look = [&](const cv::Matx22d& l) {
        const cv::Point2d offset = moved - l * anchor_;
        const cv::Mat m = (cv::Mat_<float>(2, 3) << float(l(0, 0)), float(l(0, 1)), float(offset.x), float(l(1, 0)),
                           float(l(1, 1)), float(offset.y));
        cv::Mat warped;
        cv::warpAffine(seen, warped, m, template_.size(), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_REPLICATE);
        return cv::computeECC(template_, warped);
    };
    // A map that does not bring back the marked look is no measure of it: the fit went astray.
    const double fitted = look(linear);
    if (!(fitted >= fittedFloor))
        return fit;
    linear_ = linear;

    std::vector<cv::Point2f> polygon;
    const cv::Rect2d covered = inPixels(box, size_), frameArea(0, 0, size_.width, size_.height);
    fit.overhang = -std::numeric_limits<double>::infinity();
    // How much smaller the target would have to be to fit the box about its centre.
    double shrink = 1;
    for (const auto& corner : corners_) {
        const cv::Point2d p = c + linear * corner;
        polygon.emplace_back(float(p.x), float(p.y));
        const cv::Point2d q(std::clamp(p.x, 0.0, double(size_.width)), std::clamp(p.y, 0.0, double(size_.height)));
        fit.overhang = std::max(fit.overhang, outside(q, covered));
        const double room[2] = {q.x > c.x ? covered.x + covered.width - c.x : covered.x - c.x,
                                q.y > c.y ? covered.y + covered.height - c.y : covered.y - c.y};
        const double reach[2] = {q.x - c.x, q.y - c.y};
        for (int axis = 0; axis < 2; ++axis)
            if (reach[axis] * room[axis] > 0)
                shrink = std::max(shrink, reach[axis] / room[axis]);
    }
    const double shown = area(polygon, frameArea);
    fit.exposed = shown > 0 ? std::max(0.0, shown - area(polygon, covered)) / shown : 0;
    if (shrink > 1) {
        // Is the part of the map that pushes the target out of its box seen in the look? Against
        // the same map made just small enough to fit: a look that merely changed (a picture
        // playing inside the target) fits the two alike.
        const double rho1 = fitted, rho0 = look(linear * (1 / shrink));
        fit.gain = rho1 - rho0;
        fit.support = support(seen, window, polygon, covered, c, linear);
    }
    fit.turn = std::atan2(linear(1, 0), linear(0, 0)) * 180 / M_PI;
    fit.scale = scale;
    fit.fitted = true;
    return fit;
}

double VideoBlurShape::support(const cv::Mat& seen, const cv::Rect& window, const std::vector<cv::Point2f>& polygon,
                               const cv::Rect2d& covered, const cv::Point2d& centre, const cv::Matx22d& linear) const
{
    const cv::Matx22d back = linear.inv();
    auto predicted = [&](const cv::Point2d& q) {
        const cv::Point2d p = centre_ + back * (q - centre) - cv::Point2d(0.5, 0.5);
        const int x = int(std::floor(p.x)), y = int(std::floor(p.y));
        if (x < 0 || y < 0 || x + 1 >= firstGrey_.cols || y + 1 >= firstGrey_.rows)
            return -1.0;
        const double fx = p.x - x, fy = p.y - y;
        const float* r0 = firstGrey_.ptr<float>(y);
        const float* r1 = firstGrey_.ptr<float>(y + 1);
        return (1 - fy) * ((1 - fx) * r0[x] + fx * r0[x + 1]) + fy * ((1 - fx) * r1[x] + fx * r1[x + 1]);
    };
    double outsideError = 0, insideError = 0;
    int outsideCount = 0, insideCount = 0;
    const cv::Rect area = cv::boundingRect(polygon) & window;
    for (int y = area.y; y < area.y + area.height; ++y)
        for (int x = area.x; x < area.x + area.width; ++x) {
            const cv::Point2d q(x + 0.5, y + 0.5);
            if (cv::pointPolygonTest(polygon, cv::Point2f(q), true) < 0.75)
                continue;
            const double beyond = outside(q, covered);
            const bool out = beyond >= 0.5, band = beyond <= -0.5 && beyond >= -3;
            if (!out && !band)
                continue;
            const double expected = predicted(q);
            if (expected < 0)
                continue;
            const double error = std::abs(expected - seen.at<float>(y - window.y, x - window.x));
            (out ? outsideError : insideError) += error;
            ++(out ? outsideCount : insideCount);
        }
    if (outsideCount < 4 || insideCount < 4)
        return 0;
    return (insideError / insideCount + 2) / (outsideError / outsideCount + 2);
}

} // namespace tarnwick::review
