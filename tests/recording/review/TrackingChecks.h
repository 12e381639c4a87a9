#pragma once

// A frame-by-frame check of the blur over a generated clip, shared by the tracking test table and
// its benchmark.

#include "TrackingClips.h"
#include "recording/review/VideoBlurRendering.h"

namespace tarnwick::test {

// A frame is covered when at least 90 % of the target's textured 8 × 8 blocks lost at least
// 70 % of their grey variance in the rendered output.
inline bool covered(const QImage& original, const QImage& rendered, const QRect& target)
{
    auto variance = [](const QImage& image, int x0, int y0) {
        double sum = 0, squares = 0;
        for (int y = y0; y < y0 + 8; ++y)
            for (int x = x0; x < x0 + 8; ++x) {
                const double v = qGray(image.pixel(x, y));
                sum += v;
                squares += v * v;
            }
        return squares / 64 - (sum / 64) * (sum / 64);
    };
    int blocks = 0, hidden = 0;
    for (int y = target.top(); y + 8 <= target.top() + target.height(); y += 8)
        for (int x = target.left(); x + 8 <= target.left() + target.width(); x += 8) {
            const double before = variance(original, x, y);
            if (before < 16) // flat paper between letters: nothing to hide
                continue;
            ++blocks;
            hidden += variance(rendered, x, y) <= 0.3 * before;
        }
    return blocks > 0 && hidden * 10 >= blocks * 9;
}

struct TrackingScore {
    int frames = 0;
    int covered = 0;
    int lost = 0;    // frames inside a reported lost interval
    int exposed = 0; // frames not covered and not inside a reported lost interval
};

// Renders the region over every frame of the clip and checks each against the target.
inline TrackingScore score(const TrackingClip& clip, const review::VideoBlurRegion& region)
{
    TrackingScore result;
    for (int k = 0; k < clip.frames(); ++k) {
        const double t = clip.time(k);
        const QImage original = clip.frame(k);
        const bool hidden = covered(original, review::VideoBlurRendering::image(original, t, {region}), clip.target(k));
        bool lost = false;
        for (const auto& gap : region.gaps)
            lost = lost || (gap.start - 0.0001 <= t && t <= gap.end + 0.0001);
        ++result.frames;
        result.covered += hidden;
        result.lost += lost;
        result.exposed += !hidden && !lost;
    }
    return result;
}

// The pixels the blur covers in a frame, found by blurring a one-pixel checkerboard with the
// renderer itself: every pixel it changed lies under a region.
inline QImage blurredPixels(const review::VideoBlurRegion& region, double t)
{
    static const QImage probe = [] {
        QImage image(TrackingClip::size, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y, (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
        return image;
    }();
    const QImage rendered = review::VideoBlurRendering::image(probe, t, {region});
    QImage mask(probe.size(), QImage::Format_Grayscale8);
    for (int y = 0; y < probe.height(); ++y) {
        const QRgb* a = reinterpret_cast<const QRgb*>(probe.constScanLine(y));
        const QRgb* b = reinterpret_cast<const QRgb*>(rendered.constScanLine(y));
        uchar* m = mask.scanLine(y);
        for (int x = 0; x < probe.width(); ++x)
            m[x] = a[x] != b[x] ? 255 : 0;
    }
    return mask;
}

struct ExposureScore {
    int frames = 0;
    int lost = 0;
    // Frames where more than 1 % of the target's pixels lie outside the blur and outside any lost
    // interval, with the most that showed in one of them.
    int exposed = 0;
    double worst = 0;
    std::vector<int> exposedFrames;
};

// Frame by frame, the share of the target's own pixels the blur leaves out.
inline ExposureScore exposure(const TrackingClip& clip, const review::VideoBlurRegion& region)
{
    ExposureScore result;
    for (int k = 0; k < clip.frames(); ++k) {
        const double t = clip.time(k);
        const QImage target = clip.targetMask(k), blurred = blurredPixels(region, t);
        long inside = 0, outside = 0;
        for (int y = 0; y < target.height(); ++y) {
            const uchar* m = target.constScanLine(y);
            const uchar* b = blurred.constScanLine(y);
            for (int x = 0; x < target.width(); ++x)
                if (m[x]) {
                    ++inside;
                    outside += b[x] == 0;
                }
        }
        bool lost = false;
        for (const auto& gap : region.gaps)
            lost = lost || (gap.start - 0.0001 <= t && t <= gap.end + 0.0001);
        const double share = inside > 0 ? double(outside) / inside : 0;
        ++result.frames;
        result.lost += lost;
        if (!lost && share > 0.01) {
            ++result.exposed;
            result.worst = std::max(result.worst, share);
            result.exposedFrames.push_back(k);
        }
    }
    return result;
}

} // namespace tarnwick::test
