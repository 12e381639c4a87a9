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
    for (int i = 0; i < 144; ++i)
        QPainter(&square).fillRect(i % 12 * 4, i / 12 * 4, 4, 4,
                                   QColor::fromHsv(random.bounded(360), 200, random.bounded(256)));
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
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));

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

    // Nothing pending: the lost interval is tracked again, here on the video where the square stays.
    const VideoBlurRegion retracked = VideoBlurTracking::track(dir.filePath("visible.mp4"), hidden, {}, {});
    EXPECT_TRUE(retracked.gaps.empty());
    for (double t = gap.start; t < gap.end; t += 1 / 30.0)
        EXPECT_LE(std::abs(retracked.rect(t).x() - trueRect(t).x()) * 960, 2.0) << t;

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

TEST(VideoBlurTracking, RunsThatDisagreeLeaveALostIntervalAndManualKeysWinTheirSlot)
{
    const QSizeF size(0.2, 0.2);
    auto run = [&](double x, double from, double to) {
        return std::vector<VideoBlurKey>{{from, {x, 0.4, 0.2, 0.2}, false}, {to, {x, 0.4, 0.2, 0.2}, false}};
    };
    // Forward and backward both cover [0, 1] but 0.3 of a side apart after 0.5.
    const auto result = VideoBlurTracking::combine(run(0.1, 0, 1), run(0.16, 0.5, 1), 0, 1, {0.1, 0.4, 0.2, 0.2},
                                                   [&](double) { return size; });
    ASSERT_EQ(result.gaps.size(), 1u);
    EXPECT_NEAR(result.gaps[0].start, 13 / 30.0, 1e-9); // the last time only one run covers
    EXPECT_EQ(result.gaps[0].end, 1.0);
    VideoBlurRegion merged;
    merged.keys = result.keys;
    EXPECT_EQ(merged.rect(0.9), QRectF(0.1, 0.4, 0.2, 0.2));

    const auto keys = VideoBlurTracking::deduplicated(
        {{1, {0.5, 0, 0.1, 0.1}, true}, {1 + 0.4 / 60000, {}, false}, {1 - 1.0 / 60000, {}, false}, {0.5, {}, false}});
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_TRUE(keys[2].manual && keys[1].time == 1 - 1.0 / 60000);
    EXPECT_EQ(VideoBlurTracking::missLine(std::nullopt), "No visually supported local match; Vision confidence=0.0");
}

// The object tracker's box is searched around only when it is a plausible next position: enough
// confidence, about the expected size and shape, and within the distance the target can move.
TEST(VideoBlurTracking, TrackerBoxesAreTakenOnlyWhenPlausible)
{
    using VideoBlurTracking::acceptable;
    using VideoBlurTracking::Observation;
    const QRectF previous(0.4, 0.4, 0.1, 0.1);
    const QSizeF size(0.1, 0.1);
    const QRectF near(0.41, 0.4, 0.1, 0.1);
    const double frame = 1 / 30.0;
    EXPECT_TRUE(acceptable({near, 0.15f}, previous, frame, size));
    EXPECT_FALSE(acceptable({near, 0.149f}, previous, frame, size)) << "below the confidence floor";
    EXPECT_FALSE(acceptable({near, 0.0f}, previous, frame, size));
    EXPECT_FALSE(acceptable({QRectF(std::nan(""), 0.4, 0.1, 0.1), 0.9f}, previous, frame, size));
    // Sizes between half and 1.8 times the expected one, shapes within a factor of two of it.
    EXPECT_FALSE(acceptable({QRectF(0.41, 0.4, 0.045, 0.1), 0.9f}, previous, frame, size));
    EXPECT_TRUE(acceptable({QRectF(0.41, 0.4, 0.055, 0.1), 0.9f}, previous, frame, size));
    EXPECT_TRUE(acceptable({QRectF(0.36, 0.4, 0.17, 0.09), 0.9f}, previous, frame, size));
    EXPECT_FALSE(acceptable({QRectF(0.36, 0.4, 0.17, 0.08), 0.9f}, previous, frame, size));
    // 35 % of the diagonal a frame, three frames' worth after a pause; without an expected size
    // the previous box is the measure.
    EXPECT_FALSE(acceptable({near.translated(0.05, 0), 0.9f}, previous, frame, size));
    EXPECT_TRUE(acceptable({near.translated(0.05, 0), 0.9f}, previous, 0.1, size));
    EXPECT_TRUE(acceptable({near, 0.9f}, previous, frame, std::nullopt));
    EXPECT_FALSE(acceptable({near, 0.9f}, QRectF(0.41, 0.4, 0.3, 0.3), frame, std::nullopt));
    EXPECT_DOUBLE_EQ(VideoBlurTracking::motionLimit({0.01, 0.01}, frame), 0.012);
    EXPECT_DOUBLE_EQ(VideoBlurTracking::motionLimit({1, 1}, 1), 0.24);
}

