#include "BenchScenes.h"
#include "render/LocalEffects.h"
#include "series/Annotation.h"

#include <QGuiApplication>
#include <QPainter>
#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>

using namespace tarnwick;

// A 5120 x 2880 shot (a 5K screen) with text on a light background, and an
// 800 x 400 selection over part of it.
namespace {

const QImage& shot()
{
    static const QImage image = bench::textShot(QImage::Format_RGBA8888_Premultiplied);
    return image;
}

const QRectF selection(1800, 900, 800, 400);

Annotation blur(BlurMode mode)
{
    Annotation a;
    a.kind = AnnotationTool::blur;
    a.blurMode = mode;
    a.start = selection.topLeft();
    a.end = selection.bottomRight();
    return a;
}

void runMode(benchmark::State& state, BlurMode mode)
{
    const QImage& source = shot();
    const Annotation element = blur(mode);
    for (auto _ : state) {
        BlurEffect effect = computeLocal(element, source, source.size(), source.size(), [] { return false; });
        benchmark::DoNotOptimize(effect.image.constBits());
    }
}

// Peak signal-to-noise ratio of the area blur against an exact Gaussian of the
// whole shot (computed in floats, edges repeated), over the selection.
double areaBlurPsnr(const QImage& blurred)
{
    const QImage& source = shot();
    const double sigma = areaBlurRadius(source.width());
    const QRect area = selection.toRect();
    const int reach = static_cast<int>(std::ceil(5 * sigma));
    const QRect around = area.adjusted(-reach, -reach, reach, reach).intersected(source.rect());
    cv::Mat wrapped(source.height(), source.width(), CV_8UC4, const_cast<uchar*>(source.constBits()),
                    static_cast<size_t>(source.bytesPerLine()));
    cv::Mat input, exact;
    wrapped(cv::Rect(around.x(), around.y(), around.width(), around.height())).convertTo(input, CV_32FC4);
    cv::GaussianBlur(input, exact, cv::Size(2 * reach + 1, 2 * reach + 1), sigma, sigma, cv::BORDER_REPLICATE);
    double squared = 0;
    for (int y = 0; y < area.height(); ++y)
        for (int x = 0; x < area.width(); ++x) {
            const cv::Vec4f want = exact.at<cv::Vec4f>(area.y() - around.y() + y, area.x() - around.x() + x);
            const uchar* got = blurred.constScanLine(y) + 4 * x;
            for (int c = 0; c < 4; ++c)
                squared += (got[c] - want[c]) * (got[c] - want[c]);
        }
    const double mse = squared / (4.0 * area.width() * area.height());
    return 10 * std::log10(255.0 * 255.0 / std::max(mse, 1e-12));
}

} // namespace

static void BM_AreaBlur(benchmark::State& state)
{
    runMode(state, BlurMode::area);
    const QImage& source = shot();
    const BlurEffect effect = computeLocal(blur(BlurMode::area), source, source.size(), source.size(), [] { return false; });
    state.counters["psnr_dB"] = areaBlurPsnr(effect.image);
}
BENCHMARK(BM_AreaBlur)->Unit(benchmark::kMillisecond);

static void BM_Pixelate(benchmark::State& state) { runMode(state, BlurMode::pixelate); }
BENCHMARK(BM_Pixelate)->Unit(benchmark::kMillisecond);

static void BM_Erase(benchmark::State& state) { runMode(state, BlurMode::erase); }
BENCHMARK(BM_Erase)->Unit(benchmark::kMillisecond);

// The text blur's own work, with the word boxes handed in as the recogniser would.
static void BM_TextBlurWithGivenWords(benchmark::State& state)
{
    LocalEffectHooks hooks;
    hooks.wordRegions = [](const QImage&, const CancellationTest&) {
        QVector<QRectF> words;
        for (int i = 0; i < 9; ++i)
            words.push_back(QRectF(0.05, 0.05 + i * 0.11, 0.8, 0.07));
        return words;
    };
    setLocalEffectHooks(hooks);
    runMode(state, BlurMode::text);
    setLocalEffectHooks(standardEffectHooks());
}
BENCHMARK(BM_TextBlurWithGivenWords)->Unit(benchmark::kMillisecond);

// The whole shot blurred at once, as the effect would be without cutting out the
// area first: the ratio to beat.
static void BM_NaiveFullImageGaussian(benchmark::State& state)
{
    const QImage& source = shot();
    const double sigma = areaBlurRadius(source.width());
    cv::Mat wrapped(source.height(), source.width(), CV_8UC4, const_cast<uchar*>(source.constBits()),
                    static_cast<size_t>(source.bytesPerLine()));
    cv::Mat blurred;
    for (auto _ : state) {
        cv::GaussianBlur(wrapped, blurred, cv::Size(0, 0), sigma, sigma, cv::BORDER_REPLICATE);
        benchmark::DoNotOptimize(blurred.data);
    }
}
BENCHMARK(BM_NaiveFullImageGaussian)->Unit(benchmark::kMillisecond)->Iterations(1);

// The whole shot through the area blur, for the largest selection there is.
static void BM_AreaBlurWholeShot(benchmark::State& state)
{
    const QImage& source = shot();
    Annotation element = blur(BlurMode::area);
    element.start = {0, 0};
    element.end = {5120, 2880};
    for (auto _ : state) {
        BlurEffect effect = computeLocal(element, source, source.size(), source.size(), [] { return false; });
        benchmark::DoNotOptimize(effect.image.constBits());
    }
}
BENCHMARK(BM_AreaBlurWholeShot)->Unit(benchmark::kMillisecond);

// The targets are for one core.
static const bool singleCore = [] {
    cv::setNumThreads(1);
    return true;
}();
