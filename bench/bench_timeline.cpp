#include "recording/review/RecordingTimelineThumbnails.h"
#include "recording/review/RecordingTimelineView.h"
#include "recording/review/TimelineThumbnailDecoder.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QProcess>
#include <benchmark/benchmark.h>

using namespace tarnwick;

namespace {

// A 10-minute 1080p H.264 video with the recorder's key-frame spacing (60 frames at 30 fps),
// made once with ffmpeg and kept in the temporary folder.
QString tenMinuteVideo()
{
    QString file = QDir::temp().filePath("tarnwick-bench-timeline.mp4");
    if (!QFile::exists(file))
        QProcess::execute("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=s=1920x1080:r=30:d=600",
                                     "-c:v", "libx264", "-preset", "superfast", "-g", "60", "-bf", "0", "-pix_fmt",
                                     "yuv420p", file});
    return file;
}

bool complete(const RecordingTimelineThumbnails& thumbnails)
{
    return thumbnails.frames().size() == RecordingTimelineThumbnails::count
           && std::none_of(thumbnails.frames().begin(), thumbnails.frames().end(),
                           [](const QImage& frame) { return frame.isNull(); });
}

// From load to the twelfth thumbnail on the GUI thread, nothing cached.
void BM_TimelineFirstStrip(benchmark::State& state)
{
    QString file = tenMinuteVideo();
    for (auto _ : state) {
        RecordingTimelineThumbnails thumbnails;
        thumbnails.load(file, 600);
        while (!complete(thumbnails))
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

// Opening the file, and one thumbnail a second past a key frame (the longest run from a key frame
// the tolerance of a 10-minute video leaves).
void BM_TimelineDecoderOpen(benchmark::State& state)
{
    QString file = tenMinuteVideo();
    for (auto _ : state)
        benchmark::DoNotOptimize(TimelineThumbnailDecoder(file).isOpen());
}

void BM_TimelineFrameAfterKeyFrame(benchmark::State& state)
{
    TimelineThumbnailDecoder decoder(tenMinuteVideo());
    for (auto _ : state)
        benchmark::DoNotOptimize(decoder.frameAt(301.0 + state.range(0), 0.5, RecordingTimelineThumbnails::maximumSize));
}

// One drag step of the end handle and the strip's repaint, at 900 points with all thumbnails.
void BM_TimelineDragRepaint(benchmark::State& state)
{
    RecordingTimelineState values{0, 600, 600, 120, true, false, false, false, tenMinuteVideo()};
    RecordingTimelineModel model{[&] { return values; },
                                 [&](double t) { values.playhead = t; },
                                 [&](double t) { values.start = t; },
                                 [&](double t) { values.end = t; },
                                 [] {},
                                 [](double, double) {}};
    RecordingTimelineThumbnails thumbnails;
    thumbnails.load(values.videoSource, values.duration);
    while (!complete(thumbnails))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    RecordingTimelineView view(model);
    view.resize(900, 108);
    view.updateFrames(thumbnails.frames(), thumbnails.revision());
    QImage target(view.size(), QImage::Format_ARGB32_Premultiplied);
    int step = 0;
    for (auto _ : state) {
        values.end = 600 - (step++ % 3000) * 0.1;
        view.render(&target);
    }
}

} // namespace

BENCHMARK(BM_TimelineFirstStrip)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_TimelineDecoderOpen)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TimelineFrameAfterKeyFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TimelineDragRepaint)->Unit(benchmark::kMillisecond);
