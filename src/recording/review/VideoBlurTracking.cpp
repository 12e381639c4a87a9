#include "recording/review/VideoBlurTracking.h"

#include "platform/TarnwickError.h"
#include "recording/review/VideoBlurAppearance.h"
#include "recording/review/VideoBlurFrameSource.h"
#include "recording/review/VideoBlurShape.h"
#include "recording/review/VideoBlurTrackingSteps.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <future>
#include <map>
#include <mutex>

namespace tarnwick::review::VideoBlurTracking {

namespace {

constexpr double frameStep = 1.0 / 30;
constexpr double frameTolerance = 1.0 / 600;
constexpr double epsilon = 0.0001;
constexpr double templateLookBack = 1.0 / 15;
constexpr double holdOffset = 1.0 / 60000;
constexpr double holdThreshold = 0.05;
// How far past the last frame the next one is looked for: a recording's grabs come a few
// milliseconds early or late, and a frame skipped for it would show the target under the box of
// the frame before. At most every other frame of 60 a second is still taken.
constexpr double nextFrame = frameStep * 3 / 4;

// The least correlation with the marked look at which a rectangle still shows the target. At the
// right place the middle of a rigid target scores above 0.9 even after encoding; a box slid by
// a stroke or a few texture cells scores near nothing.
constexpr double matchFloor = 0.6;

// A target's size against its box is measured in steps of 4 %, refined between them; the search
// follows a changed size once the look matches it somewhat better than the box's own.
constexpr double scaleStep = 1.04;
constexpr double followedGain = 0.005;

// A target shows outside its box when the map fitted to its look (turned, grown or slanted)
// puts 0.5 % of it or more outside and fits clearly better than the marked look merely moved.
constexpr double exposedShare = 0.005;
constexpr double exposedGain = 0.015;
constexpr double exposedSupport = 0.5;
// Or when a corner sticks out this far, in pixels of the tracker's frame: a recording larger than
// that frame shows a sliver of a pixel there as one or two of its own, a per cent of a small target.
constexpr double exposedOverhang = 0.75;
// A plain target measured directly shows outside its box at all past this share: its edge's blur
// and the encoder's noise stay below it.
constexpr double plainBeyond = 0.001;

// The middle of a box, a tenth of each side in from its edges.
QRectF middle(const QRectF& box)
{
    const QRectF r = box.normalized();
    return r.adjusted(0.1 * r.width(), 0.1 * r.height(), -0.1 * r.width(), -0.1 * r.height());
}
QSizeF middle(QSizeF size) { return size * 0.8; }

// Which samples of a marked look belong to the target. A sample whose standardised value moved
// by a standard deviation or more in a frame matched surely is background; at most half of the
// samples are given up, so what is left is still mostly the target.
class Foreground {
public:
    static constexpr double sure = 0.8;

    explicit Foreground(const VideoBlurAppearance& marked) : marked_(standardised(marked)) { weights_.fill(1); }

    const VideoBlurAppearance::Weights& weights() const { return weights_; }

    void learn(const VideoBlurAppearance& seen)
    {
        const auto values = standardised(seen);
        VideoBlurAppearance::Weights next = weights_;
        int kept = 0;
        for (int i = 0; i < VideoBlurAppearance::count; ++i) {
            if (std::abs(values[i] - marked_[i]) >= 1)
                next[i] = 0;
            kept += next[i] > 0;
        }
        if (kept * 2 >= VideoBlurAppearance::count)
            weights_ = next;
    }

private:
    static std::array<double, VideoBlurAppearance::count> standardised(const VideoBlurAppearance& look)
    {
        std::array<double, VideoBlurAppearance::count> values{};
        const double deviation = std::sqrt(std::max(look.variance(), 1e-12) / VideoBlurAppearance::count);
        for (int i = 0; i < VideoBlurAppearance::count; ++i)
            values[i] = (look.values()[i] - look.mean()) / deviation;
        return values;
    }

