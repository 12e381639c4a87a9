#include "BenchScenes.h"
#include "editor/canvas/ImageCanvasView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <benchmark/benchmark.h>

using namespace tarnwick;
using tarnwick::bench::element;

namespace {

QImage fullHD() { return bench::textShot(QImage::Format_ARGB32_Premultiplied).copy(1200, 600, 1920, 1080); }

// A 5K shot with 10 elements and 3 blurs in a 1600 × 1000 canvas at one view
// point per pixel, every effect computed; the select tool is active. Without
// `fiveK`: a 1080p shot fitted in the canvas, an arrow at the bottom of the
// stack, 43 elements more on the left and 6 blurs on the right above them all.
struct DragScene {
    explicit DragScene(bool fiveK = true)
    {
        Screenshot shot = Screenshot::make(fiveK ? bench::textShot(QImage::Format_ARGB32_Premultiplied) : fullHD(), 1);
        const AnnotationTool kinds[] = {AnnotationTool::arrow, AnnotationTool::rectangle, AnnotationTool::ellipse,
                                        AnnotationTool::pencil, AnnotationTool::comment};
        const int count = fiveK ? 10 : 44;
        for (int i = 0; i < count; ++i) {
            const QPointF start = fiveK ? QPointF(1800 + (i % 5) * 300, 900 + (i / 5) * 400)
                                        : i == 0 ? QPointF(60, 60) : QPointF(40 + (i % 11) * 100, 300 + (i / 11) * 180);
            Annotation a = element(kinds[i % 5], start, start + (fiveK || i == 0 ? QPointF(220, 140) : QPointF(80, 60)), 6);
            if (a.kind == AnnotationTool::pencil)
                a.points = {start, start + QPointF(20, 40), a.end};
            shot.annotations << a;
        }
        const BlurMode modes[] = {BlurMode::area, BlurMode::pixelate, BlurMode::area};
        for (int i = 0; i < (fiveK ? 3 : 6); ++i) {
            Annotation blur = fiveK ? element(AnnotationTool::blur, QPointF(1700 + i * 500, 1500), QPointF(2000 + i * 500, 1700))
                                    : element(AnnotationTool::blur, QPointF(1500, 40 + i * 170), QPointF(1880, 170 + i * 170));
            blur.blurMode = modes[i % 3];
            if (fiveK)
                shot.annotations.insert(2 + i, blur);
            else
                shot.annotations << blur;
        }
        arrow = shot.annotations[fiveK ? 8 : 0]; // 5K: the second arrow, above the blurs
        state = std::make_unique<EditorState>(shot, QStringLiteral("A"));
        state->setTool(AnnotationTool::select);
        canvas = std::make_unique<ImageCanvasView>(*state);
        canvas->resize(1600, 1000);
        canvas->show();
        if (fiveK) {
            const QRectF fit = state->navigation().imageRect(canvas->contentFrame(), state->canvasRect());
            state->setNavigation({5120 / fit.width(), {0, 0}});
        }
        QElapsedTimer wait;
        wait.start();
        do
            repaint();
        while ((state->effects().pending() || wait.elapsed() < 200) && wait.elapsed() < 20000);
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

    // The pointer resting over the canvas: the colour read-out follows every change.
    void hover(QPointF at)
    {
        QMouseEvent event(QEvent::MouseMove, at, canvas->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
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

// One benchmark iteration a frame of dragging what lies at `grab` to and fro;
// the drag ends 10, 5 view pixels from where it began.
static void dragFrames(benchmark::State& state, DragScene& scene, QPointF grab)
{
    scene.mouse(QEvent::MouseButtonPress, grab);
    int i = 0;
    for (auto _ : state) {
        scene.mouse(QEvent::MouseMove, grab + QPointF(i % 2 ? 30 : 10, 5));
        ++i;
        scene.settle();
    }
    scene.mouse(QEvent::MouseMove, grab + QPointF(10, 5));
    scene.mouse(QEvent::MouseButtonRelease, grab + QPointF(10, 5));
}

// One frame of moving an arrow: the move event and the repaint it asks for.
static void BM_CanvasDragFrame5K(benchmark::State& state)
{
    DragScene scene;
    const QPointF grab = scene.viewOf(scene.arrow.start + QPointF(40, 25));
    dragFrames(state, scene, grab);
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

namespace {

struct FittedScene : DragScene {
    FittedScene() : DragScene(false) {}
};

// The widget the canvas is measured against: nothing but the fitted shot.
class BareShot : public QWidget {
public:
    BareShot(QImage image, QRectF target) : image_(std::move(image)), target_(target) { resize(1600, 1000); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(18, 18, 18));
        painter.drawImage(target_, image_);
    }

private:
    QImage image_;
    QRectF target_;
};

} // namespace

static void BM_CanvasFullRepaint1080p(benchmark::State& state)
{
    FittedScene scene;
    for (auto _ : state)
        scene.repaint();
}
BENCHMARK(BM_CanvasFullRepaint1080p)->Unit(benchmark::kMillisecond);

static void BM_BareRepaint1080p(benchmark::State& state)
{
    FittedScene scene;
    BareShot bare(fullHD(), scene.canvas->imageRect());
    bare.show();
    for (auto _ : state) {
        bare.update();
        QApplication::processEvents();
    }
}
BENCHMARK(BM_BareRepaint1080p)->Unit(benchmark::kMillisecond);

// One frame of moving the bottom arrow, which no blur covers.
static void BM_DragFrameWithBlurs1080p(benchmark::State& state)
{
    FittedScene scene;
    const QPointF grab = scene.viewOf(scene.arrow.start + QPointF(100, 50));
    dragFrames(state, scene, grab);
    if (scene.state->annotations()[0].start == scene.arrow.start)
        state.SkipWithError("the arrow was not moved");
}
BENCHMARK(BM_DragFrameWithBlurs1080p)->Unit(benchmark::kMillisecond);

// Undo and redo of a crop in turn, the pointer over the canvas, each with its repaint.
template <typename Scene>
static void cropUndo(benchmark::State& state)
{
    Scene scene;
    const QRectF canvas = scene.state->canvasRect();
    scene.state->setTool(AnnotationTool::crop);
    scene.state->cropping().select(
        canvas.adjusted(canvas.width() / 8, canvas.height() / 8, -canvas.width() / 8, -canvas.height() / 8));
    scene.state->cropping().apply();
    scene.state->setTool(AnnotationTool::select);
    scene.settle();
    scene.hover(QPointF(scene.canvas->imageRect().center()));
    scene.settle();
    int i = 0;
    for (auto _ : state) {
        if (i++ % 2)
            scene.state->redo();
        else
            scene.state->undo();
        scene.settle();
    }
    if (!scene.state->cursorColor().insideCanvas())
        state.SkipWithError("the pointer is not over the shot");
}
static void BM_CropUndo1080p(benchmark::State& state) { cropUndo<FittedScene>(state); }
BENCHMARK(BM_CropUndo1080p)->Unit(benchmark::kMillisecond);
static void BM_CropUndo5K(benchmark::State& state) { cropUndo<DragScene>(state); }
BENCHMARK(BM_CropUndo5K)->Unit(benchmark::kMillisecond);

// 25 repeats of a held "]" on the selected arrow, the pointer over the canvas.
static void BM_HeldBracket5K(benchmark::State& state)
{
    DragScene scene;
    scene.state->setSelectedID(scene.arrow.id);
    scene.hover(scene.viewOf(QPointF(2500, 1200)));
    scene.settle();
    for (auto _ : state) {
        for (int i = 0; i < 25; ++i) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_BracketRight, Qt::NoModifier, QStringLiteral("]"), i > 0);
            QApplication::sendEvent(scene.canvas.get(), &press);
            scene.settle();
        }
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_BracketRight, Qt::NoModifier, QStringLiteral("]"));
        QApplication::sendEvent(scene.canvas.get(), &release);
        state.PauseTiming();
        scene.state->undo();
        scene.state->setSelectedID(scene.arrow.id);
        scene.settle();
        state.ResumeTiming();
    }
    if (!scene.state->cursorColor().insideCanvas())
        state.SkipWithError("the pointer is not over the shot");
}
BENCHMARK(BM_HeldBracket5K)->Unit(benchmark::kMillisecond);
