#include "series/Annotation.h"

#include <QGuiApplication>
#include <benchmark/benchmark.h>

using namespace tarnwick;

// Hit testing runs for every element on every pointer move; a bent arrow is the costly case.
static void BM_BentArrowDistance(benchmark::State& state)
{
    Annotation arrow;
    arrow.kind = AnnotationTool::arrow;
    arrow.start = {10, 10};
    arrow.end = {900, 500};
    arrow.bendOffset = {40, -120};
    double sum = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(sum += arrow.distance({400, 200}));
}
BENCHMARK(BM_BentArrowDistance);

static void BM_PencilSmoothing(benchmark::State& state)
{
    Annotation pencil;
    pencil.kind = AnnotationTool::pencil;
    for (int i = 0; i < state.range(0); ++i)
        pencil.points.push_back(QPointF(i, (i * 37) % 91));
    for (auto _ : state)
        benchmark::DoNotOptimize(pencil.smoothedPencil());
}
BENCHMARK(BM_PencilSmoothing)->Arg(100)->Arg(2000);

static void BM_RulerLabelRect(benchmark::State& state)
{
    Annotation ruler;
    ruler.kind = AnnotationTool::ruler;
    ruler.start = {0, 0};
    ruler.end = {321.5, 40};
    for (auto _ : state)
        benchmark::DoNotOptimize(ruler.rulerLabelRect());
}
BENCHMARK(BM_RulerLabelRect);