TEST(VideoBlurTracking, RegionsWithNothingToTrackComeBackWithoutReadingTheFile)
{
    VideoBlurRegion region = squareRegion();
    region.pending.clear();
    std::vector<double> progress;
    const auto record = [&](double f) { progress.push_back(f); };
    EXPECT_EQ(VideoBlurTracking::track("/nonexistent.mp4", region, {}, record), region);
    EXPECT_EQ(progress, std::vector<double>{1.0});
    region.keys.front().manual = region.keys.back().manual = false;
    region.pending = {{0, 1}};
    EXPECT_EQ(VideoBlurTracking::track("/nonexistent.mp4", region, {}, record), region);
    EXPECT_EQ(progress.size(), 1u);
}

TEST(VideoBlurObjectTracker, FollowsASquareInNormalisedCoordinates)
{
    cv::Mat square(48, 48, CV_8UC3);
    cv::randu(square, 0, 255);
    auto frame = [&](int k) {
        cv::Mat image(360, 640, CV_8UC3, cv::Scalar(90, 120, 140));
        square.copyTo(image(cv::Rect(40 + 4 * k, 150 - 2 * k, 48, 48)));
        return image;
    };
    auto normalised = [](int k) { return QRectF((40 + 4 * k) / 640.0, 1 - (198 - 2 * k) / 360.0, 0.075, 48 / 360.0); };
    VideoBlurTracking::VideoBlurObjectTracker tracker;
    tracker.seed(frame(0), normalised(0));
    for (int k = 1; k <= 3; ++k) {
        const auto box = tracker.update(frame(k));
        ASSERT_TRUE(box);
        EXPECT_NEAR(box->x() * 640, normalised(k).x() * 640, 1.0);
        EXPECT_NEAR(box->y() * 360, normalised(k).y() * 360, 1.0);
    }
}

TEST(VideoBlurAppearance, GreyCopiesLooksAndSearch)
{
    for (auto [w, h, gw, gh] : {std::array{1920, 1080, 480, 270}, {100, 50, 100, 50}, {2000, 1, 480, 1}}) {
        const VideoBlurGrayFrame grey(cv::Mat(h, w, CV_8UC3, cv::Scalar(255, 255, 255)));
        EXPECT_EQ(QSize(grey.width, grey.height), QSize(gw, gh));
        EXPECT_EQ(grey.pixels, std::vector<std::uint8_t>(std::size_t(gw) * gh, 255));
    }

    std::array<double, VideoBlurAppearance::count> values, brighter, inverted;
    for (int i = 0; i < VideoBlurAppearance::count; ++i) {
        values[i] = (i * 37 % 101) / 100.0;
        brighter[i] = 0.2 + 0.5 * values[i];
        inverted[i] = 0.9 - 0.5 * values[i];
    }
    const VideoBlurAppearance look(values);
    EXPECT_NEAR(look.correlation(VideoBlurAppearance(brighter)), 1.0, 1e-12);
    EXPECT_NEAR(look.correlation(VideoBlurAppearance(inverted)), -1.0, 1e-12);
    EXPECT_EQ(look.correlation(VideoBlurAppearance(std::array<double, VideoBlurAppearance::count>{})), -1.0);

    // Smooth noise: found again from 6 and 5 grey pixels away, to the pixel.
    cv::Mat noise(34, 60, CV_8UC3), frame;
    cv::randu(noise, 0, 255);
    cv::resize(noise, frame, cv::Size(480, 270), 0, 0, cv::INTER_CUBIC);
    const VideoBlurGrayFrame plane(frame);
    const QRectF target(100 / 480.0, 80 / 270.0, 64 / 480.0, 48 / 270.0);
    const auto match =
        VideoBlurAppearance(plane, target).locate(plane, target.translated(6 / 480.0, -5 / 270.0), 0.05);
    ASSERT_TRUE(match);
    EXPECT_NEAR(match->rect.x(), target.x(), 1e-9);
    EXPECT_NEAR(match->rect.y(), target.y(), 1e-9);
    EXPECT_NEAR(match->score, 1.0, 1e-9);
    EXPECT_FALSE(VideoBlurAppearance(plane, target).locate(plane, target.translated(-0.25, 0), 0));
}

