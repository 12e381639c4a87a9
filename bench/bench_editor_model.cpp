#include "BenchScenes.h"
#include "editor/model/EditorState.h"

#include <benchmark/benchmark.h>

using namespace tarnwick;
using tarnwick::bench::element;

namespace {

// A 5K shot with `count` elements of the usual kinds, spread over the image and
// its margins; with `tracked` they all take part in canvas growth.
EditorState* session(int count, bool tracked)
{
    Screenshot shot = Screenshot::make(bench::textShot(QImage::Format_ARGB32_Premultiplied), 2);
    const AnnotationTool kinds[] = {AnnotationTool::arrow, AnnotationTool::rectangle, AnnotationTool::comment,
                                    AnnotationTool::pencil, AnnotationTool::length};
    for (int i = 0; i < count; ++i) {
        const QPointF start(-200 + (i * 397) % 5500, -150 + (i * 211) % 3200);
        Annotation a = element(kinds[i % 5], start, start + QPointF(300, 120), 4);
        if (a.kind == AnnotationTool::pencil)
            a.points = {start, start + QPointF(40, 60), start + QPointF(300, 120)};
        a.canvasTracked = tracked;
        shot.annotations << a;
    }
    return new EditorState(shot, QStringLiteral("A"));
}

} // namespace

// Every edit records a snapshot; it must share the pixels, not copy them.
static void BM_CheckpointOn5KWith50Elements(benchmark::State& state)
{
    std::unique_ptr<EditorState> editor(session(50, false));
    for (auto _ : state)
        editor->checkpoint();
}
BENCHMARK(BM_CheckpointOn5KWith50Elements)->Unit(benchmark::kMicrosecond);

static void BM_CheckpointAndUndoOn5KWith50Elements(benchmark::State& state)
{
    std::unique_ptr<EditorState> editor(session(50, false));
    for (auto _ : state) {
        editor->checkpoint();
        editor->undo();
    }
}
BENCHMARK(BM_CheckpointAndUndoOn5KWith50Elements)->Unit(benchmark::kMicrosecond);

// Runs after every add, move and resize with canvas growth, and with a crop set.
static void BM_ReflowCanvas200Tracked(benchmark::State& state)
{
    std::unique_ptr<EditorState> editor(session(200, true));
    editor->cropping().cropTo(QRectF(500, 400, 3000, 2000));
    const QUuid moved = editor->annotations()[7].id;
    for (auto _ : state)
        editor->reflowCanvas(moved);
}
BENCHMARK(BM_ReflowCanvas200Tracked)->Unit(benchmark::kMicrosecond);
