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
// How far, in pixels, a fitted map that brings the look back only somewhat may move the box's
// centre from where the search put it. A map that brings it back well may move it a quarter of
// the look's side: a leaning target's look no longer matches any shift of the marked one well.
constexpr double refinedShift = 1.5;
// The least correlation of the look brought back by a fitted map for its shape to count, and for
// its place.
constexpr double fittedFloor = 0.8;
constexpr double placedFloor = 0.6;
// How much better the full fitted map must bring the look back than its turn and size alone.
constexpr double leaningGain = 0.005;

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

// A point through a projective map.
cv::Point2d projected(const cv::Matx33d& m, const cv::Point2d& p)
{
    const double w = m(2, 0) * p.x + m(2, 1) * p.y + m(2, 2);
    return {(m(0, 0) * p.x + m(0, 1) * p.y + m(0, 2)) / w, (m(1, 0) * p.x + m(1, 1) * p.y + m(1, 2)) / w};
}

// The map from the template's pixels to the window's that puts `anchor` on `at` and carries the
// points around it by `shape` (a projective map that keeps the origin).
cv::Matx33d placed(const cv::Point2d& at, const cv::Matx33d& shape, const cv::Point2d& anchor)
{
    return cv::Matx33d(1, 0, at.x, 0, 1, at.y, 0, 0, 1) * shape * cv::Matx33d(1, 0, -anchor.x, 0, 1, -anchor.y, 0, 0, 1);
}

// Whether every corner stays in front of the camera, well clear of the horizon, under `shape`:
// a map that folds the target over is no leaning of it.
bool upright(const cv::Matx33d& shape, const std::array<cv::Point2d, 4>& corners)
{
    for (const auto& p : corners)
        if (!((shape(2, 0) * p.x + shape(2, 1) * p.y + shape(2, 2)) / shape(2, 2) > 0.5))
            return false;
    return true;
}

bool differs(const cv::Vec3b& v, const cv::Vec3b& page)
{
    return std::abs(v[0] - page[0]) > pageTolerance || std::abs(v[1] - page[1]) > pageTolerance ||
           std::abs(v[2] - page[2]) > pageTolerance;
}

// The median colour of some pixels, and whether all but 2 % of them are that colour.
struct Ground {
    cv::Vec3b colour;
    bool flat = false;
};

Ground groundOf(const std::vector<cv::Vec3b>& pixels)
{
    Ground ground;
    if (pixels.empty())
        return ground;
    for (int c = 0; c < 3; ++c) {
        std::vector<uchar> channel;
        for (const auto& v : pixels)
            channel.push_back(v[c]);
        std::nth_element(channel.begin(), channel.begin() + long(channel.size() / 2), channel.end());
        ground.colour[c] = channel[channel.size() / 2];
    }
    const auto busy = std::count_if(pixels.begin(), pixels.end(), [&](const auto& v) { return differs(v, ground.colour); });
    ground.flat = busy * 50 <= long(pixels.size());
    return ground;
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
    const cv::Rect drawnPixels = whole(drawn, size_);
    const cv::Rect2d target = extent(first, drawnPixels);
    corners_ = {cv::Point2d(target.x, target.y) - centre, cv::Point2d(target.x + target.width, target.y) - centre,
                cv::Point2d(target.x + target.width, target.y + target.height) - centre,
                cv::Point2d(target.x, target.y + target.height) - centre};
    if (first.type() != CV_8UC3 || look.empty())
        return;
    // The page two and three pixels outside the box, clear of the blur of its edge.
    std::vector<cv::Vec3b> ring;
    const cv::Rect near = drawnPixels + cv::Size(2, 2) - cv::Point(1, 1);
    const cv::Rect far = (drawnPixels + cv::Size(6, 6) - cv::Point(3, 3)) & cv::Rect(cv::Point(0, 0), size_);
    for (int y = far.y; y < far.y + far.height; ++y)
        for (int x = far.x; x < far.x + far.width; ++x)
            if (!near.contains(cv::Point(x, y)))
                ring.push_back(first.at<cv::Vec3b>(y, x));
    if (const Ground around = groundOf(ring); ring.size() >= 16 && around.flat)
        page_ = cv::Vec3d(around.colour);
    preparePlain(first, drawn, look);
}

