#include "recording/review/VideoBlurRegion.h"

#include <algorithm>
#include <cmath>

namespace tarnwick::review {

namespace {
constexpr double manualTolerance = 1.0 / 60.0;
constexpr double keyTolerance = 0.0001;

void sortKeys(std::vector<VideoBlurKey>& keys)
{
    std::stable_sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) { return a.time < b.time; });
}
} // namespace

QRectF VideoBlurRegion::rect(double t) const
{
    if (keys.empty())
        return QRectF(0, 0, 0, 0);
    if (t <= keys.front().time)
        return keys.front().rect;
    const auto b = std::upper_bound(keys.begin(), keys.end(), t, [](double v, const auto& k) { return v < k.time; });
    if (b == keys.end())
        return keys.back().rect;
    const auto& a = *(b - 1);
    const double span = std::max(b->time - a.time, 0.000001);
    double f = (t - a.time) / span;
    f = (std::isnan(f) || f < 0) ? 0 : std::min(f, 1.0);
    const QRectF ra = a.rect.normalized(), rb = b->rect.normalized();
    const auto mix = [f](double x, double y) { return x + (y - x) * f; };
    return QRectF(mix(ra.x(), rb.x()), mix(ra.y(), rb.y()), mix(ra.width(), rb.width()),
                  mix(ra.height(), rb.height()));
}

QRectF VideoBlurRegion::clamp(const QRectF& r)
{
    const QRectF n = r.normalized();
    const double w = std::min(std::max(n.width(), 0.005), 1.0);
    const double h = std::min(std::max(n.height(), 0.005), 1.0);
    return QRectF(std::min(std::max(n.x(), 0.0), 1 - w), std::min(std::max(n.y(), 0.0), 1 - h), w, h);
}

std::vector<VideoBlurGap> VideoBlurRegion::merged(std::vector<VideoBlurGap> list)
{
    std::erase_if(list, [](const auto& g) { return !(g.start < g.end); });
    std::stable_sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return a.start < b.start; });
    std::vector<VideoBlurGap> out;
    for (const auto& g : list) {
        if (!out.empty() && g.start <= out.back().end + keyTolerance)
            out.back().end = std::max(out.back().end, g.end);
        else
            out.push_back(g);
    }
    return out;
}

std::vector<VideoBlurGap> VideoBlurRegion::subtract(const VideoBlurGap& cut, const std::vector<VideoBlurGap>& list)
{
    std::vector<VideoBlurGap> out;
    for (const auto& g : list) {
        if (cut.start < g.end && g.start < cut.end) {
            if (g.start < cut.start)
                out.push_back({g.start, cut.start});
            if (cut.end < g.end)
                out.push_back({cut.end, g.end});
        } else {
            out.push_back(g);
        }
    }
    return out;
}

std::vector<VideoBlurKey> VideoBlurRegion::manualKeys() const
{
    std::vector<VideoBlurKey> out;
    std::copy_if(keys.begin(), keys.end(), std::back_inserter(out), [](const auto& k) { return k.manual; });
    sortKeys(out);
    return out;
}

void VideoBlurRegion::setInterval(double s, double e)
{
    const VideoBlurRegion old = *this;
    start = s;
    end = e;
    keys.clear();
    for (const auto& k : old.manualKeys())
        if (k.time >= s && k.time <= e)
            keys.push_back(k);
    if (keys.empty())
        keys.push_back({s, old.rect(s), true});
    sortKeys(keys);
    gaps.clear();
    acceptedGaps = false;
    tracked = false;
    pending = {{s, e}};
}

void VideoBlurRegion::correct(const QRectF& r, double time)
{
    const double t = std::min(std::max(start, time), end);
    const VideoBlurRegion old = *this;
    double lo = start, hi = end;
    for (const auto& k : old.manualKeys()) {
        if (std::abs(k.time - t) <= manualTolerance)
            continue;
        if (k.time < t)
            lo = k.time;
    }
    for (const auto& k : old.manualKeys())
        if (std::abs(k.time - t) > manualTolerance && k.time > t) {
            hi = k.time;
            break;
        }
    if (const auto g = std::find_if(gaps.begin(), gaps.end(),
                                    [t](const auto& g) { return g.start - keyTolerance <= t && t <= g.end + keyTolerance; });
        g != gaps.end())
        lo = std::max(lo, g->start);
    if (const auto p = std::find_if(pending.begin(), pending.end(),
                                    [t](const auto& g) { return g.start <= t && t <= g.end; });
        p != pending.end())
        lo = std::max(lo, p->start);
    std::erase_if(keys, [&](const auto& k) {
        return k.manual ? std::abs(k.time - t) <= manualTolerance : (lo <= k.time && k.time <= hi);
    });
    for (const double edge : {lo, hi})
        if (std::none_of(keys.begin(), keys.end(), [edge](const auto& k) { return std::abs(k.time - edge) < keyTolerance; }))
            keys.push_back({edge, old.rect(edge), false});
    std::erase_if(keys, [t](const auto& k) { return !k.manual && std::abs(k.time - t) < keyTolerance; });
    keys.push_back({t, clamp(r), true});
    sortKeys(keys);
    std::vector<VideoBlurGap> p{{lo, hi}};
    p.insert(p.end(), old.pending.begin(), old.pending.end());
    pending = merged(std::move(p));
    tracked = false;
    acceptedGaps = false;
    gaps = subtract({lo, hi}, old.gaps);
}

bool VideoBlurRegion::losesTargetWithin(double from, double to) const
{
    if (acceptedGaps)
        return false;
    const double lo = std::max(from, start), hi = std::min(to, end);
    return std::any_of(gaps.begin(), gaps.end(), [&](const VideoBlurGap& gap) { return gap.start < hi && lo < gap.end; });
}

bool VideoBlurRegion::untrackedWithin(double from, double to) const
{
    const double lo = std::max(from, start), hi = std::min(to, end);
    return std::any_of(pending.begin(), pending.end(),
                       [&](const VideoBlurGap& interval) { return interval.start < hi && lo < interval.end; });
}

} // namespace tarnwick::review