    std::array<double, VideoBlurAppearance::count> marked_;
    VideoBlurAppearance::Weights weights_;
};

double distance(const QPointF& a, const QPointF& b) { return std::hypot(a.x() - b.x(), a.y() - b.y()); }

QRectF centredOn(const QPointF& centre, QSizeF size)
{
    return QRectF(centre.x() - size.width() / 2, centre.y() - size.height() / 2, size.width(), size.height());
}

// The longer side of the grey copies a run compares looks on. A look samples a small box on a
// 480-pixel copy more densely than the copy has pixels, and what it sees of a fine texture then
// changes with every fraction of a pixel the target moves; on the frame's own pixels it does not.
int greySide(const QRectF& box, const cv::Mat& frame)
{
    if (frame.empty())
        return 480;
    const int side = std::max(frame.cols, frame.rows);
    const double scale = std::min(480.0 / side, 1.0);
    const QSizeF look = middle(box.size());
    const bool dense = look.width() * frame.cols * scale < VideoBlurAppearance::columns ||
                       look.height() * frame.rows * scale < VideoBlurAppearance::rows;
    return dense ? side : 480;
}

// The size, as a multiple of the box, at which the marked look matches the target best: a parabola
// through three sizes a step apart around `scale`. `gain` is how much better it matches there than
// at the box's own size.
struct ScaleFit {
    double scale = 1;
    double gain = 0;
};

ScaleFit fitScale(const VideoBlurAppearance& marked, const VideoBlurAppearance::Weights& weights,
                  const VideoBlurGrayFrame& plane, const QPointF& centre, QSizeF size, double scale)
{
    auto at = [&](double s) {
        return marked.correlation(VideoBlurAppearance(plane, middle(centredOn(centre, size * s))), weights);
    };
    const double below = at(scale / scaleStep), here = at(scale), above = at(scale * scaleStep);
    const double curve = below - 2 * here + above;
    const double offset = curve < 0 ? std::clamp((below - above) / (2 * curve), -1.0, 1.0)
                                    : (above > below ? 1.0 : above < below ? -1.0 : 0.0);
    const double best = std::clamp(scale * std::pow(scaleStep, offset), 0.5, 2.0);
    return {best, at(best) - at(1)};
}

// What one accepted frame said of the target's shape against its box.
struct Growth {
    double time = 0;
    bool beyond = false;   // a corner of the target lies outside the box at all
    bool outgrown = false; // clearly shows outside it
};

// The time a run should show for checking because the target did not fit its box: each frame found
// clearly larger, and the frames beside it that already looked larger at all (a box drawn on the
// target's edges leaves them showing from the first pixel of growth), each from the frame before it
// to just before the frame after it.
std::vector<VideoBlurGap> outgrownTime(const std::vector<Growth>& frames, double from, double to, int d)
{
    const std::size_t n = frames.size();
    std::vector<bool> shown(n, false);
    for (std::size_t i = 0; i < n; ++i) {
        if (!frames[i].outgrown)
            continue;
        shown[i] = true;
        for (std::size_t j = i; j-- > 0 && !shown[j] && frames[j].beyond;)
            shown[j] = true;
        for (std::size_t j = i + 1; j < n && !frames[j].outgrown && frames[j].beyond; ++j)
            shown[j] = true;
    }
    std::vector<VideoBlurGap> result;
    for (std::size_t i = 0; i < n; ++i) {
        if (!shown[i])
            continue;
        const double before = i > 0 ? frames[i - 1].time : from;
        const double after = i + 1 < n ? frames[i + 1].time - d * holdOffset : to;
        result.push_back({std::min(before, after), std::max(before, after)});
    }
    return VideoBlurRegion::merged(result);
}

// The keys of one run, and the time where its target did not fit its box.
struct Run {
    std::vector<VideoBlurKey> keys;
    std::vector<VideoBlurGap> outgrown;
};

// Where the runs of one stretch found the target outgrowing its box, to be checked as a lost
// stretch is. Each run measures the target against the box of its own key, so a time counts only
// when every run that reached it says so: the box of a later key drawn with room to spare shows
// the target fits where the earlier key alone could not tell.
std::vector<VideoBlurGap> outgrownBoth(const Run& forward, const Run& backward)
{
    auto reached = [](const Run& run) {
        return run.keys.empty() ? VideoBlurGap{} : VideoBlurGap{run.keys.front().time, run.keys.back().time};
    };
    auto beyond = [](const Run& run, const VideoBlurGap& reach) {
        std::vector<VideoBlurGap> rest;
        for (const auto& gap : run.outgrown) {
            const auto parts = reach.end > reach.start ? VideoBlurRegion::subtract(reach, {gap})
                                                       : std::vector<VideoBlurGap>{gap};
            rest.insert(rest.end(), parts.begin(), parts.end());
        }
        return rest;
    };
    std::vector<VideoBlurGap> result = beyond(forward, reached(backward));
    const auto alone = beyond(backward, reached(forward));
    result.insert(result.end(), alone.begin(), alone.end());
    for (const auto& a : forward.outgrown)
        for (const auto& b : backward.outgrown)
            if (std::max(a.start, b.start) < std::min(a.end, b.end))
                result.push_back({std::max(a.start, b.start), std::min(a.end, b.end)});
    return VideoBlurRegion::merged(result);
}

struct Segment {
    VideoBlurGap range;
    std::vector<VideoBlurKey> seeds;
    std::vector<double> cuts;
};

const VideoBlurKey* seedAt(const std::vector<VideoBlurKey>& seeds, double time)
{
    for (const auto& seed : seeds)
        if (std::abs(seed.time - time) < epsilon)
            return &seed;
    return nullptr;
}

// One tracking call: the files it reads and the progress shared by its runs. The forward and
// the backward run of a stretch go side by side, each on its own decoders; they share nothing
// but the progress and the diagnostic, which a lock guards.
class Job {
public:
    Job(const QString& source, const VideoBlurRegion& region, const Diagnostic& diagnostic, const Progress& progress,
        const std::stop_token& cancel)
        : source_(source), region_(region), diagnostic_(diagnostic), progress_(progress),
          cancelled_(cancel, [this] { stop_.request_stop(); })
    {
        manualOnly_ = region;
        manualOnly_.keys = region.manualKeys();
    }

