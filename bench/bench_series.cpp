#include "BenchScenes.h"
#include "platform/QtClipboardBackend.h"
#include "render/ScreenshotRenderer.h"
#include "series/ClipboardBridge.h"

#include <QPainter>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace tarnwick;
using tarnwick::bench::element;

namespace {

// A screenshot-like picture: panels, lines of "text", a photo-ish gradient.
QImage desktop(int seed)
{
    QImage image(2560, 1600, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(245, 245, 247));
    QPainter painter(&image);
    painter.fillRect(0, 0, 300, 1600, QColor(30, 32, 36));
    for (int y = 60; y < 1560; y += 28)
        painter.fillRect(340, y, 600 + (y * seed) % 1400, 12, QColor(60, 60, 70));
    QLinearGradient gradient(1800, 200, 2400, 900);
    gradient.setColorAt(0, QColor(20 * seed % 255, 120, 200));
    gradient.setColorAt(1, QColor(250, 200, 40));
    painter.fillRect(1800, 200, 600, 700, gradient);
    return image;
}


QVector<Screenshot> series(int count)
{
    QVector<Screenshot> shots;
    for (int i = 0; i < count; ++i) {
        Screenshot shot = Screenshot::make(desktop(i + 1), 2);
        shot.annotations << element(AnnotationTool::arrow, {400, 300}, {1200, 700})
                         << element(AnnotationTool::rectangle, {1700, 150}, {2450, 950});
        Annotation blur = element(AnnotationTool::blur, {340, 1000}, {1300, 1200});
        blur.blurMode = BlurMode::pixelate;
        Annotation comment = element(AnnotationTool::comment, {800, 500}, {800, 500});
        comment.text = QStringLiteral("Комментарий к снимку");
        shot.annotations << blur << comment;
        shots << shot;
    }
    return shots;
}

} // namespace

// Saving from the editor prepares the whole series again; every shot but the
// edited one is unchanged.
static void BM_PrepareTenShotsAfterOneEdit(benchmark::State& state)
{
    QTemporaryDir root;
    platform::QtClipboardBackend board;
    ClipboardBridge bridge(board, root.path(), &ScreenshotRenderer::render);
    QVector<Screenshot> shots = series(10);
    bridge.prepare(shots, TransferMode::chat);
    for (auto _ : state) {
        shots[4].annotations[0].end += QPointF(1, 0);
        bridge.prepare(shots, TransferMode::chat);
    }
}
BENCHMARK(BM_PrepareTenShotsAfterOneEdit)->Unit(benchmark::kMillisecond)->Iterations(5);

// The first preparation of a series: every shot rendered and encoded.
static void BM_PrepareTenShotsCold(benchmark::State& state)
{
    QTemporaryDir root;
    platform::QtClipboardBackend board;
    for (auto _ : state) {
        state.PauseTiming();
        ClipboardBridge bridge(board, root.path(), &ScreenshotRenderer::render);
        const QVector<Screenshot> shots = series(10);
        state.ResumeTiming();
        bridge.prepare(shots, TransferMode::chat);
    }
}
BENCHMARK(BM_PrepareTenShotsCold)->Unit(benchmark::kMillisecond)->Iterations(3);
