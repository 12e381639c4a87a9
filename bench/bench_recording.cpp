#include "platform/ScreenGrabber.h"
#include "recording/ScreenRecorder.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <thread>

using namespace tarnwick;

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Records the whole first monitor of $DISPLAY for $TARNWICK_BENCH_SECONDS (60 by
// default) and reports the cores used and the frames dropped. The screen's content
// (static or changing) is up to whoever runs it: bench/recording-vs-ffmpeg.sh.
void BM_RecordScreen(benchmark::State& state)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        state.SkipWithError("needs an X display");
        return;
    }
    const int seconds = qEnvironmentVariableIsSet("TARNWICK_BENCH_SECONDS")
                            ? qEnvironmentVariableIntValue("TARNWICK_BENCH_SECONDS")
                            : 60;
    RecordingOptions options;
    options.codec = state.range(0) == 0 ? RecordingCodec::hevc : RecordingCodec::h264;
    const platform::Monitor monitor = platform::makeScreenGrabber()->monitors().at(0);
    const QRectF screen(monitor.geometry);
    QTemporaryDir dir;
    for (auto _ : state) {
        ScreenRecorder recorder;
        const double cpuBefore = cpuSeconds();
        const auto wallBefore = std::chrono::steady_clock::now();
        recorder.start(monitor, screen, screen, 1.0, options, dir.filePath("bench.mp4"));
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        const RecordingResult result = recorder.stop();
        const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wallBefore;
        if (result.url.isEmpty() || result.error) {
            state.SkipWithError(result.error ? result.error->what() : "no file");
            return;
        }
        state.counters["cores"] = (cpuSeconds() - cpuBefore) / wall.count();
        state.counters["dropped"] = recorder.droppedFrames();
    }
}

} // namespace

BENCHMARK(BM_RecordScreen)->ArgName("h264")->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