    VideoBlurRegion run();

private:
    void checkCancel() const
    {
        if (stop_.stop_requested())
            throw CancellationError();
    }
    // Moves a run's share of the progress from `reported` to `value` seconds.
    void advance(double& reported, double value)
    {
        std::lock_guard lock(mutex_);
        progressed_ += value - reported;
        reported = value;
        if (progress_)
            progress_(std::min(progressed_ / total_, 0.99));
    }
    // The forward and the backward run of one stretch; the first failure stops both.
    std::pair<Run, Run> bothWays(const VideoBlurKey* forwardSeed, double forwardTo, const VideoBlurKey* backwardSeed,
                                 double backwardTo);
    QSizeF expectedSize(double time) const { return manualOnly_.rect(time).size(); }
    std::vector<Segment> segments(const std::vector<VideoBlurGap>& intervals) const;
    Run pass(const VideoBlurKey& anchor, double target, int direction);
    Run follow(const VideoBlurKey& anchor, double target, int direction, double span, double& reported);

    const QString& source_;
    const VideoBlurRegion& region_;
    VideoBlurRegion manualOnly_;
    const Diagnostic& diagnostic_;
    const Progress& progress_;
    // Stopped by the caller, or by one run's failure so the other ends too.
    std::stop_source stop_;
    std::stop_callback<std::function<void()>> cancelled_;
    // Per direction; opened by the first run, so a region with nothing to track never touches the file.
    std::array<std::unique_ptr<VideoFrameDecoder>, 2> stills_;
    std::array<std::unique_ptr<VideoFrameDecoder>, 2> readers_;
    std::mutex mutex_;
    double total_ = epsilon;
    double progressed_ = 0;
};

std::vector<Segment> Job::segments(const std::vector<VideoBlurGap>& intervals) const
{
    const std::vector<VideoBlurKey> manual = manualOnly_.keys;
    std::vector<Segment> result;
    for (const auto& range : intervals) {
        const double s = range.start, e = range.end;
        Segment segment{range, {}, {}};
        const VideoBlurKey* startSeed = nullptr;
        for (const auto& key : manual)
            if (std::abs(key.time - s) < epsilon)
                startSeed = &key;
        if (startSeed)
            segment.seeds.push_back(*startSeed);
        else if (s > region_.start + epsilon)
            segment.seeds.push_back({s, region_.rect(s), false});
        for (const auto& key : manual)
            if (key.time > s + epsilon && key.time < e - epsilon)
                segment.seeds.push_back(key);
        const auto endSeed = std::find_if(manual.begin(), manual.end(),
                                          [e](const auto& key) { return std::abs(key.time - e) < epsilon; });
        if (endSeed != manual.end())
            segment.seeds.push_back(*endSeed);
        else if (e < region_.end - epsilon)
            segment.seeds.push_back({e, region_.rect(e), false});
        segment.cuts = {s, e};
        for (const auto& seed : segment.seeds)
            segment.cuts.push_back(seed.time);
        std::sort(segment.cuts.begin(), segment.cuts.end());
        segment.cuts.erase(std::unique(segment.cuts.begin(), segment.cuts.end()), segment.cuts.end());
        result.push_back(std::move(segment));
    }
    return result;
}

VideoBlurRegion Job::run()
{
    checkCancel();
    if (region_.manualKeys().empty())
        return region_;
    std::vector<VideoBlurGap> intervals = region_.pending;
    if (region_.pending.empty())
        intervals = region_.gaps;
    intervals = VideoBlurRegion::merged(intervals);
    if (intervals.empty()) {
        if (progress_)
            progress_(1);
        return region_;
    }
    const std::vector<Segment> plan = segments(intervals);
    double total = 0;
    for (const auto& segment : plan)
        for (std::size_t i = 0; i + 1 < segment.cuts.size(); ++i) {
            const double a = segment.cuts[i], b = segment.cuts[i + 1];
            const auto runs = std::count_if(segment.seeds.begin(), segment.seeds.end(), [&](const auto& seed) {
                return std::abs(seed.time - a) < epsilon || std::abs(seed.time - b) < epsilon;
            });
            total += (b - a) * double(runs);
        }
    total_ = std::max(total, epsilon);

    std::vector<VideoBlurKey> keys = region_.keys;
    std::vector<VideoBlurGap> lost = region_.gaps;
    for (const auto& segment : plan) {
        checkCancel();
        std::vector<VideoBlurKey> tracked;
        std::vector<VideoBlurGap> trackedLost;
        for (std::size_t i = 0; i + 1 < segment.cuts.size(); ++i) {
            const double a = segment.cuts[i], b = segment.cuts[i + 1];
            const VideoBlurKey* forwardSeed = seedAt(segment.seeds, a);
            const VideoBlurKey* backwardSeed = seedAt(segment.seeds, b);
            const auto [forward, backward] = bothWays(forwardSeed, b, backwardSeed, a);
            Combined part = combine(forward.keys, backward.keys, a, b, region_.rect(a),
                                    [this](double t) { return expectedSize(t); });
            tracked.insert(tracked.end(), part.keys.begin(), part.keys.end());
            trackedLost.insert(trackedLost.end(), part.gaps.begin(), part.gaps.end());
            const auto outgrown = outgrownBoth(forward, backward);
            trackedLost.insert(trackedLost.end(), outgrown.begin(), outgrown.end());
        }
        const double s = segment.range.start, e = segment.range.end;
        std::erase_if(keys, [&](const auto& key) {
            return !key.manual && key.time >= s - epsilon && key.time <= e + epsilon;
        });
        keys.insert(keys.end(), tracked.begin(), tracked.end());
        lost = VideoBlurRegion::subtract(segment.range, lost);
        lost.insert(lost.end(), trackedLost.begin(), trackedLost.end());
    }

    VideoBlurRegion result = region_;
    result.keys = deduplicated(keys);
    result.gaps = VideoBlurRegion::merged(lost);
    result.pending.clear();
    result.acceptedGaps = false;
    result.tracked = true;
    if (progress_)
        progress_(1);
    return result;
}

std::pair<Run, Run> Job::bothWays(const VideoBlurKey* forwardSeed, double forwardTo, const VideoBlurKey* backwardSeed,
                                  double backwardTo)
{
    Run forward, backward;
    auto runBackward = [&] {
        try {
            backward = pass(*backwardSeed, backwardTo, -1);
        } catch (...) {
            stop_.request_stop();
            throw;
        }
    };
    std::future<void> other;
    if (forwardSeed && backwardSeed)
        other = std::async(std::launch::async, runBackward);
    std::exception_ptr failure;
    try {
        if (forwardSeed)
            forward = pass(*forwardSeed, forwardTo, +1);
        else if (backwardSeed)
            runBackward();
    } catch (...) {
        failure = std::current_exception();
        stop_.request_stop();
    }
    if (other.valid()) {
        try {
            other.get();
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    }
    if (failure)
        std::rethrow_exception(failure);
    return {std::move(forward), std::move(backward)};
}

Run Job::pass(const VideoBlurKey& anchor, double target, int direction)
{
    const double span = std::abs(target - anchor.time);
    if (span <= epsilon)
        return {{anchor}, {}};
    double reported = 0;
    try {
        Run run = follow(anchor, target, direction, span, reported);
        advance(reported, span);
        return run;
    } catch (...) {
        advance(reported, span);
        throw;
    }
}

Run Job::follow(const VideoBlurKey& anchor, double target, int d, double span, double& reported)
{
    const double lower = std::min(target, anchor.time), upper = std::max(target, anchor.time);
    auto& reader = readers_[d < 0];
    auto& stills = stills_[d < 0];
    if (!reader) {
        reader = openTrackingDecoder(source_);
        stills = openTrackingDecoder(source_);
    }
    VideoBlurFrames frames(*reader, lower, upper, d < 0, stop_.get_token());

    // The look to follow comes from the last key before an automatic anchor, when it is close:
    // an anchor at the start of a lost interval has no trustworthy look of its own.
    VideoBlurKey look = anchor;
    if (!anchor.manual) {
        const VideoBlurKey* nearest = nullptr;
        for (const auto& key : region_.keys) {
            const double gap = std::abs(key.time - anchor.time);
            if (d * (key.time - anchor.time) < -epsilon && gap <= templateLookBack &&
                (!nearest || gap < std::abs(nearest->time - anchor.time)))
                nearest = &key;
        }
        if (nearest)
            look = *nearest;
    }
    checkCancel();
    // The picture of the key's own time, also for a key on the region's last frame: one
    // frame earlier, the tracker would learn a look that is a whole frame's move away.
    const VideoBlurFrame first = videoBlurStillFrame(*stills, std::max(0.0, look.time));
    // What the user marked, by the middle of the box: the edge of a box drawn with a margin shows
    // background, which changes as the target moves over it. Every accepted rectangle must look
    // like this; following the look of the last accepted rectangle lets background leak in frame
    // by frame until the box has slid off the target.
    const int side = greySide(look.rect, first.image);
    const VideoBlurGrayFrame firstGrey(first.image, side);
    const VideoBlurAppearance marked(smoothedForLooks(firstGrey, middle(look.rect).size()), middle(look.rect));
    // A target too plain to correlate is compared whole, by its mean grey difference.
    const VideoBlurAppearance plain(firstGrey, look.rect);
    // The samples of the marked look that keep their place in it while the target is followed
    // surely; the others show background that changed under a box drawn off-centre.
    Foreground foreground(marked);
    VideoBlurShape shape(first.image, look.rect, middle(look.rect));
    VideoBlurObjectTracker tracker;
    tracker.seed(first.image, look.rect);

    std::vector<VideoBlurKey> keys{{look.time, look.rect, false}};
    QRectF position = look.rect;
    // How much larger than its box the target looks now, and what each frame said of it.
    double scale = 1;
    std::vector<Growth> growth;
    double previous = first.time;
    bool wanting = false;
    while (d * (target - previous) > frameTolerance) {
        checkCancel();
        const double wanted = d > 0 ? std::min(previous + nextFrame, target) : std::max(previous - nextFrame, target);
        const std::optional<VideoBlurFrame> frame = frames.frame(wanted);
        if (!frame || !(d * (frame->time - previous) > epsilon && d * (frame->time - target) <= frameStep)) {
            wanting = true;
            break;
        }
        const double t = frame->time;
        advance(reported, std::min(std::abs(t - anchor.time), span));

        const std::optional<QRectF> box = tracker.update(frame->image);
        const QSizeF size = expectedSize(t);
        const double elapsed = std::abs(t - previous);
        const double limit = motionLimit(size, elapsed);
        const VideoBlurGrayFrame grey(frame->image, side);
        std::optional<QRectF> chosen;
        std::optional<float> confidence;
        Growth grown{t};
        if (!marked.isLowTexture()) {
            // The look is searched for at the size the target has grown or shrunk to; the box
            // keeps the size of its keys.
            const QSizeF seen = size * scale;
            const VideoBlurGrayFrame smooth = smoothedForLooks(grey, middle(seen));
            // Everywhere the target may have gone since the last frame...
            const VideoBlurAppearance::Weights& weights = foreground.weights();
            VideoBlurAppearance::Match best =
                marked.search(smooth, middle(centredOn(position.center(), seen)), limit, &weights);
            if (box) {
                // ...and around the tracker's answer, should the coarse grid have passed its peak.
                const QRectF boxed = middle(centredOn(box->center(), seen));
                confidence = float(std::max(0.0, marked.correlation(VideoBlurAppearance(smooth, boxed), weights)));
                // (Not when the search already ended within a grey pixel of it.)
                const double pixel = 1.0 / grey.width;
                if (distance(best.rect.center(), boxed.center()) > pixel &&
                    acceptable({*box, *confidence}, position, elapsed, size)) {
                    const auto near = marked.search(smooth, boxed, 2 * pixel, &weights);
                    if (near.score > best.score && distance(near.rect.center(), position.center()) <= limit)
                        best = near;
                }
            }
            if (best.score >= matchFloor) {
                chosen = VideoBlurRegion::clamp(centredOn(best.rect.center(), size));
                if (best.score >= Foreground::sure)
                    foreground.learn(VideoBlurAppearance(smooth, best.rect));
                const ScaleFit fit = fitScale(marked, weights, smooth, best.rect.center(), size, scale);
                scale = fit.gain >= followedGain ? fit.scale : 1.0;
                const VideoBlurShape::Fit f = shape.measure(frame->image, best.rect.center(), *chosen);
                if (f.placed)
                    chosen = VideoBlurRegion::clamp(centredOn(f.centre, size));
                // A look no map fits may stick out as far as it likes.
                grown.beyond = !f.fitted || f.overhang > 0;
                grown.outgrown = f.fitted && (f.exposed >= exposedShare || f.overhang >= exposedOverhang) &&
                                 f.gain >= exposedGain && f.support >= exposedSupport;
            }
        } else if (box) {
            const double w = frame->image.cols, h = frame->image.rows;
            const QPointF centre(std::round(box->center().x() * w) / w, std::round(box->center().y() * h) / h);
            QRectF candidate = VideoBlurRegion::clamp(centredOn(centre, size));
            // A plain target is placed by its own pixels, which the object tracker only guesses at.
            const VideoBlurShape::Extent extent = shape.measurePlain(frame->image, candidate);
            const bool measured = extent.measured && distance(extent.centre, candidate.center()) <= limit;
            if (measured)
                candidate = VideoBlurRegion::clamp(centredOn(extent.centre, size));
            const double difference = plain.meanDifference(VideoBlurAppearance(grey, candidate));
            confidence = float(1 - difference);
            if (acceptable({*box, *confidence}, position, elapsed, size) && difference < 0.04) {
                chosen = candidate;
                grown.beyond = !measured || extent.exposed > plainBeyond;
                grown.outgrown = measured && extent.exposed >= exposedShare;
            }
        }
        if (!chosen) {
            if (diagnostic_) {
                std::lock_guard lock(mutex_);
                diagnostic_(t, missLine(confidence));
            }
            break;
        }
        const bool keepTracker =
            box && distance(box->center(), chosen->center()) < 0.12 * std::min(size.width(), size.height());
        if (elapsed > holdThreshold) {
            // Skipped frames: the earlier rectangle holds until just before the later frame.
            if (d > 0)
                keys.push_back({t - holdOffset, position, false});
            else
                keys.push_back({previous - holdOffset, *chosen, false});
        }
        position = *chosen;
        keys.push_back({std::clamp(t, region_.start, region_.end), position, false});
        growth.push_back(grown);
        if (!keepTracker)
            tracker.seed(frame->image, position);
        previous = t;
    }
    if (wanting)
        keys.push_back({target, position, false});
    std::erase_if(keys, [&](const auto& key) { return key.time < lower - epsilon || key.time > upper + epsilon; });
    std::stable_sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) { return a.time < b.time; });
    std::vector<VideoBlurGap> outgrown =
        outgrownTime(growth, look.time, wanting ? target : previous, d);
    for (auto& gap : outgrown)
        gap = {std::max(gap.start, lower), std::min(gap.end, upper)};
    return {std::move(keys), VideoBlurRegion::merged(outgrown)};
}

} // namespace

