#pragma once

// Generated clips of a moving target and a frame-by-frame check of the blur over it, shared by
// the tracking test table and its benchmark.

#include "recording/RecordingEncoder.h"
#include "recording/review/VideoBlurRegion.h"
#include "recording/review/VideoBlurRendering.h"

#include <QFont>
#include <QPainter>
#include <QRandomGenerator>
#include <QString>
#include <array>
#include <vector>

namespace tarnwick::test {

enum class TrackingTarget { text, squareOnTexture, squareOnFlat };

struct TrackingCase {
    TrackingTarget target;
    bool tight; // the box drawn on the target's edges, else 8 px around it
    int speed;  // pixels a frame to the right, a quarter of that downwards
};

inline const char* targetName(TrackingTarget target)
{
    switch (target) {
    case TrackingTarget::text:
        return "text on flat";
    case TrackingTarget::squareOnTexture:
        return "square on texture";
    case TrackingTarget::squareOnFlat:
        return "square on flat";
    }
    return "";
}

// Three targets × two boxes × four speeds.
inline std::vector<TrackingCase> trackingTable()
{
    std::vector<TrackingCase> table;
    for (const auto target : {TrackingTarget::text, TrackingTarget::squareOnTexture, TrackingTarget::squareOnFlat})
        for (const bool tight : {true, false})
            for (const int speed : {4, 8, 16, 32})
                table.push_back({target, tight, speed});
    return table;
}

// A 1280 × 720 clip of 25 frames at 30 a second: an e-mail address in 28 px type on a flat light
// page, or an 80 px square of 4 px colour cells on a page of 6 px grey cells or on a flat one.
class TrackingClip {
public:
    static constexpr int frames = 25;
    static inline const QSize size{1280, 720};

    TrackingClip(TrackingTarget target, int speed) : speed_(speed)
    {
        QRandomGenerator random(29);
        page_ = QImage(size, QImage::Format_RGB32);
        page_.fill(QColor(244, 244, 242));
        if (target == TrackingTarget::text) {
            QFont font("DejaVu Sans");
            font.setPixelSize(28);
            sprite_ = QImage(420, 44, QImage::Format_RGB32);
            sprite_.fill(page_.pixel(0, 0));
            QPainter painter(&sprite_);
            painter.setFont(font);
            painter.setPen(QColor(40, 44, 52));
            painter.drawText(QPoint(2, 34), QStringLiteral("ivan.petrov@example.com"));
            painter.end();
            ink_ = inkOf(sprite_, page_.pixel(0, 0));
        } else {
            sprite_ = QImage(80, 80, QImage::Format_RGB32);
            QPainter painter(&sprite_);
            for (int y = 0; y < 80; y += 4)
                for (int x = 0; x < 80; x += 4)
                    painter.fillRect(x, y, 4, 4, QColor::fromHsv(random.bounded(360), 170, 60 + random.bounded(180)));
            painter.end();
            ink_ = sprite_.rect();
            if (target == TrackingTarget::squareOnTexture) {
                QPainter page(&page_);
                for (int y = 0; y < size.height(); y += 6)
                    for (int x = 0; x < size.width(); x += 6) {
                        const int grey = 60 + random.bounded(180);
                        page.fillRect(x, y, 6, 6, QColor(grey, grey, grey - 10));
                    }
            }
        }
    }

    // The target's pixels in frame k (origin top-left).
    QRect target(int k) const { return ink_.translated(corner(k)); }

    QImage frame(int k) const
    {
        QImage image = page_.copy();
        if (k < hiddenFrom_ || k >= hiddenTo_)
            QPainter(&image).drawImage(corner(k), sprite_);
        return image;
    }

    // Frames [from, to) show the page alone, as when a window passes over the target.
    void hide(int from, int to)
    {
        hiddenFrom_ = from;
        hiddenTo_ = to;
    }

    // Written by the recorder's own encoder.
    QString write(const QString& path) const
    {
        RecordingOptions options;
        options.codec = RecordingCodec::hevc;
        RecordingEncoder encoder(path, size, options, false);
        for (int k = 0; k < frames; ++k)
            encoder.pushVideo(frame(k), k * 2000, true);
        encoder.close(frames * 2000);
        return path;
    }

    // A one-key region: the box drawn on the first frame, tight or with an 8 px margin.
    review::VideoBlurRegion region(bool tight) const
    {
        review::VideoBlurRegion region;
        region.end = frames / 30.0;
        region.keys = {{0, normalised(target(0).adjusted(tight ? 0 : -8, tight ? 0 : -8, tight ? 0 : 8, tight ? 0 : 8)),
                        true}};
        region.pending = {{0, region.end}};
        return region;
    }

    static QRectF normalised(const QRect& r)
    {
        return {double(r.x()) / size.width(), 1 - double(r.y() + r.height()) / size.height(),
                double(r.width()) / size.width(), double(r.height()) / size.height()};
    }

private:
    QPoint corner(int k) const { return {40 + speed_ * k, 140 + speed_ * k / 4}; }

    static QRect inkOf(const QImage& image, QRgb background)
    {
        QRect ink;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixel(x, y) != background)
                    ink |= QRect(x, y, 1, 1);
        return ink;
    }

    int speed_;
    int hiddenFrom_ = 0;
    int hiddenTo_ = 0;
    QImage page_;
    QImage sprite_;
    QRect ink_;
};

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
    for (int k = 0; k < TrackingClip::frames; ++k) {
        const double t = k / 30.0;
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

} // namespace tarnwick::test
