#include "BenchScenes.h"
#include "render/ScreenshotComposition.h"
#include "render/ScreenshotRenderer.h"
#include "series/Screenshot.h"

#include <QGuiApplication>
#include <QPainter>
#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <sys/resource.h>

using namespace tarnwick;

// Output rendering of a 5K shot (5120 x 2880) with ten elements, three of them
// blurs stacked over each other and over the arrows between them.
namespace {

const QImage& picture()
{
    static const QImage image = bench::textShot(QImage::Format_ARGB32_Premultiplied);
    return image;
}

Annotation element(AnnotationTool kind, QPointF start, QPointF end)
{
    return bench::element(kind, start, end, 12, 48);
}

Annotation blur(BlurMode mode, QPointF start, QPointF end)
{
    Annotation a = element(AnnotationTool::blur, start, end);
    a.blurMode = mode;
    return a;
}

QVector<Annotation> annotations()
{
    static const QVector<Annotation> list = [] {
        Annotation text = element(AnnotationTool::text, {300, 2400}, {300, 2400});
        text.text = QStringLiteral("Проверьте сумму");
        Annotation first = element(AnnotationTool::comment, {1000, 500}, {1000, 500});
        first.text = QStringLiteral("Пароль виден");
        Annotation second = element(AnnotationTool::comment, {3500, 2000}, {3500, 2000});
        second.text = QStringLiteral("Итог");
        return QVector<Annotation>{
            blur(BlurMode::pixelate, {1700, 800}, {2700, 1400}),
            element(AnnotationTool::arrow, {600, 600}, {2200, 1100}),
            element(AnnotationTool::rectangle, {1500, 700}, {3200, 1700}),
            blur(BlurMode::area, {2300, 1000}, {3300, 1600}),
            element(AnnotationTool::ellipse, {3600, 300}, {4600, 900}),
            blur(BlurMode::pixelate, {2100, 1200}, {3000, 1900}),
            element(AnnotationTool::arrow, {4800, 2600}, {3800, 2100}),
            text,
            first,
            second,
        };
    }();
    return list;
}

Screenshot freshShot()
{
    Screenshot shot = Screenshot::make(picture(), 2);
    shot.annotations = annotations();
    return shot;
}

void reportPeakMemory(benchmark::State& state)
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

} // namespace

// Nothing cached: the composition, the stack, two underlays and three blurs are made anew.
static void BM_RenderCold(benchmark::State& state)
{
    picture();
    for (auto _ : state) {
        state.PauseTiming();
        const Screenshot shot = freshShot();
        state.ResumeTiming();
        const QImage out = ScreenshotRenderer::render(shot, QStringLiteral("A"), true);
        benchmark::DoNotOptimize(out.constBits());
    }
    reportPeakMemory(state);
}
BENCHMARK(BM_RenderCold)->Unit(benchmark::kMillisecond);

// Everything computed by an earlier render: only the drawing is left.
static void BM_RenderWarm(benchmark::State& state)
{
    const Screenshot shot = freshShot();
    ScreenshotRenderer::render(shot, QStringLiteral("A"), true);
    const long composed = ScreenshotComposition::composeCount();
    for (auto _ : state) {
        const QImage out = ScreenshotRenderer::render(shot, QStringLiteral("A"), true);
        benchmark::DoNotOptimize(out.constBits());
    }
    state.counters["composes"] = static_cast<double>(ScreenshotComposition::composeCount() - composed);
    reportPeakMemory(state);
}
BENCHMARK(BM_RenderWarm)->Unit(benchmark::kMillisecond);

// The canvas asking for its scene on every repaint while nothing changed below the top blur.
static void BM_RepaintScene(benchmark::State& state)
{
    Screenshot shot = freshShot();
    shot.canvasRect = QRectF(-200, -100, 5520, 3080);
    shot.composition->scene(shot.annotations, shot.canvasRect);
    const long composed = ScreenshotComposition::composeCount();
    for (auto _ : state) {
        shot.annotations.back().start += QPointF(1, 0); // a comment being dragged
        RenderScene scene = shot.composition->scene(shot.annotations, shot.canvasRect);
        benchmark::DoNotOptimize(scene.effects.get());
    }
    state.counters["composes"] = static_cast<double>(ScreenshotComposition::composeCount() - composed);
}
BENCHMARK(BM_RepaintScene)->Unit(benchmark::kMicrosecond);

// The targets are for one core.
static const bool singleCore = [] {
    cv::setNumThreads(1);
    return true;
}();