void VideoBlurShape::preparePlain(const cv::Mat& first, const cv::Rect2d& drawn, const cv::Rect& middle)
{
    std::vector<cv::Vec3b> inside;
    for (int y = middle.y; y < middle.y + middle.height; ++y)
        for (int x = middle.x; x < middle.x + middle.width; ++x)
            inside.push_back(first.at<cv::Vec3b>(y, x));
    plain_ = cv::Vec3d(groundOf(inside).colour);
    contrasted_ = page_ && cv::norm(*page_ - plain_, cv::NORM_INF) > 2 * pageTolerance;
    const Weighed start = weigh(first, drawn);
    if (!(start.mass > 0))
        return;
    offset_ = cv::Point2d(drawn.x + drawn.width / 2, drawn.y + drawn.height / 2) - start.centroid;
    baseline_ = outsideShare(start, drawn);
    plainReady_ = true;
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
    // A textured or busy edge: what belongs to the target there cannot be told.
    const Ground page = groundOf(band);
    if (!page.flat)
        return all;
    cv::Rect found;
    for (int y = box.y; y < box.y + box.height; ++y)
        for (int x = box.x; x < box.x + box.width; ++x)
            if (differs(frame.at<cv::Vec3b>(y, x), page.colour))
                found |= cv::Rect(x, y, 1, 1);
    return found.empty() ? all : cv::Rect2d(found);
}

cv::Mat VideoBlurShape::coverage(const cv::Mat& frame, const cv::Rect& window) const
{
    cv::Mat alpha(window.size(), CV_32F);
    const cv::Vec3d across = contrasted_ ? plain_ - *page_ : cv::Vec3d();
    const double span = across.dot(across);
    for (int y = 0; y < window.height; ++y)
        for (int x = 0; x < window.width; ++x) {
            const cv::Vec3d v(frame.at<cv::Vec3b>(window.y + y, window.x + x));
            // On a flat page a pixel the target's edge crosses is a mix of the two colours.
            alpha.at<float>(y, x) = contrasted_ ? float(std::clamp((v - *page_).dot(across) / span, 0.0, 1.0))
                                          : float(cv::norm(v - plain_, cv::NORM_INF) <= pageTolerance);
        }
    return alpha;
}

VideoBlurShape::Weighed VideoBlurShape::weigh(const cv::Mat& frame, const cv::Rect2d& box) const
{
    Weighed w;
    const double grow = std::max(box.width, box.height) / 2 + 4;
    w.window = whole(cv::Rect2d(box.x - grow, box.y - grow, box.width + 2 * grow, box.height + 2 * grow), size_);
    const cv::Rect inner =
        (whole(cv::Rect2d(box.x + 0.1 * box.width, box.y + 0.1 * box.height, 0.8 * box.width, 0.8 * box.height), size_) &
         w.window) - w.window.tl();
    if (inner.empty())
        return w;
    const cv::Mat alpha = coverage(frame, w.window);
    cv::Mat labels;
    const int count = cv::connectedComponents(alpha >= 0.5f, labels, 8, CV_32S);
    std::vector<uchar> joined(std::size_t(count), 0);
    for (int y = inner.y; y < inner.y + inner.height; ++y)
        for (int x = inner.x; x < inner.x + inner.width; ++x)
            joined[std::size_t(labels.at<int>(y, x))] = 1;
    joined[0] = 0;
    cv::Mat region(alpha.size(), CV_8U);
    for (int y = 0; y < alpha.rows; ++y)
        for (int x = 0; x < alpha.cols; ++x)
            region.at<uchar>(y, x) = joined[std::size_t(labels.at<int>(y, x))] ? 255 : 0;
    // With the pixels its edge only partly covers.
    cv::dilate(region, region, cv::Mat());
    w.alpha = cv::Mat::zeros(alpha.size(), CV_32F);
    alpha.copyTo(w.alpha, region);
    cv::Point2d sum;
    for (int y = 0; y < alpha.rows; ++y)
        for (int x = 0; x < alpha.cols; ++x) {
            const double a = w.alpha.at<float>(y, x);
            w.mass += a;
            sum += a * cv::Point2d(w.window.x + x + 0.5, w.window.y + y + 0.5);
        }
    if (w.mass > 0)
        w.centroid = sum / w.mass;
    // Reaching the window's edge inside the frame, the target goes on beyond what was looked at.
    const cv::Rect all(cv::Point(0, 0), size_);
    for (int y = 0; y < region.rows; ++y)
        for (int x = 0; x < region.cols; ++x) {
            const bool edge = (x == 0 && w.window.x > 0) || (y == 0 && w.window.y > 0) ||
                              (x == region.cols - 1 && w.window.br().x < all.width) ||
                              (y == region.rows - 1 && w.window.br().y < all.height);
            if (edge && region.at<uchar>(y, x))
                w.whole = false;
        }
    return w;
}

