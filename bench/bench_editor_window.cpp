// The editor window from a ready shot to its first complete paint, and its memory.
// Run under an X server (xvfb-run) to measure the real path; offscreen works too.

#include "editor/canvas/ImageCanvasView.h"
#include "editor/model/EditorState.h"
#include "editor/window/EditorExportWindow.h"
#include "editor/window/EditorHeader.h"
#include "editor/window/EditorView.h"
#include "platform/QtClipboardBackend.h"
#include "series/AppModel.h"

#include "BenchModel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <sys/resource.h>

using namespace tarnwick;

namespace {

using Application = bench::BenchModel;

// Counts the paints of the parts that make up the editor's first frame.
class PaintWatch : public QObject {
public:
    QSet<QObject*> painted;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted.insert(watched);
        return false;
    }
};

Screenshot shotOf(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(120, 160, 200));
    return Screenshot::make(image, 2);
}

// Opens the editor on the shot and returns once header, canvas and footer have been painted on screen.
std::unique_ptr<EditorExportWindow> openAndPaint(Application& app, const Screenshot& shot)
{
    auto window = std::make_unique<EditorExportWindow>(std::make_unique<EditorState>(shot, QStringLiteral("A")), app.model,
                                                       EditorShellHooks{});
    PaintWatch watch;
    QWidget* parts[] = {window->view().header(), window->canvas(), window->view().footer()};
    for (QWidget* part : parts)
        part->installEventFilter(&watch);
    window->show();
    QElapsedTimer timer;
    timer.start();
    const auto done = [&] { return std::all_of(std::begin(parts), std::end(parts), [&](QWidget* w) { return watch.painted.contains(w); }); };
    while (!done() && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    for (QWidget* part : parts)
        part->removeEventFilter(&watch);
    return window;
}

} // namespace

static void BM_EditorWindowFirstPaint2560x1600(benchmark::State& state)
{
    Application app;
    const Screenshot shot = shotOf(2560, 1600);
    openAndPaint(app, shot); // warms fonts, icons and the style
    for (auto _ : state) {
        auto window = openAndPaint(app, shot);
        state.PauseTiming();
        window.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_EditorWindowFirstPaint2560x1600)->Unit(benchmark::kMillisecond)->UseRealTime();

// The first editor of the process: nothing warmed.
static void BM_EditorWindowFirstPaintCold(benchmark::State& state)
{
    for (auto _ : state) {
        Application app;
        auto window = openAndPaint(app, shotOf(2560, 1600));
    }
}
BENCHMARK(BM_EditorWindowFirstPaintCold)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// Peak resident memory with a 1920×1080 shot open; run alone for a clean figure.
static void BM_EditorWindowPeakRss1080p(benchmark::State& state)
{
    Application app;
    std::unique_ptr<EditorExportWindow> window;
    for (auto _ : state)
        window = openAndPaint(app, shotOf(1920, 1080));
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_mb"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_EditorWindowPeakRss1080p)->Unit(benchmark::kMillisecond)->Iterations(1);
