#include "editor/model/EditorState.h"

#include <algorithm>
#include <cmath>

namespace tarnwick {
namespace {

using T = AnnotationTool;

} // namespace

Annotation freshAnnotation(AnnotationTool kind, const QPointF& point)
{
    Annotation a;
    a.id = QUuid::createUuid();
    a.kind = kind;
    a.start = point;
    a.end = point;
    a.fontSize = 32;
    a.pixelsPerPoint = 1;
    return a;
}

void EditorState::setTool(AnnotationTool tool)
{
    const bool changedTool = tool != tool_;
    assign(tool_, tool);
    if (changedTool) {
        backgroundRemoval_.dismissNotice();
        cropping_.cancel();
        style_.setPickingColor(false);
        qr_.abandon();
        if (tool_ != T::select)
            setSelectedID(std::nullopt);
    }
    style_.followTool(tool_, changedTool);
}

void EditorState::setSelectedID(const std::optional<QUuid>& id)
{
    assign(selectedID_, id);
    style_.syncToSelection();
}

std::optional<Annotation> EditorState::selectedAnnotation() const
{
    if (!selectedID_)
        return std::nullopt;
    for (const Annotation& a : annotations_)
        if (a.id == *selectedID_)
            return a;
    return std::nullopt;
}

AnnotationTool EditorState::drawingTool() const
{
    switch (tool_) {
    case T::rectangle: return shapeTool(style_.shape());
    case T::arrow: case T::length: return lineTool(style_.lineKind());
    default: return tool_;
    }
}

void EditorState::storeContinuing(const QVector<Annotation>& list)
{
    if (list == annotations_)
        return;
    setAnnotations(list);
    reflowCanvas(std::nullopt);
    markEdited();
}

void EditorState::beginStrokeEdit() { strokeEditBaseline_ = snapshot(); }

void EditorState::endStrokeEdit()
{
    if (!strokeEditBaseline_)
        return;
    EditSnapshot baseline = std::move(*strokeEditBaseline_);
    strokeEditBaseline_.reset();
    if (baseline.annotations == annotations_ && baseline.shot.imageCornerRadius == shot_.imageCornerRadius)
        return;
    undoStack_.push_back(std::move(baseline));
    redoStack_.clear();
    assign(historyRevision_, historyRevision_ + 1);
}

bool EditorState::nudgeSelected(const QSizeF& offset, bool continuing)
{
    if (text_.isOpen() || comment_.isOpen() || cropping_.pending())
        return false;
    const std::optional<Annotation> a = selectedAnnotation();
    if (!a)
        return false;
    transform(a->translated(offset), true, !continuing);
    return true;
}

void EditorState::add(const Annotation& annotation, bool expandingCanvas)
{
    Annotation a = annotation;
    if (expandingCanvas)
        a.canvasTracked = true;
    QVector<Annotation> list = annotations_;
    list.push_back(a);
    replace(list);
    if (expandingCanvas)
        reflowCanvas(a.id);
    setSelectedID(a.id);
}

void EditorState::transform(const Annotation& annotation, bool expandingCanvas, bool recordHistory)
{
    const qsizetype index = indexOf(annotation.id);
    if (index < 0 || annotations_[index] == annotation)
        return;
    if (recordHistory)
        checkpoint();
    else
        markEdited();
    Annotation a = annotation;
    if (expandingCanvas || a.kind == T::magnifier)
        a.canvasTracked = true;
    QVector<Annotation> list = annotations_;
    list[index] = a;
    setAnnotations(list);
    reflowCanvas(expandingCanvas ? std::optional<QUuid>(a.id) : std::nullopt);
}

void EditorState::remove(const QUuid& id)
{
    QVector<Annotation> list = annotations_;
    list.removeIf([&](const Annotation& a) { return a.id == id; });
    replace(list);
    setSelectedID(std::nullopt);
}

void EditorState::scaleMagnifier(double factor)
{
    const std::optional<Annotation> a = selectedAnnotation();
    if (!a || a->kind != T::magnifier)
        return;
    const QRectF bounds = visibleArea();
    QVector<Annotation> list = annotations_;
    for (Annotation& e : list)
        if (e.id == a->id)
            e = e.scaledMagnifier(factor, bounds);
    replace(list);
}

} // namespace tarnwick
