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
        assign(pickingColor_, false);
        qr_.abandon();
        if (tool_ != T::select)
            setSelectedID(std::nullopt);
    }
    if (tool_ == T::ellipse)
        assign(shape_, ShapeKind::ellipse);
    else if (tool_ == T::length)
        assign(lineKind_, LineKind::length);
    else if (const std::optional<ExtraToolKind> extra = extraToolKind(tool_))
        assign(extraTool_, *extra);
    if (changedTool && tool_ != T::select) {
        syncingColor_ = true;
        assign(customColor_, drawingCustomColor_);
        setColorIndex(drawingColorIndex_);
        syncingColor_ = false;
    }
}

void EditorState::setColorIndex(int index)
{
    assign(colorIndex_, index);
    if (syncingColor_)
        return;
    assign(drawingColorIndex_, colorIndex_);
    if (colorIndex_ != -1)
        assign(customColor_, std::optional<SampledColor>());
    assign(drawingCustomColor_, customColor_);
}

void EditorState::setSelectedID(const std::optional<QUuid>& id)
{
    assign(selectedID_, id);
    syncSelectedStyle();
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
    case T::rectangle: return shapeTool(shape_);
    case T::arrow: case T::length: return lineTool(lineKind_);
    default: return tool_;
    }
}

void EditorState::syncSelectedStyle()
{
    const std::optional<Annotation> a = selectedAnnotation();
    if (!a) {
        syncingColor_ = true;
        assign(customColor_, drawingCustomColor_);
        setColorIndex(drawingColorIndex_);
        syncingColor_ = false;
        return;
    }
    if (a->kind == T::image)
        return;
    if (a->kind == T::blur) {
        assign(blurMode_, a->blurMode);
        return;
    }
    syncingColor_ = true;
    assign(customColor_, a->customColor);
    setColorIndex(a->kind == T::comment ? a->markerColorIndex.value_or(2) : a->colorIndex);
    syncingColor_ = false;

    if (const std::optional<ShapeKind> shape = shapeKindOf(a->kind))
        assign(shape_, *shape);
    else if (const std::optional<LineKind> line = lineKindOf(a->kind))
        assign(lineKind_, *line);
    else if (const std::optional<ExtraToolKind> extra = extraToolKind(a->kind)) {
        assign(extraTool_, *extra);
        if (a->kind == T::ruler)
            assign(rulerUnit_, a->rulerUnit);
    }
    if (!supportsStroke(a->kind))
        return;
    const double width = a->strokeWidth > 0 ? a->strokeWidth : defaultStrokeWidth();
    assign(hasOwnWidth(a->kind) ? highlighterWidth_ : strokeWidth_, width);
}

void EditorState::recolorSelection(int index, const std::optional<SampledColor>& color)
{
    const std::optional<Annotation> a = selectedAnnotation();
    if (text_.isOpen() || !a || !takesColor(a->kind))
        return;
    QVector<Annotation> list = annotations_;
    for (Annotation& e : list)
        if (e.id == a->id) {
            e.colorIndex = index;
            e.customColor = color;
            if (e.kind == T::comment)
                e.markerColorIndex = index;
            break;
        }
    replace(list);
}

void EditorState::setColor(int index)
{
    assign(pickingColor_, false);
    setColorIndex(index);
    recolorSelection(index, std::nullopt);
}

void EditorState::applyPickedColor(const SampledColor& color)
{
    if (!pickingColor_)
        return;
    assign(customColor_, std::optional<SampledColor>(color));
    setColorIndex(-1);
    assign(pickingColor_, false);
    recolorSelection(-1, color);
}

bool EditorState::canPickColor() const
{
    const RenderScene current = scene();
    if (current.error)
        return false;
    if (current.effects) {
        const EffectReadiness ready = current.effects->readiness(effectiveAnnotations());
        if (ready.pending || ready.failed)
            return false;
    }
    return !comment_.isOpen() && !cropping_.pending() && !images_.capturing() && !backgroundRemoval_.targetID()
        && !qr_.id();
}

void EditorState::changeSelected(const std::function<bool(Annotation&)>& change)
{
    const std::optional<Annotation> a = selectedAnnotation();
    if (!a)
        return;
    QVector<Annotation> list = annotations_;
    for (Annotation& e : list)
        if (e.id == a->id) {
            if (!change(e))
                return;
            break;
        }
    replace(list);
}

void EditorState::setShape(ShapeKind shape)
{
    assign(shape_, shape);
    changeSelected([shape](Annotation& e) {
        if (!isShape(e.kind))
            return false;
        e.kind = shapeTool(shape);
        return true;
    });
}

void EditorState::setLineKind(LineKind kind)
{
    assign(lineKind_, kind);
    changeSelected([kind](Annotation& e) {
        if (!isLine(e.kind))
            return false;
        e.kind = lineTool(kind);
        return true;
    });
}

void EditorState::setBlurMode(BlurMode mode)
{
    assign(blurMode_, mode);
    changeSelected([mode](Annotation& e) {
        if (e.kind != T::blur)
            return false;
        e.blurMode = mode;
        return true;
    });
}

void EditorState::setRulerUnit(RulerUnit unit)
{
    assign(rulerUnit_, unit);
    changeSelected([unit](Annotation& e) {
        if (e.kind != T::ruler)
            return false;
        e.rulerUnit = unit;
        return true;
    });
}

void EditorState::activateExtraTool(ExtraToolKind kind)
{
    assign(extraTool_, kind);
    setTool(tarnwick::tool(kind));
}

bool EditorState::styleIsHighlighter() const
{
    const std::optional<Annotation> a = selectedAnnotation();
    return hasOwnWidth(a ? a->kind : drawingTool());
}

double EditorState::strokeWidthLimit() const { return styleIsHighlighter() ? 120 : 40; }

double EditorState::displayedStrokeWidth() const { return styleIsHighlighter() ? highlighterWidth_ : strokeWidth_; }

void EditorState::storeContinuing(const QVector<Annotation>& list)
{
    if (list == annotations_)
        return;
    setAnnotations(list);
    reflowCanvas(std::nullopt);
    markEdited();
}

void EditorState::setStrokeWidth(double width)
{
    const double w = std::min(std::max(std::isfinite(width) ? width : 1.0, 1.0), strokeWidthLimit());
    assign(styleIsHighlighter() ? highlighterWidth_ : strokeWidth_, w);
    const std::optional<Annotation> a = selectedAnnotation();
    if (!a || !supportsStroke(a->kind))
        return;
    QVector<Annotation> list = annotations_;
    for (Annotation& e : list)
        if (e.id == a->id) {
            e.strokeWidth = w;
            break;
        }
    if (strokeEditBaseline_)
        storeContinuing(list);
    else
        replace(list);
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