void VideoBlurObjectTracker::seed(const cv::Mat& frame, const QRectF& box)
{
    const cv::Rect pixels = toPixels(box, frame.size());
    try {
        // Sizes come from the manual keys, so the scale search and the colour names are wasted work.
        cv::TrackerCSRT::Params parameters;
        parameters.use_segmentation = false;
        parameters.use_color_names = false;
        parameters.number_of_scales = 1;
        tracker_ = cv::TrackerCSRT::create(parameters);
        tracker_->init(frame, pixels);
        return;
    } catch (const cv::Exception&) {
    }
    try {
        tracker_ = cv::TrackerKCF::create();
        tracker_->init(frame, pixels);
    } catch (const cv::Exception&) {
        tracker_.reset();
    }
}

std::optional<QRectF> VideoBlurObjectTracker::update(const cv::Mat& frame)
{
    cv::Rect box;
    try {
        if (!tracker_ || !tracker_->update(frame, box) || box.width <= 0 || box.height <= 0)
            return std::nullopt;
    } catch (const cv::Exception&) {
        return std::nullopt;
    }
    const double w = frame.cols, h = frame.rows;
    return QRectF(box.x / w, 1 - (box.y + box.height) / h, box.width / w, box.height / h);
}

cv::Rect VideoBlurObjectTracker::toPixels(const QRectF& box, cv::Size size)
{
    const QRectF n = box.normalized();
    const int x = std::clamp(int(std::lround(n.left() * size.width)), 0, size.width - 1);
    const int y = std::clamp(int(std::lround((1 - n.top() - n.height()) * size.height)), 0, size.height - 1);
    const int w = std::clamp(int(std::lround(n.width() * size.width)), 1, size.width - x);
    const int h = std::clamp(int(std::lround(n.height() * size.height)), 1, size.height - y);
    return cv::Rect(x, y, w, h);
}

