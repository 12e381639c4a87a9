#include "recording/review/TrackingChecks.h"
#include "recording/review/VideoBlurFrameSource.h"
#include "recording/review/VideoBlurTracking.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <benchmark/benchmark.h>
#include <opencv2/tracking.hpp>

using namespace tarnwick::review;

namespace {

constexpr double duration = 10;

// A 10 s 1080p 30 fps H.264 video with the recorder's key-frame spacing: a 240 × 180 moving
// picture crossing a busy background at 120 pixels a second. Made once with ffmpeg.
QString tenSecondVideo()
{
    const QString file = QDir::temp().filePath("tarnwick-bench-blur-tracking.mp4");
    if (!QFile::exists(file))
        QProcess::execute("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=s=1920x1080:r=30:d=10", "-f",
                                     "lavfi", "-i", "testsrc=s=240x180:r=30:d=10", "-filter_complex",
                                     "[0][1]overlay=x='200+t*120':y=450", "-c:v", "libx264", "-preset", "superfast",
                                     "-g", "60", "-bf", "0", "-pix_fmt", "yuv420p", file});
    return file;
}

QRectF targetAt(double t) { return {(200 + t * 120) / 1920, 1 - (450 + 180) / 1080.0, 240 / 1920.0, 180 / 1080.0}; }

// Reading alone the frames a tracking run reads, in seconds.
double readingTime(const QString& file, bool backward)
{
    const auto decoder = openTrackingDecoder(file);
    VideoBlurFrames frames(*decoder, 0, duration, backward, {});
    QElapsedTimer clock;
    clock.start();
    double wanted = backward ? duration : 0;
    while (const auto frame = frames.frame(wanted))
        wanted = frame->time + (backward ? -1 : 1) / 30.0;
    return clock.nsecsElapsed() / 1e9;
}

void track(benchmark::State& state, bool bothWays)
{
    const QString file = tenSecondVideo();
    VideoBlurRegion region;
    region.end = duration;
    region.keys = {{0, targetAt(0), true}};
    if (bothWays)
        region.keys.push_back({duration - 1 / 30.0, targetAt(duration - 1 / 30.0), true});
    region.pending = {{0, duration}};
    const double reading = readingTime(file, false) + (bothWays ? readingTime(file, true) : 0);
    double tracking = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        const VideoBlurRegion result = VideoBlurTracking::track(file, region, {}, {});
        tracking += clock.nsecsElapsed() / 1e9;
        if (!result.gaps.empty())
            state.SkipWithError("the target was lost");
    }
    // The two runs of a stretch go side by side: the share of the runs' time spent reading frames.
    state.counters["decode_share"] = reading / (tracking / double(state.iterations()) * (bothWays ? 2 : 1));
    state.counters["reading_s"] = reading;
}

// A region drawn on the first frame, followed to the end: one forward run.
void BM_BlurTrackingForward(benchmark::State& state) { track(state, false); }
// Manual keys at both ends: a forward and a backward run over the whole video.
void BM_BlurTrackingBothWays(benchmark::State& state) { track(state, true); }

// A 1.6 s 720p clip: a 64 × 64 picture crossing a busy background at `speed` pixels a frame
// (and a quarter of that downwards), keys on its first and last frame.
constexpr int fastFrames = 49;
QString fastVideo(int speed)
{
    const QString file = QDir::temp().filePath(QString("tarnwick-bench-fast-target-%1.mp4").arg(speed));
    if (!QFile::exists(file))
        QProcess::execute("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=s=1280x720:r=30:d=1.6333", "-f",
                                     "lavfi", "-i", "smptebars=s=64x64:r=30", "-filter_complex",
                                     QString("[0][1]overlay=x='40+n*%1':y='200+n*%1/4':shortest=1").arg(speed),
                                     "-c:v", "libx264", "-preset", "superfast", "-g", "60", "-bf", "0", "-pix_fmt",
                                     "yuv420p", file});
    return file;
}

QRectF fastTargetAt(int speed, int k)
{
    return {(40 + k * speed) / 1280.0, 1 - (200 + k * speed / 4 + 64) / 720.0, 64 / 1280.0, 64 / 720.0};
}

bool near(const QRectF& got, const QRectF& want)
{
    return std::abs(got.x() - want.x()) * 1280 <= 4 && std::abs(got.y() - want.y()) * 720 <= 4;
}

