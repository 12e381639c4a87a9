#include "BenchScenes.h"
#include "editor/canvas/ImageCanvasView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <benchmark/benchmark.h>

using namespace tarnwick;
using tarnwick::bench::element;

namespace {

// A 5K shot with 10 elements and 3 blurs in a 1600 × 1000 canvas at one view
// point per pixel, every effect computed; the select tool is active.
struct DragScene {
    DragScene()
    {
        Screenshot shot = Screenshot::make(bench::textShot(QImage::Format_ARGB32_Premultiplied), 1);
        const AnnotationTool kinds[] = {AnnotationTool::arrow, AnnotationTool::rectangle, AnnotationTool::ellipse,
                                        AnnotationTool::pencil, AnnotationTool::comment};
        for (int i = 0; i < 10; ++i) {
            const QPointF start(1800 + (i % 5) * 300, 900 + (i / 5) * 400);
            Annotation a = element(kinds[i % 5], start, start + QPointF(220, 140), 6);
            if (a.kind == AnnotationTool::pencil)
                a.points = {start, start + QPointF(60, 90), start + QPointF(220, 140)};
            shot.annotations << a;
        }
        const BlurMode modes[] = {BlurMode::area, BlurMode::pixelate, BlurMode::area};
        for (int i = 0; i < 3; ++i) {
            Annotation blur = element(AnnotationTool::blur, QPointF(1700 + i * 500, 1500), QPointF(2000 + i * 500, 1700));
            blur.blurMode = modes[i];
            shot.annotations.insert(2 + i, blur);
        }
        arrow = shot.annotations[8]; // the second arrow, above the blurs
        state = std::make_unique<EditorState>(shot, QStringLiteral("A"));
        state->setTool(AnnotationTool::select);
        canvas = std::make_unique<ImageCanvasView>(*state);
        canvas->resize(1600, 1000);
        canvas->show();
        const QRectF fit = state->navigation().imageRect(canvas->contentFrame(), state->canvasRect());
        state->setNavigation({5120 / fit.width(), {0, 0}});
        QElapsedTimer wait;
        wait.start();
        do
            repaint();
        while ((state->effectsPending() || wait.elapsed() < 200) && wait.elapsed() < 20000);
    }

    QPointF viewOf(QPointF pixel) const
    {
        const QRectF ir = canvas->imageRect(), vp = canvas->previewViewport();
        return ir.topLeft() + (pixel - vp.topLeft()) * (ir.width() / vp.width());
    }

    void mouse(QEvent::Type type, QPointF at)
    {
        QMouseEvent event(type, at, canvas->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(canvas.get(), &event);
    }

    // Delivers the pending events, among them the repaint of what the last input invalidated.
    static void settle() { QApplication::processEvents(); }
    void repaint()
    {
        canvas->update();
        settle();
    }

    Annotation arrow;
    std::unique_ptr<EditorState> state;
    std::unique_ptr<ImageCanvasView> canvas;
};

} // namespace

static void BM_CanvasFullRepaint5K(benchmark::State& state)
{
    DragScene scene;
    for (auto _ : state)
        scene.repaint();
}
BENCHMARK(BM_CanvasFullRepaint5K)->Unit(benchmark::kMillisecond);

// One frame of moving an arrow: the move event and the repaint it asks for.
static void BM_CanvasDragFrame5K(benchmark::State& state)
{
    DragScene scene;
    const QPointF grab = scene.viewOf(scene.arrow.start + QPointF(40, 25));
    scene.mouse(QEvent::MouseButtonPress, grab);
    int i = 0;
    for (auto _ : state) {
        scene.mouse(QEvent::MouseMove, grab + QPointF(i % 2 ? 30 : 10, 5));
        ++i;
        scene.settle();
    }
    scene.mouse(QEvent::MouseMove, grab + QPointF(10, 5));
    scene.mouse(QEvent::MouseButtonRelease, grab + QPointF(10, 5));
    if (scene.state->annotations()[8].start != scene.arrow.start + QPointF(10, 5))
        state.SkipWithError("the arrow was not moved");
}
BENCHMARK(BM_CanvasDragFrame5K)->Unit(benchmark::kMillisecond);

// A zoom step at 32× on the 5K shot, with its repaint.
static void BM_CanvasZoomStepAt32x(benchmark::State& state)
{
    DragScene scene;
    const QPointF at = scene.viewOf(QPointF(2500, 1200));
    int i = 0;
    for (auto _ : state) {
        scene.canvas->zoomTo(i++ % 2 ? 32 : 31.75, at);
        scene.settle();
    }
}
BENCHMARK(BM_CanvasZoomStepAt32x)->Unit(benchmark::kMillisecond);