bool acceptable(const Observation& observation, const QRectF& previous, double elapsed,
                std::optional<QSizeF> expectedSize)
{
    const QSizeF reference = expectedSize ? *expectedSize : previous.normalized().size();
    const double rw = reference.width(), rh = reference.height();
    const QRectF& box = observation.box;
    const double x = box.x(), y = box.y(), w = box.width(), h = box.height();
    if (!(observation.confidence >= 0.15f))
        return false;
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(w) || !std::isfinite(h))
        return false;
    if (w < 0.005 || w > 1 || h < 0.005 || h > 1)
        return false;
    if (!(x + w > 0 && y + h > 0 && x < 1 && y < 1))
        return false;
    const double widthRatio = w / rw, heightRatio = h / rh;
    if (!(widthRatio >= 0.5 && widthRatio <= 1.8 && heightRatio >= 0.5 && heightRatio <= 1.8))
        return false;
    const double aspect = (w / h) / (rw / rh);
    if (!(aspect >= 0.5 && aspect <= 2.0))
        return false;
    return distance(box.center(), previous.normalized().center()) <= motionLimit(reference, elapsed);
}

double motionLimit(QSizeF size, double elapsed)
{
    const double base = std::clamp(std::hypot(size.width(), size.height()) * 0.35, 0.012, 0.08);
    return base * std::clamp(elapsed / frameStep, 1.0, 3.0);
}

