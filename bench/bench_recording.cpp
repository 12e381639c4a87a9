#include "platform/ScreenGrabber.h"
#include "recording/ScreenRecorder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <algorithm>
#include <optional>
#include <vector>

using namespace tarnwick;

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Processes that spin on a core each until the benchmark ends: a busy machine.
struct BusyProcesses {
    explicit BusyProcesses(int count)
    {
        for (int i = 0; i < count; ++i)
            if (const pid_t child = fork(); child == 0)
                for (unsigned n = 0;; ++n)
                    benchmark::DoNotOptimize(n);
            else
                children.push_back(child);
    }
    ~BusyProcesses()
    {
        for (const pid_t child : children) {
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
        }
    }
    std::vector<pid_t> children;
};

// How long a recording benchmark records: $TARNWICK_BENCH_SECONDS, 60 by default; 0, with the
// benchmark skipped, without an X display.
int recordingSeconds(benchmark::State& state)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        state.SkipWithError("needs an X display");
        return 0;
    }
    return qEnvironmentVariableIsSet("TARNWICK_BENCH_SECONDS") ? qEnvironmentVariableIntValue("TARNWICK_BENCH_SECONDS")
                                                               : 60;
}

// Records `screen` (points at `scale`) of the first monitor of $DISPLAY for `seconds` with the
// codec of the benchmark's first argument; nothing, with the benchmark skipped, when no file came of it.
struct Recorded {
    QString file;
    double wallSeconds = 0;
    double cores = 0;
    int dropped = 0; // grabs given up because the capture queue or the encoder was busy, or missed by a late grab thread
};
std::optional<Recorded> record(benchmark::State& state, const platform::Monitor& monitor, const QRectF& screen,
                               double scale, int seconds, const QString& file)
{
    RecordingOptions options;
    options.codec = state.range(0) == 0 ? RecordingCodec::hevc : RecordingCodec::h264;
    ScreenRecorder recorder;
    const double cpuBefore = cpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    recorder.start(monitor, screen, screen, scale, options, file);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const RecordingResult result = recorder.stop();
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wallBefore;
    if (result.url.isEmpty() || result.error) {
        state.SkipWithError(result.error ? result.error->what() : "no file");
        return std::nullopt;
    }
    return Recorded{result.url, wall.count(), (cpuSeconds() - cpuBefore) / wall.count(), recorder.droppedFrames()};
}

// Records the whole first monitor of $DISPLAY for $TARNWICK_BENCH_SECONDS (60 by
// default), with the second argument's number of busy processes beside it, and reports
// the cores used and the frames dropped (also as a share of the 30 a second). The
// screen's content (static or changing) is up to whoever runs it: bench/recording-vs-ffmpeg.sh.
void BM_RecordScreen(benchmark::State& state)
{
    const int seconds = recordingSeconds(state);
    if (seconds == 0)
        return;
    const platform::Monitor monitor = platform::makeScreenGrabber()->monitors().at(0);
    const QRectF screen(monitor.geometry);
    QTemporaryDir dir;
    for (auto _ : state) {
        const BusyProcesses busy(int(state.range(1)));
        const std::optional<Recorded> recorded = record(state, monitor, screen, 1.0, seconds, dir.filePath("bench.mp4"));
        if (!recorded)
            return;
        state.counters["cores"] = recorded->cores;
        state.counters["dropped"] = recorded->dropped;
        state.counters["dropped_share"] = recorded->dropped / (recorded->wallSeconds * 30);
    }
}

// Video packets of `file` and the gaps between them longer than 1/30 s with a margin (a missed frame).
std::pair<int, int> framesAndGaps(const QString& file)
{
    QProcess ffprobe;
    ffprobe.start("ffprobe", {"-v", "error", "-select_streams", "v", "-show_entries", "packet=pts_time", "-of", "json", file});
    ffprobe.waitForFinished(120000);
    const QJsonArray packets = QJsonDocument::fromJson(ffprobe.readAllStandardOutput()).object()["packets"].toArray();
    std::vector<double> times;
    for (const auto& p : packets)
        times.push_back(p.toObject()["pts_time"].toString().toDouble());
    std::sort(times.begin(), times.end());
    int gaps = 0;
    for (std::size_t i = 1; i < times.size(); ++i)
        gaps += times[i] - times[i - 1] > 1.5 / 30;
    return {int(times.size()), gaps};
}

// A monitor of $DISPLAY shown at 1.5× (2880×1620 pixels are 1920×1080 points) recorded whole: the
// recording is capped at 2560×1440, so every frame is scaled. Frames in the file as a share of 30
// a second, and gaps where frames are missing; the screen should change all the time (see
// bench/recording-scaled-vs-ffmpeg.sh).
void BM_RecordScaledScreen(benchmark::State& state)
{
    const int seconds = recordingSeconds(state);
    if (seconds == 0)
        return;
    const platform::Monitor monitor = platform::makeScreenGrabber()->monitors().at(0);
    const double scale = 1.5;
    const QRectF screen(QPointF(monitor.geometry.topLeft()) / scale, QSizeF(monitor.geometry.size()) / scale);
    QTemporaryDir dir;
    for (auto _ : state) {
        const std::optional<Recorded> recorded = record(state, monitor, screen, scale, seconds, dir.filePath("bench.mp4"));
        if (!recorded)
            return;
        const auto [frames, gaps] = framesAndGaps(recorded->file);
        state.counters["cores"] = recorded->cores;
        state.counters["frames_share"] = frames / (seconds * 30.0);
        state.counters["gaps"] = gaps;
        // Grabs given up as busy; the other missing frames showed nothing new (the pattern's
        // player fell behind).
        state.counters["too_busy_share"] = recorded->dropped / (recorded->wallSeconds * 30);
    }
}

} // namespace

BENCHMARK(BM_RecordScaledScreen)->ArgNames({"h264"})->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

BENCHMARK(BM_RecordScreen)
    ->ArgNames({"h264", "busy"})
    ->ArgsProduct({{0, 1}, {0, 8}})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
