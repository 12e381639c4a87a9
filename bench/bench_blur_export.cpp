#include "recording/review/VideoBlurExport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <benchmark/benchmark.h>

using namespace tarnwick::review;

namespace {

// A 10 s 1080p 30 fps recording with sound, H.264 or HEVC as the recorder writes
// them (key frames every 60, no B-frames), made once with ffmpeg and kept.
QString clip(bool hevc)
{
    const QString file = QDir::temp().filePath(hevc ? "tarnwick-bench-blur-hevc.mp4" : "tarnwick-bench-blur-h264.mp4");
    if (!QFile::exists(file)) {
        const QStringList codec = hevc ? QStringList{"libx265", "-preset", "ultrafast", "-tag:v", "hvc1",
                                                     "-x265-params", "bframes=0:log-level=error"}
                                       : QStringList{"libx264", "-preset", "superfast", "-bf", "0"};
        QProcess::execute("ffmpeg", QStringList{"-v", "error", "-y", "-f", "lavfi", "-i",
                                                "testsrc2=s=1920x1080:r=30:d=10", "-f", "lavfi", "-i",
                                                "sine=frequency=440:sample_rate=48000:duration=10", "-c:v"} +
                                        codec + QStringList{"-g", "60", "-b:v", "6M", "-c:a", "aac", file});
    }
    return file;
}

// Pixels 576…1343 × 432…755 of the 1920 × 1080 picture.
const QRectF area(0.3, 0.3, 0.4, 0.3);

void BM_BlurExport(benchmark::State& state)
{
    const QString source = clip(state.range(0));
    const QString out = QDir::temp().filePath("tarnwick-bench-blur-out.mp4");
    VideoBlurRegion region;
    region.end = 10;
    region.keys = {{0, area, true}};
    for (auto _ : state) {
        QFile::remove(out);
        VideoBlurExport::prepare(source, {10, 0, 10}, {region}, out);
    }
    QFile::remove(out);
}

// The same job done by the ffmpeg command: the same encoder, preset, key-frame
// interval and bit rate, a box blur of radius 20 on the same area, sound copied.
void BM_FfmpegBlurExport(benchmark::State& state)
{
    const bool hevc = state.range(0);
    const QString source = clip(hevc);
    const QString out = QDir::temp().filePath("tarnwick-bench-blur-ffmpeg.mp4");
    QProcess probe;
    probe.start("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries", "stream=bit_rate", "-of",
                            "csv=p=0", source});
    probe.waitForFinished();
    const qint64 rate = std::max<qint64>(probe.readAllStandardOutput().trimmed().toLongLong(), 400000);
    const QStringList codec = hevc ? QStringList{"libx265", "-preset", "ultrafast", "-tag:v", "hvc1", "-x265-params",
                                                 "bframes=0:log-level=error"}
                                   : QStringList{"libx264", "-preset", "veryfast", "-bf", "0"};
    const QStringList arguments =
        QStringList{"-v", "error", "-y", "-i", source, "-filter_complex",
                    "[0:v]split[a][b];[b]crop=768:324:576:432,boxblur=20[c];[a][c]overlay=576:432", "-c:v"} +
        codec + QStringList{"-g", "60", "-b:v", QString::number(rate), "-c:a", "copy", "-movflags", "+faststart", out};
    for (auto _ : state)
        QProcess::execute("ffmpeg", arguments);
    QFile::remove(out);
}

} // namespace

BENCHMARK(BM_BlurExport)->ArgName("hevc")->Arg(0)->Arg(1)->Unit(benchmark::kSecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_FfmpegBlurExport)->ArgName("hevc")->Arg(0)->Arg(1)->Unit(benchmark::kSecond)->Iterations(2)->UseRealTime();