Combined combine(const std::vector<VideoBlurKey>& forward, const std::vector<VideoBlurKey>& backward, double start,
                 double end, const QRectF& fallback, const std::function<QSizeF(double)>& size)
{
    std::vector<double> grid{start, end};
    for (int k = 0; start + k * frameStep < end; ++k)
        grid.push_back(start + k * frameStep);
    for (const auto* run : {&forward, &backward})
        for (const auto& key : *run)
            grid.push_back(key.time);
    std::sort(grid.begin(), grid.end());
    grid.erase(std::unique(grid.begin(), grid.end()), grid.end());

    auto path = [&](const std::vector<VideoBlurKey>& run) {
        VideoBlurRegion scratch;
        scratch.start = start;
        scratch.end = end;
        scratch.keys = run;
        scratch.pending = {{start, end}};
        return scratch;
    };
    const VideoBlurRegion forwardPath = path(forward), backwardPath = path(backward);
    auto covers = [](const std::vector<VideoBlurKey>& run, double t) {
        return !run.empty() && run.front().time - frameStep <= t && t <= run.back().time + frameStep;
    };

    Combined result;
    std::vector<VideoBlurGap> lost;
    QRectF last = fallback;
    bool open = false;
    const std::size_t n = grid.size();
    for (std::size_t i = 0; i < n; ++i) {
        const double t = grid[i];
        const QSizeF sz = size(t);
        std::optional<QRectF> candidate;
        const bool f = covers(forward, t), b = covers(backward, t);
        if (f && !b) {
            candidate = forwardPath.rect(t);
        } else if (b && !f) {
            candidate = backwardPath.rect(t);
        } else if (f && b) {
            const QRectF fr = forwardPath.rect(t), br = backwardPath.rect(t);
            if (distance(fr.center(), br.center()) <= std::max(0.25 * std::min(sz.width(), sz.height()), 0.008)) {
                const double w = std::clamp((t - start) / std::max(end - start, epsilon), 0.0, 1.0);
                candidate = QRectF(fr.x() + w * (br.x() - fr.x()), fr.y() + w * (br.y() - fr.y()), sz.width(),
                                   sz.height());
            }
        }
        if (!candidate) {
            if (i == 0) {
                open = true;
                result.keys.push_back({t, last, false});
            } else if (i < n - 1) {
                lost.push_back({grid[i - 1], t});
                open = true;
                result.keys.push_back({t, last, false});
            } else {
                lost.push_back({grid[n - 2], t});
                result.keys.push_back({std::max(grid[n - 2], t - holdOffset), last, false});
                result.keys.push_back({t, last, false});
                open = true;
            }
        } else if (i == 0 || !open) {
            last = *candidate;
            result.keys.push_back({t, *candidate, false});
        } else {
            const double hold = std::max(grid[i - 1], t - holdOffset);
            result.keys.push_back({hold, last, false});
            lost.push_back({grid[i - 1], hold});
            open = false;
            last = *candidate;
            result.keys.push_back({t, *candidate, false});
        }
    }
    result.gaps = VideoBlurRegion::merged(lost);
    return result;
}

