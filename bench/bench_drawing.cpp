#include "BenchScenes.h"
#include "render/ScreenshotRenderer.h"

#include <QGuiApplication>
#include <QPainter>
#include <QUuid>
#include <benchmark/benchmark.h>

using namespace tarnwick;
using tarnwick::bench::element;

namespace {


QImage picture()
{
    QImage image(1920, 1080, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    for (int y = 0; y < 1080; y += 40)
        for (int x = 0; x < 1920; x += 40)
            p.fillRect(x, y, 40, 40, ((x + y) / 40) % 2 ? QColor(235, 235, 235) : QColor(200, 210, 230));
    return image;
}

// A busy shot: every kind a few times, five comments and a pending blur.
QVector<Annotation> busyShot()
{
    QVector<Annotation> list;
    for (int i = 0; i < 4; ++i) {
        const double y = 100 + i * 220;
        Annotation arrow = element(AnnotationTool::arrow, {100, y}, {500, y + 80});
        arrow.bendOffset = QSizeF(0, -40);
        list << arrow << element(AnnotationTool::rectangle, {600, y}, {800, y + 150})
             << element(AnnotationTool::ellipse, {850, y}, {1000, y + 150})
             << element(AnnotationTool::ruler, {1050, y + 50}, {1300, y + 90});
        Annotation text = element(AnnotationTool::text, {1350, y}, {});
        text.text = QStringLiteral("Подпись к снимку\nв две строки");
        text.textOutline = true;
        text.colorIndex = 4;
        list << text;
        Annotation marker = element(AnnotationTool::highlighter, {}, {});
        for (int k = 0; k < 60; ++k)
            marker.points << QPointF(100 + k * 6, y + 150 + (k % 7) * 3);
        marker.strokeWidth = 18;
        list << marker << element(AnnotationTool::comment, {1800, y + 60}, {1800, y + 60});
    }
    list << element(AnnotationTool::comment, {60, 1000}, {60, 1000})
         << element(AnnotationTool::blur, {1500, 700}, {1800, 900});
    return list;
}

ScreenshotRenderer::DrawArguments arguments(const QImage& image, QVector<Annotation> annotations)
{
    ScreenshotRenderer::DrawArguments args;
    args.image = image;
    args.size = image.size();
    args.annotations = std::move(annotations);
    args.label = "A";
    args.showMarkers = true;
    return args;
}

} // namespace

// One canvas repaint of a full-HD shot with about thirty elements.
static void BM_DrawBusyShot(benchmark::State& state)
{
    const QImage image = picture();
    const auto args = arguments(image, busyShot());
    QImage target(image.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter painter(&target);
        ScreenshotRenderer::draw(painter, args);
    }
}
BENCHMARK(BM_DrawBusyShot)->Unit(benchmark::kMillisecond);

// A magnifier over the busy shot: first with the sample already cached (repaints while
// nothing below changes), then rendering the sample every time (dragging an element below).
static void BM_DrawMagnifier(benchmark::State& state)
{
    const QImage image = picture();
    QVector<Annotation> list = busyShot();
    Annotation lens = element(AnnotationTool::magnifier, {1400, 600}, {1800, 1000});
    lens.magnifierSource = QRectF(600, 100, 200, 200);
    list << lens;
    auto args = arguments(image, list);
    LayerSampleCache samples;
    const bool cached = state.range(0) != 0;
    QImage target(image.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        if (!cached)
            samples.clear();
        args.samples = &samples;
        QPainter painter(&target);
        ScreenshotRenderer::draw(painter, args);
    }
}
BENCHMARK(BM_DrawMagnifier)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// Magnifiers stacked on a 2560 × 1600 shot, each sampling the ones below, over a blur
// whose result is ready or still pending (a pending sample is never kept across draws).
// Arguments: the number of magnifiers, and 1 for a pending blur.
static void BM_DrawStackedMagnifiers(benchmark::State& state)
{
    class Lookup final : public EffectLookup {
    public:
        explicit Lookup(bool pending) : pending_(pending) {}
        std::optional<EffectResult> cached(const Annotation& a) override
        {
            if (pending_)
                return std::nullopt;
            QImage image(a.rect().size().toSize(), QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::gray);
            return EffectResult::success({image, a.rect(), std::nullopt});
        }

    private:
        bool pending_;
    } lookup(state.range(1) != 0);
    QImage image(2560, 1600, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(220, 225, 235));
    QVector<Annotation> list{element(AnnotationTool::blur, {100, 100}, {600, 400})};
    for (int i = 0; i < state.range(0); ++i) {
        Annotation lens = element(AnnotationTool::magnifier, {200.0 + 180 * i, 500}, {360.0 + 180 * i, 660});
        lens.magnifierSource = QRectF(150 + 150 * i, 150, 120, 120);
        list << lens;
    }
    auto args = arguments(image, list);
    args.effects = &lookup;
    LayerSampleCache samples;
    args.samples = &samples;
    QImage target(image.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        samples.clear(); // something below changed: every sample is drawn again
        QPainter painter(&target);
        ScreenshotRenderer::draw(painter, args);
    }
}
BENCHMARK(BM_DrawStackedMagnifiers)->Args({4, 0})->Args({12, 0})->Args({4, 1})->Args({12, 1})->Unit(benchmark::kMillisecond);

static void BM_DrawBadge(benchmark::State& state)
{
    QImage target(200, 200, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter painter(&target);
        ScreenshotRenderer::drawBadge(painter, "A12", {100, 100}, QSizeF(2000, 1000), false, Qt::red);
    }
}
BENCHMARK(BM_DrawBadge)->Unit(benchmark::kMicrosecond);

// Text with and without its outline (13 copies), in a family with a bold face and in
// one whose bold is imitated (range bit 1).
static void BM_DrawText(benchmark::State& state)
{
    Annotation text = element(AnnotationTool::text, {10, 10}, {});
    text.text = QStringLiteral("Подпись к снимку\nв две строки");
    text.textOutline = state.range(0) & 1;
    text.textStyle.bold = true;
    text.textStyle.family = state.range(0) & 2 ? QStringLiteral("DejaVu Math TeX Gyre") : QStringLiteral("DejaVu Sans");
    const QRectF rect = text.rect();
    QImage target(600, 200, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter painter(&target);
        ScreenshotRenderer::drawText(painter, text, rect);
    }
}
BENCHMARK(BM_DrawText)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMicrosecond);
