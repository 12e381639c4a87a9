#include "app/ScrollingImageAssembler.h"
#include "platform/ScreenGrabber.h"

#include <QImage>
#include <benchmark/benchmark.h>
#include <opencv2/imgproc.hpp>
#include <random>

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