std::vector<VideoBlurKey> deduplicated(const std::vector<VideoBlurKey>& keys)
{
    std::vector<VideoBlurKey> ordered = keys;
    std::stable_partition(ordered.begin(), ordered.end(), [](const auto& key) { return !key.manual; });
    std::map<std::int64_t, VideoBlurKey> table;
    for (const auto& key : ordered)
        table[std::llround(key.time * 60000)] = key;
    std::vector<VideoBlurKey> result;
    for (const auto& [slot, key] : table)
        result.push_back(key);
    std::stable_sort(result.begin(), result.end(), [](const auto& a, const auto& b) { return a.time < b.time; });
    return result;
}

QString missLine(std::optional<float> confidence)
{
    QString value = "0.0";
    if (confidence) {
        char text[32];
        const auto written = std::to_chars(text, text + sizeof text, *confidence);
        value = QString::fromLatin1(text, int(written.ptr - text));
        if (!value.contains('.') && !value.contains('e') && !value.contains("n"))
            value += ".0";
    }
    return "No visually supported local match; Vision confidence=" + value;
}

VideoBlurRegion track(const QString& source, const VideoBlurRegion& region, const Diagnostic& diagnostic,
                      const Progress& progress, std::stop_token cancel)
{
    return Job(source, region, diagnostic, progress, cancel).run();
}

} // namespace tarnwick::review::VideoBlurTracking
