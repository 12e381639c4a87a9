#include "recording/review/VideoBlurFrameSource.h"
#include "recording/review/VideoBlurTracking.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <benchmark/benchmark.h>

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

} // namespace

BENCHMARK(BM_BlurTrackingForward)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_BlurTrackingBothWays)->Unit(benchmark::kSecond)->Iterations(1);
