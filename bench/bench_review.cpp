#include "recording/review/RecordingExport.h"
#include "recording/review/VideoPlayer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <chrono>

using namespace tarnwick;

namespace {

// Made once with ffmpeg and kept in the temporary folder: the recorder's key-frame spacing
// (60 frames at 30 fps, no B-frames) at a screen recording's low bit rate.
QString cachedVideo(const QString& name, const QStringList& encoding, int seconds)
{
    const QString file = QDir::temp().filePath(name);
    if (!QFile::exists(file)) {
        const QString partial = file + ".part.mp4";
        QProcess::execute("ffmpeg", QStringList{"-v", "error", "-y", "-f", "lavfi", "-i",
                                                QString("testsrc2=s=1920x1080:r=30:d=%1").arg(seconds)}
                                        + encoding + QStringList{"-b:v", "1M", "-pix_fmt", "yuv420p", partial});
        QFile::rename(partial, file);
    }
    return file;
}

QString tenMinuteH264()
{
    return cachedVideo("tarnwick-bench-review-h264.mp4",
                       {"-c:v", "libx264", "-preset", "ultrafast", "-g", "60", "-bf", "0"}, 600);
}

QString halfMinuteHevc()
{
    return cachedVideo("tarnwick-bench-review-hevc.mp4",
                       {"-c:v", "libx265", "-preset", "ultrafast", "-x265-params", "bframes=0:keyint=60:log-level=error",
                        "-tag:v", "hvc1"},
                       30);
}

// Saving nine of the ten minutes of a 1080p recording: packets are copied, not re-encoded.
void BM_ReviewTrimExport(benchmark::State& state)
{
    const QString source = tenMinuteH264();
    QTemporaryDir dir;
    for (auto _ : state)
        review::RecordingExport::prepare(source, {600, 30.5, 570.5}, dir.filePath("fragment.mp4"));
}

// From VideoPlayer::seek to the picture shown, on 1080p HEVC; the targets move around the file
// and land anywhere in a run of 60 frames after a key frame (the worst case is just before the next).
void BM_ReviewSeek(benchmark::State& state)
{
    review::VideoPlayer player;
    player.setSource(halfMinuteHevc());
    const double targets[] = {17.9, 3.3, 25.95, 9.0, 1.97, 21.5, 13.63, 28.1};
    int step = 0;
    double worst = 0;
    for (auto _ : state) {
        const auto begun = std::chrono::steady_clock::now();
        bool shown = false;
        player.seek(targets[step++ % std::size(targets)], [&] { shown = true; });
        while (!shown)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        worst = std::max(worst, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begun).count());
    }
    state.counters["worst_ms"] = worst;
}

// Dragging the playhead forward in steps of a tenth of a second: the open decoder goes on from
// where it stands instead of seeking back to the key frame.
void BM_ReviewSeekForward(benchmark::State& state)
{
    review::VideoPlayer player;
    player.setSource(halfMinuteHevc());
    double target = 0;
    for (auto _ : state) {
        bool shown = false;
        target = target >= 29 ? 0 : target + 0.1;
        player.seek(target, [&] { shown = true; });
        while (!shown)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

} // namespace

BENCHMARK(BM_ReviewTrimExport)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_ReviewSeek)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(40);
BENCHMARK(BM_ReviewSeekForward)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(100);