TEST(VideoBlurFrames, ReadsBackwardInHalfSecondsAndHandsOutEveryFrameOnce)
{
    QTemporaryDir dir;
    const auto decoder = openTrackingDecoder(writeVideo(dir.filePath("video.mp4"), 9, 9));
    // Two batches read the frame at 2 s, just before their boundary; it is handed out once.
    const double end = 2.5 - 1 / 1200.0, start = end - 1.2;
    VideoBlurFrames frames(*decoder, start, end, true, {});
    std::vector<std::pair<double, double>> batches;
    frames.batchRead = [&](double from, double to) { batches.emplace_back(from, to); };
    std::vector<int> seen;
    double wanted = end;
    while (const auto frame = frames.frame(wanted)) {
        seen.push_back(int(std::lround(frame->time * 30)));
        EXPECT_EQ(frame->image.size(), cv::Size(640, 360));
        wanted = frame->time - 1 / 30.0;
    }
    const double top = end + 1 / 600.0;
    const std::vector<std::pair<double, double>> halves{{top - 0.5, top}, {top - 1, top - 0.5}, {start, top - 1}};
    EXPECT_EQ(batches, halves);
    std::vector<int> expected;
    for (int k = 75; k >= 39; --k)
        expected.push_back(k);
    EXPECT_EQ(seen, expected);

    // A header claiming 2^40 s: the walk back stops at the file's real end.
    std::stop_source stop;
    VideoBlurFrames claimed(*decoder, 2.9, 1099511627776.0, true, stop.get_token());
    int reads = 0;
    claimed.batchRead = [&](double, double) {
        if (++reads > 20)
            stop.request_stop();
    };
    const auto last = claimed.frame(1099511627776.0);
    ASSERT_TRUE(last);
    EXPECT_EQ(std::lround(last->time * 30), 90);
}

TEST(VideoBlurAppearance, SearchFindsALookBetweenPixelsAndOnlyByItsWeightedSamples)
{
    cv::Mat noise(34, 60, CV_8UC3), frame, moved;
    cv::randu(noise, 0, 255);
    cv::resize(noise, frame, cv::Size(480, 270), 0, 0, cv::INTER_CUBIC);
    // The picture moved 3.5 grey pixels right and 2.25 down.
    cv::warpAffine(frame, moved, cv::Matx23d(1, 0, 3.5, 0, 1, 2.25), frame.size(), cv::INTER_CUBIC, cv::BORDER_REFLECT);
    const QRectF target(100 / 480.0, 80 / 270.0, 96 / 480.0, 40 / 270.0);
    const VideoBlurAppearance look(smoothedForLooks(VideoBlurGrayFrame(frame), target.size()), target);
    const VideoBlurGrayFrame plane = smoothedForLooks(VideoBlurGrayFrame(moved), target.size());
    const auto found = look.search(plane, target, 0.05);
    EXPECT_NEAR((found.rect.x() - target.x()) * 480, 3.5, 0.25);
    EXPECT_NEAR((found.rect.y() - target.y()) * 270, -2.25, 0.25);
    EXPECT_GT(found.score, 0.95);
    // Nothing like it within reach: the best there is scores low rather than nothing.
    EXPECT_LT(look.search(plane, target.translated(0.4, 0.3), 0.02).score, 0.6);

    // A quarter of the samples replaced: they count, or with no weight they do not.
    std::array<double, VideoBlurAppearance::count> values = look.values();
    VideoBlurAppearance::Weights weights;
    weights.fill(1);
    for (int i = 0; i < VideoBlurAppearance::count; ++i)
        if (i % VideoBlurAppearance::columns < VideoBlurAppearance::columns / 4) {
            values[i] = (i * 7919 % 101) / 100.0;
            weights[i] = 0;
        }
    const VideoBlurAppearance covered(values);
    EXPECT_LT(look.correlation(covered), 0.9);
    EXPECT_NEAR(look.correlation(covered, weights), 1.0, 1e-9);
    weights.fill(0);
    EXPECT_EQ(look.correlation(covered, weights), -1.0);
}
