#include "support/Errors.h"
#include "recording/RecordingEncoder.h"
#include "recording/review/VideoBlurAppearance.h"
#include "recording/review/VideoBlurFrameSource.h"
#include "recording/review/VideoBlurTracking.h"
#include "recording/review/VideoBlurTrackingSteps.h"

#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

using namespace tarnwick;
using namespace tarnwick::review;

namespace {

constexpr int frameCount = 91; // 0 … 3 s at 30 frames a second
const QSize videoSize(640, 360);

// The square's top-left corner in video pixels at a time: 4 pixels a frame to the right.
QPointF squareAt(double t) { return {40 + 120 * std::clamp(t, 0.0, 3.0), 150}; }

QRectF trueRect(double t)
{
    const QPointF p = squareAt(t);
    return QRectF(p.x() / videoSize.width(), 1 - (p.y() + 48) / videoSize.height(), 48.0 / videoSize.width(),
                  48.0 / videoSize.height());
}

// A textured square on soft stripes, written by the recorder's own encoder; hidden
// during [hideFrom, hideTo).
QString writeVideo(const QString& path, double hideFrom, double hideTo)
{
    QImage square(48, 48, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < 48; y += 4)
        for (int x = 0; x < 48; x += 4)
            QPainter(&square).fillRect(x, y, 4, 4, QColor::fromHsv(random.bounded(360), 200, random.bounded(256)));
    RecordingOptions options;
    options.codec = RecordingCodec::h264;
    RecordingEncoder encoder(path, videoSize, options, false);
    for (int k = 0; k < frameCount; ++k) {
        const double t = k / 30.0;
        QImage frame(videoSize, QImage::Format_RGB32);
        QPainter painter(&frame);
        for (int x = 0; x < videoSize.width(); ++x)
            painter.fillRect(x, 0, 1, videoSize.height(), QColor::fromHsv(30, 60, 128 + int(40 * std::sin(x / 9.0))));
        if (t < hideFrom || t >= hideTo)
            painter.drawImage(squareAt(t), square);
        painter.end();
        encoder.pushVideo(frame, k * 2000, true);
    }
    encoder.close(frameCount * 2000);
    return path;
}

VideoBlurRegion squareRegion()
{
    VideoBlurRegion region;
    region.end = frameCount / 30.0;
    region.keys = {{0, trueRect(0), true}, {3, trueRect(3), true}};
    region.pending = {{0, region.end}};
    return region;
}

} // namespace

TEST(VideoBlurTracking, FollowsAMovingSquareAndHoldsWhereItIsHidden)
{
    QTemporaryDir dir;
    const VideoBlurRegion region = squareRegion();
    std::vector<double> progress;
    const VideoBlurRegion visible = VideoBlurTracking::track(writeVideo(dir.filePath("visible.mp4"), 9, 9), region,
                                                             {}, [&](double f) { progress.push_back(f); });
    EXPECT_TRUE(visible.gaps.empty());
    EXPECT_TRUE(visible.tracked && visible.pending.empty());
    int automatic = 0;
    for (const auto& key : visible.keys) {
        if (key.manual || key.time > 3)
            continue;
        ++automatic;
        const QRectF want = trueRect(key.time);
        EXPECT_LE(std::abs(key.rect.x() - want.x()) * 960, 2.0) << key.time;
        EXPECT_LE(std::abs(key.rect.y() - want.y()) * 540, 2.0) << key.time;
    }
    EXPECT_GE(automatic, 89); // one per frame between the two manual keys
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 1.0);
    EXPECT_LE(*std::max_element(progress.begin(), progress.end() - 1), 0.99);

    QStringList misses;
    const VideoBlurRegion hidden = VideoBlurTracking::track(
        writeVideo(dir.filePath("hidden.mp4"), 1.0, 1.5), region, [&](double, const QString& line) { misses << line; },
        {});
    ASSERT_EQ(hidden.gaps.size(), 1u);
    const VideoBlurGap gap = hidden.gaps.front();
    EXPECT_LE(gap.start, 1.0 + 1 / 30.0);
    EXPECT_GE(gap.start, 1.0 - 1 / 30.0);
    EXPECT_GE(gap.end, 1.5 - 2 / 30.0);
    EXPECT_LE(gap.end, 1.5);
    EXPECT_EQ(misses.size(), 2) << misses.join('\n').toStdString();
    const QRectF held = hidden.rect(gap.start);
    EXPECT_LE(std::abs(held.x() - trueRect(gap.start).x()) * 960, 10.0);
    for (const auto& key : hidden.keys)
        EXPECT_TRUE(key.time < gap.start || key.time >= gap.end || key.rect == held) << key.time;

    std::stop_source stop;
    EXPECT_THROW(VideoBlurTracking::track(dir.filePath("visible.mp4"), region, {},
                                          [&](double f) {
                                              if (f > 0.3)
                                                  stop.request_stop();
                                          },
                                          stop.get_token()),
                 CancellationError);
    EXPECT_EQ(test::errorOf([&] { VideoBlurTracking::track(dir.filePath("none.mp4"), region, {}, {}); }),
              "Не удалось прочитать видео.");
}