// Our tracker with keys at both ends against OpenCV's CSRT alone, run forward from the first
// key, on the same frames: frames followed within 4 px of the true path, and the time.
void fastTarget(benchmark::State& state, bool ours)
{
    const int speed = int(state.range(0));
    const QString file = fastVideo(speed);
    const double end = (fastFrames - 1) / 30.0;
    int followed = 0;
    for (auto _ : state) {
        followed = 0;
        if (ours) {
            VideoBlurRegion region;
            region.end = end;
            region.keys = {{0, fastTargetAt(speed, 0), true}, {end, fastTargetAt(speed, fastFrames - 1), true}};
            region.pending = {{0, end}};
            const VideoBlurRegion result = VideoBlurTracking::track(file, region, {}, {});
            for (int k = 0; k < fastFrames; ++k)
                followed += near(result.rect(k / 30.0), fastTargetAt(speed, k)) && !result.losesTargetWithin(k / 30.0, k / 30.0 + 0.01);
            continue;
        }
        const auto decoder = openTrackingDecoder(file);
        VideoBlurFrames frames(*decoder, 0, end + 1 / 60.0, false, {});
        cv::Ptr<cv::Tracker> csrt = cv::TrackerCSRT::create();
        for (int k = 0; k < fastFrames; ++k) {
            const auto frame = frames.frame(k / 30.0);
            if (!frame)
                break;
            const cv::Size size = frame->image.size();
            if (k == 0) {
                csrt->init(frame->image, cv::Rect(40 * size.width / 1280, 200 * size.height / 720,
                                                  64 * size.width / 1280, 64 * size.height / 720));
                ++followed;
                continue;
            }
            cv::Rect box;
            if (csrt->update(frame->image, box))
                followed += near(QRectF(box.x / double(size.width), 1 - (box.y + box.height) / double(size.height),
                                        box.width / double(size.width), box.height / double(size.height)),
                                 fastTargetAt(speed, k));
        }
    }
    state.counters["followed"] = double(followed) / fastFrames;
}

void BM_FastTargetOurs(benchmark::State& state) { fastTarget(state, true); }
void BM_FastTargetCsrt(benchmark::State& state) { fastTarget(state, false); }

// OpenCV's CSRT as it comes, seeded with the box on the first frame: its boxes as keys, and a
// frame it gives up on as a lost interval.
VideoBlurRegion bareCsrt(const QString& file, const VideoBlurRegion& marked, int frameCount)
{
    VideoBlurRegion region = marked;
    region.pending.clear();
    const auto decoder = openTrackingDecoder(file);
    VideoBlurFrames frames(*decoder, 0, region.end, false, {});
    cv::Ptr<cv::Tracker> csrt = cv::TrackerCSRT::create();
    for (int k = 0; k < frameCount; ++k) {
        const auto frame = frames.frame(k / 30.0);
        if (!frame)
            break;
        const double w = frame->image.cols, h = frame->image.rows;
        if (k == 0) {
            const QRectF r = marked.keys.front().rect;
            csrt->init(frame->image, cv::Rect(int(std::lround(r.x() * w)), int(std::lround((1 - r.bottom()) * h)),
                                              int(std::lround(r.width() * w)), int(std::lround(r.height() * h))));
            continue;
        }
        cv::Rect box;
        if (csrt->update(frame->image, box))
            region.keys.push_back({frame->time, {box.x / w, 1 - (box.y + box.height) / h, box.width / w, box.height / h}, false});
        else
            region.gaps.push_back({frame->time, frame->time + 1 / 30.0});
    }
    region.gaps = VideoBlurRegion::merged(region.gaps);
    return region;
}

// The test table's clips (one box on the first frame): frames covered, frames where the target
// shows outside a reported lost interval, and the time, for our tracker and for bare CSRT.
void BM_TrackingTable(benchmark::State& state)
{
    using namespace tarnwick::test;
    const TrackingCase c = trackingTable()[std::size_t(state.range(0))];
    state.SetLabel(QString("%1, %2, %3 px/frame")
                       .arg(targetName(c.target), c.tight ? "tight" : "8 px margin")
                       .arg(c.speed)
                       .toStdString());
    const TrackingClip clip(c.target, c.speed);
    const QString file = clip.write(
        QDir::temp().filePath(QString("tarnwick-bench-tracking-table-%1-%2.mp4").arg(int(c.target)).arg(c.speed)));
    const VideoBlurRegion marked = clip.region(c.tight);
    TrackingScore ours, csrt;
    double oursTime = 0, csrtTime = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        const VideoBlurRegion tracked = VideoBlurTracking::track(file, marked, {}, {});
        oursTime += clock.nsecsElapsed() / 1e6;
        clock.restart();
        const VideoBlurRegion bare = bareCsrt(file, marked, clip.frames());
        csrtTime += clock.nsecsElapsed() / 1e6;
        state.PauseTiming();
        ours = score(clip, tracked);
        csrt = score(clip, bare);
        state.ResumeTiming();
    }
    const double runs = double(state.iterations());
    state.counters["covered"] = double(ours.covered) / ours.frames;
    state.counters["exposed"] = ours.exposed;
    state.counters["ms"] = oursTime / runs;
    state.counters["csrt_covered"] = double(csrt.covered) / csrt.frames;
    state.counters["csrt_exposed"] = csrt.exposed;
    state.counters["csrt_ms"] = csrtTime / runs;
}

} // namespace

BENCHMARK(BM_TrackingTable)->DenseRange(0, 23)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK(BM_FastTargetOurs)->DenseRange(4, 16, 4)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_FastTargetCsrt)->DenseRange(4, 16, 4)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_BlurTrackingForward)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_BlurTrackingBothWays)->Unit(benchmark::kSecond)->Iterations(1);
