#include "app/ScrollingCaptureEngine.h"
#include "app/ScrollingImageAssembler.h"
#include "platform/ScreenGrabber.h"

#include <QImage>
#include <benchmark/benchmark.h>
#include <opencv2/imgproc.hpp>
#include <random>
#include <span>

using namespace tarnwick;

namespace {

// Two 1920×1080 frames of a textured page, the second scrolled by 100 rows.
struct FramePair {
    QImage before, after;
    FramePair()
    {
        QImage page(1920, 1180, QImage::Format_RGB32);
        std::mt19937 random(7);
        for (int y = 0; y < page.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(page.scanLine(y));
            for (int x = 0; x < page.width(); ++x)
                line[x] = random() | 0xff000000u;
        }
        before = page.copy(0, 0, 1920, 1080);
        after = page.copy(0, 100, 1920, 1080);
    }
};

const FramePair& frames()
{
    static const FramePair pair;
    return pair;
}

} // namespace

// The stitcher's whole decision for one frame: thumbnail, tests, every shift, the strip copy.
static void BM_StitchFramePair(benchmark::State& state)
{
    const FramePair& pair = frames();
    for (auto _ : state) {
        state.PauseTiming();
        ScrollingImageAssembler assembler;
        assembler.append(pair.before);
        state.ResumeTiming();
        const ScrollAppendResult result = assembler.append(pair.after);
        if (result != ScrollAppendResult::appended(100))
            state.SkipWithError("frame not placed");
    }
}
BENCHMARK(BM_StitchFramePair)->Unit(benchmark::kMillisecond);

// The plain alternative: both frames grey at quarter scale, the middle half of
// the first searched for in the second by squared-difference template matching.
static void BM_TemplateMatchQuarterScale(benchmark::State& state)
{
    const FramePair& pair = frames();
    auto quarter = [](const QImage& frame) {
        const cv::Mat bgra(frame.height(), frame.width(), CV_8UC4, const_cast<uchar*>(frame.constBits()),
                           std::size_t(frame.bytesPerLine()));
        cv::Mat grey, small;
        cv::cvtColor(bgra, grey, cv::COLOR_BGRA2GRAY);
        cv::resize(grey, small, cv::Size(), 0.25, 0.25, cv::INTER_AREA);
        return small;
    };
    for (auto _ : state) {
        const cv::Mat a = quarter(pair.before);
        const cv::Mat b = quarter(pair.after);
        const cv::Mat band = a.rowRange(a.rows / 4, 3 * a.rows / 4);
        cv::Mat scores;
        cv::matchTemplate(b, band, scores, cv::TM_SQDIFF);
        cv::Point best;
        cv::minMaxLoc(scores, nullptr, nullptr, &best);
        benchmark::DoNotOptimize(best);
    }
}
BENCHMARK(BM_TemplateMatchQuarterScale)->Unit(benchmark::kMillisecond);

// One 1920×1080 frame as the scrolling capture grabs it; needs an X server in $DISPLAY
// (e.g. `Xvfb :5 -screen 0 1920x1080x24`). Arg 1 is MIT-SHM, 0 plain GetImage.
static void BM_GrabFrame(benchmark::State& state)
{
    const auto transport = state.range(0) ? platform::GrabTransport::Automatic : platform::GrabTransport::PlainGetImage;
    const std::unique_ptr<platform::ScreenGrabber> grabber = platform::makeScreenGrabber({}, transport);
    try {
        grabber->grab(QRect(0, 0, 1920, 1080));
    } catch (const std::exception& error) {
        state.SkipWithError(error.what());
        return;
    }
    if (state.range(0) && !grabber->usedSharedMemory()) {
        state.SkipWithError("MIT-SHM not available");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(grabber->grab(QRect(0, 0, 1920, 1080)));
}
BENCHMARK(BM_GrabFrame)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// The capture loop at 1080p: grab the screen as the engine does, then stitch
// a frame of a page scrolled by `shift` rows. The page the screen would show
// is synthetic, so the stitcher sees real motion; the grab's own pixels are
// dropped. follows_px_per_s is the fastest scroll that never outruns the
// matcher: the largest shift one frame can be matched across (0.63 of the
// height) per frame time. Needs an X server of at least 1920×1080 in $DISPLAY.
static void BM_GrabAndMatch1080p(benchmark::State& state)
{
    const int shift = int(state.range(0));
    const ScrollingCaptureEngine::Grab grab = ScrollingCaptureEngine::screenGrab();
    try {
        grab(QRect(0, 0, 1920, 1080));
    } catch (const std::exception& error) {
        state.SkipWithError(error.what());
        return;
    }
    static const QImage page = [] {
        QImage image(1920, 1080 * 4, QImage::Format_RGB32);
        std::mt19937 random(11);
        for (int y = 0; y < image.height(); ++y)
            for (QRgb& pixel : std::span(reinterpret_cast<QRgb*>(image.scanLine(y)), 1920))
                pixel = random() | 0xff000000u;
        return image;
    }();
    ScrollingImageAssembler assembler;
    assembler.append(page.copy(0, 0, 1920, 1080));
    int offset = 0;
    for (auto _ : state) {
        if (offset + shift + 1080 > page.height()) {
            state.PauseTiming();
            assembler = ScrollingImageAssembler();
            offset = 0;
            assembler.append(page.copy(0, 0, 1920, 1080));
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(grab(QRect(0, 0, 1920, 1080)));
        offset += shift;
        const ScrollAppendResult result = assembler.append(page.copy(0, offset, 1920, 1080));
        if (result != ScrollAppendResult::appended(shift)) {
            state.SkipWithError("frame not placed");
            return;
        }
    }
    const int matchable = 1080 - 2 * (1080 / 12) - 1080 / 5;
    state.counters["follows_px_per_s"] = benchmark::Counter(matchable, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_GrabAndMatch1080p)->Arg(100)->Arg(600)->Unit(benchmark::kMillisecond)->UseRealTime();
