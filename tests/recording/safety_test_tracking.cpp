#include "recording/RecordingEncoder.h"
#include "recording/review/VideoBlurTracking.h"

#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::review;

namespace {

const QSize videoSize(1280, 720);
constexpr int frames = 49; // 1.6 s at 30 frames a second, keys on the first and the last
constexpr int side = 64;

QPointF cornerAt(int speed, int k) { return {40.0 + speed * k, 200.0 + speed * k / 4.0}; }

QRectF normalised(QPointF corner)
{
    return QRectF(corner.x() / videoSize.width(), 1 - (corner.y() + side) / videoSize.height(),
                  double(side) / videoSize.width(), double(side) / videoSize.height());
}

// A textured square crossing rows of text-like dashes at `speed` pixels a frame,
// written by the recorder's own encoder.
QString writeVideo(const QString& path, int speed)
{
    QRandomGenerator random(11);
    QImage square(side, side, QImage::Format_RGB32), page(videoSize, QImage::Format_RGB32);
    page.fill(QColor(235, 235, 235));
    for (int i = 0; i < 64; ++i)
        QPainter(&square).fillRect(i % 8 * 8, i / 8 * 8, 8, 8, QColor::fromHsv(random.bounded(360), 180, random.bounded(256)));
    for (int i = 0; i < 2000; ++i)
        QPainter(&page).fillRect(random.bounded(1240), random.bounded(40) * 18, 20 + random.bounded(20), 8, Qt::darkGray);
    RecordingOptions options;
    options.codec = RecordingCodec::h264;
    RecordingEncoder encoder(path, videoSize, options, false);
    for (int k = 0; k < frames; ++k) {
        QImage frame = page.copy();
        QPainter(&frame).drawImage(cornerAt(speed, k), square);
        encoder.pushVideo(frame, k * 2000, true);
    }
    encoder.close(frames * 2000);
    return path;
}

} // namespace

TEST(RecordingSafety, TrackingKeepsUpWithFastTargets)
{
    QTemporaryDir dir;
    for (const int speed : {4, 8, 12, 16}) {
        SCOPED_TRACE(speed);
        VideoBlurRegion region;
        region.end = (frames - 1) / 30.0; // a key on the first and on the last frame of the region
        region.keys = {{0, normalised(cornerAt(speed, 0)), true}, {region.end, normalised(cornerAt(speed, frames - 1)), true}};
        region.pending = {{0, region.end}};
        const VideoBlurRegion tracked =
            VideoBlurTracking::track(writeVideo(dir.filePath(QString("%1.mp4").arg(speed)), speed), region, {}, {});
        EXPECT_TRUE(tracked.gaps.empty()) << "no lost interval on a target that stays in view";
        int followed = 0;
        for (int k = 0; k < frames; ++k) {
            const QRectF got = tracked.rect(k / 30.0), want = normalised(cornerAt(speed, k));
            followed += std::abs(got.x() - want.x()) * videoSize.width() <= 4 &&
                        std::abs(got.y() - want.y()) * videoSize.height() <= 4;
        }
        EXPECT_GE(followed, frames * 9 / 10);
    }
}