double VideoBlurShape::outsideShare(const Weighed& w, const cv::Rect2d& box)
{
    if (!(w.mass > 0))
        return 0;
    auto overlap = [](double a0, double a1, double b0, double b1) { return std::max(0.0, std::min(a1, b1) - std::max(a0, b0)); };
    double outside = 0;
    for (int y = 0; y < w.alpha.rows; ++y)
        for (int x = 0; x < w.alpha.cols; ++x) {
            const double a = w.alpha.at<float>(y, x);
            if (a <= 0)
                continue;
            const double px = w.window.x + x, py = w.window.y + y;
            outside += a * (1 - overlap(px, px + 1, box.x, box.x + box.width) * overlap(py, py + 1, box.y, box.y + box.height));
        }
    return outside / w.mass;
}

VideoBlurShape::Extent VideoBlurShape::measurePlain(const cv::Mat& frame, const QRectF& box) const
{
    Extent e;
    if (!plainReady_ || frame.size() != size_ || frame.type() != CV_8UC3)
        return e;
    const cv::Rect2d b = inPixels(box, size_);
    const Weighed w = weigh(frame, b);
    if (!(w.mass > 0))
        return e;
    const cv::Point2d middle = w.centroid + offset_;
    e.measured = true;
    e.centre = QPointF(middle.x / size_.width, 1 - middle.y / size_.height);
    const cv::Rect2d placed(middle.x - b.width / 2, middle.y - b.height / 2, b.width, b.height);
    e.exposed = w.whole ? std::max(0.0, outsideShare(w, placed) - baseline_) : 1.0;
    return e;
}

VideoBlurShape::Fit VideoBlurShape::measure(const cv::Mat& frame, const QPointF& centre, const QRectF& box)
{
    Fit fit;
    if (template_.empty() || frame.size() != size_)
        return fit;
    const cv::Point2d found(centre.x() * size_.width, (1 - centre.y()) * size_.height);
    cv::Point2d c = found;
    // Room for the look turned by 45° and twice as large.
    const double reach = 1.5 * std::max(template_.cols, template_.rows) + 4;
    const cv::Rect window = whole(cv::Rect2d(c.x - reach, c.y - reach, 2 * reach, 2 * reach), size_);
    if (window.width < template_.cols || window.height < template_.rows)
        return fit;
    const cv::Mat seen = greyOf(frame, window);
    const cv::Point2d at = c - cv::Point2d(window.tl());
    cv::Mat map(placed(at, shape_, anchor_), true);
    map.convertTo(map, CV_32F);
    try {
        cv::findTransformECC(template_, seen, map, cv::MOTION_HOMOGRAPHY,
                             cv::TermCriteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 50, 1e-5), cv::noArray(), 5);
    } catch (const cv::Exception&) {
        return fit;
    }
    cv::Mat exact;
    map.convertTo(exact, CV_64F);
    const cv::Matx33d fitted(exact.ptr<double>());
    // The whole fitted map, perspective included, about the point the box's centre went to: a
    // card leaning back narrows as a whole while its near edge widens.
    const cv::Point2d moved = projected(fitted, anchor_);
    const cv::Matx33d shaped = cv::Matx33d(1, 0, -moved.x, 0, 1, -moved.y, 0, 0, 1) * fitted *
                              cv::Matx33d(1, 0, anchor_.x, 0, 1, anchor_.y, 0, 0, 1);
    // The look under a map: the frame brought back onto the template, correlated with it.
    auto look = [&](const cv::Matx33d& s, const cv::Point2d& where) {
        cv::Mat warped;
        cv::warpPerspective(seen, warped, cv::Mat(placed(where, s, anchor_)), template_.size(),
                            cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_REPLICATE);
        return cv::computeECC(template_, warped);
    };
    // The simplest map that brings the look back as well: the stretch, slant and perspective of
    // the full map count where they bring it back clearly better than its turn and size alone.
    // A look with stripes along one axis fits any stretch along them.
    if (!(std::abs(shaped(2, 2)) > 1e-9) || !std::isfinite(shaped(2, 2)))
        return fit;
    const cv::Matx33d full = shaped * (1 / shaped(2, 2));
    const double along = (full(0, 0) + full(1, 1)) / 2, across = (full(1, 0) - full(0, 1)) / 2;
    const cv::Matx33d turned(along, -across, 0, across, along, 0, 0, 0, 1);
    const double fullLook = upright(full, corners_) ? look(full, moved) : -1, turnedLook = look(turned, moved);
    const bool leaning = fullLook >= turnedLook + leaningGain;
    cv::Matx33d shape = leaning ? full : turned;
    double correlation = leaning ? fullLook : turnedLook;
    cv::Point2d where = moved;
    // A fit that strayed into a worse optimum than the look unchanged where the search found it
    // is no change.
    if (const double rigid = look(cv::Matx33d::eye(), at); rigid >= correlation) {
        shape = cv::Matx33d::eye();
        correlation = rigid;
        where = at;
    }
    const double scale = std::sqrt(std::abs(shape(0, 0) * shape(1, 1) - shape(0, 1) * shape(1, 0)));
    if (!std::isfinite(scale) || scale < 0.5 || scale > 2)
        return fit;
    // The fit places the target finer than the search: the box goes where it put the box's centre.
    const cv::Point2d placedAt = where + cv::Point2d(window.tl());
    const double shift = cv::norm(placedAt - found);
    if ((correlation >= placedFloor && shift <= refinedShift) ||
        (correlation >= fittedFloor && shift <= std::min(template_.cols, template_.rows) / 4.0)) {
        c = placedAt;
        fit.placed = true;
    }
    fit.centre = QPointF(c.x / size_.width, 1 - c.y / size_.height);
    // A map that does not bring back the marked look well is no measure of its shape: the fit
    // went astray, or the look is too small to tell noise from change.
    if (!(correlation >= fittedFloor))
        return fit;
    shape_ = shape;

    const cv::Rect2d covered = inPixels(box, size_) + (c - found);
    std::vector<cv::Point2f> polygon;
    const cv::Rect2d frameArea(0, 0, size_.width, size_.height);
    fit.overhang = -std::numeric_limits<double>::infinity();
    // How much smaller the target would have to be to fit the box about its centre.
    double shrink = 1;
    for (const auto& corner : corners_) {
        const cv::Point2d p = c + projected(shape, corner);
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
        const cv::Matx33d fitting(1 / shrink, 0, 0, 0, 1 / shrink, 0, 0, 0, 1);
        fit.gain = correlation - look(fitting * shape, where);
        fit.support = support(frame, seen, window, polygon, covered, c, shape);
    }
    fit.turn = std::atan2(shape(1, 0), shape(0, 0)) * 180 / M_PI;
    fit.scale = scale;
    fit.fitted = true;
    return fit;
}

double VideoBlurShape::support(const cv::Mat& frame, const cv::Mat& seen, const cv::Rect& window, const std::vector<cv::Point2f>& polygon,
                               const cv::Rect2d& covered, const cv::Point2d& centre, const cv::Matx33d& shape) const
{
    const cv::Matx33d back = shape.inv();
    auto predicted = [&](const cv::Point2d& q) {
        const cv::Point2d p = centre_ + projected(back, q - centre) - cv::Point2d(0.5, 0.5);
        const int x = int(std::floor(p.x)), y = int(std::floor(p.y));
        if (x < 0 || y < 0 || x + 1 >= firstGrey_.cols || y + 1 >= firstGrey_.rows)
            return -1.0;
        const double fx = p.x - x, fy = p.y - y;
        const float* r0 = firstGrey_.ptr<float>(y);
        const float* r1 = firstGrey_.ptr<float>(y + 1);
        return (1 - fy) * ((1 - fx) * r0[x] + fx * r0[x + 1]) + fy * ((1 - fx) * r1[x] + fx * r1[x + 1]);
    };
    double outsideError = 0, insideError = 0;
    int outsideCount = 0, insideCount = 0, pageCount = 0, notPage = 0;
    const bool flat = page_ && frame.type() == CV_8UC3;
    const cv::Rect area = cv::boundingRect(polygon) & window;
    for (int y = area.y; y < area.y + area.height; ++y)
        for (int x = area.x; x < area.x + area.width; ++x) {
            const cv::Point2d q(x + 0.5, y + 0.5);
            const double within = cv::pointPolygonTest(polygon, cv::Point2f(q), true);
            const double beyond = outside(q, covered);
            const bool out = beyond >= 0.5, band = beyond <= -0.5 && beyond >= -3;
            // On a flat page a pixel the target covers at least half of is no longer page, even
            // in a sliver too thin to predict the target's own pixels in.
            if (flat && out && within >= 0) {
                ++pageCount;
                notPage += differs(frame.at<cv::Vec3b>(y, x), cv::Vec3b(*page_));
            }
            if (within < 0.75 || (!out && !band))
                continue;
            const double expected = predicted(q);
            if (expected < 0)
                continue;
            (out ? outsideError : insideError) += std::abs(expected - seen.at<float>(y - window.y, x - window.x));
            ++(out ? outsideCount : insideCount);
        }
    const double notPageShare = pageCount >= 2 ? double(notPage) / pageCount : 0;
    if (outsideCount < 4 || insideCount < 4)
        return notPageShare;
    return std::max(notPageShare, (insideError / insideCount + 2) / (outsideError / outsideCount + 2));
}

} // namespace tarnwick::review
