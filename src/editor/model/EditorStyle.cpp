#include "editor/model/EditorStyle.h"

#include "editor/model/EditorState.h"

#include <algorithm>
#include <cmath>

namespace tarnwick {
namespace {

using T = AnnotationTool;

} // namespace

void EditorStyle::setColorIndex(int index)
{
    state_.assign(colorIndex_, index);
    if (syncingColor_)
        return;
    state_.assign(drawingColorIndex_, colorIndex_);
    if (colorIndex_ != -1)
        state_.assign(customColor_, std::optional<SampledColor>());
    state_.assign(drawingCustomColor_, customColor_);
}

void EditorStyle::setCustomColor(const std::optional<SampledColor>& color) { state_.assign(customColor_, color); }
void EditorStyle::setPickingColor(bool on) { state_.assign(pickingColor_, on); }

void EditorStyle::showColor(int index, const std::optional<SampledColor>& custom)
{
    syncingColor_ = true;
    state_.assign(customColor_, custom);
    setColorIndex(index);
    syncingColor_ = false;
}

void EditorStyle::syncToSelection()
{
    const std::optional<Annotation> a = state_.selectedAnnotation();
    if (!a) {
        showColor(drawingColorIndex_, drawingCustomColor_);
        return;
    }
    if (a->kind == T::image)
        return;
    if (a->kind == T::blur) {
        state_.assign(blurMode_, a->blurMode);
        return;
    }
    showColor(a->kind == T::comment ? a->markerColorIndex.value_or(2) : a->colorIndex, a->customColor);

    if (const std::optional<ShapeKind> shape = shapeKindOf(a->kind))
        state_.assign(shape_, *shape);
    else if (const std::optional<LineKind> line = lineKindOf(a->kind))
        state_.assign(lineKind_, *line);
    else if (const std::optional<ExtraToolKind> extra = extraToolKind(a->kind)) {
        state_.assign(extraTool_, *extra);
        if (a->kind == T::ruler)
            state_.assign(rulerUnit_, a->rulerUnit);
    }
    if (!supportsStroke(a->kind))
        return;
    const double width = a->strokeWidth > 0 ? a->strokeWidth : state_.defaultStrokeWidth();
    state_.assign(hasOwnWidth(a->kind) ? highlighterWidth_ : strokeWidth_, width);
}

void EditorStyle::recolorSelection(int index, const std::optional<SampledColor>& color)
{
    const std::optional<Annotation> a = state_.selectedAnnotation();
    if (state_.text().isOpen() || !a || !takesColor(a->kind))
        return;
    QVector<Annotation> list = state_.annotations();
    for (Annotation& e : list)
        if (e.id == a->id) {
            e.colorIndex = index;
            e.customColor = color;
            if (e.kind == T::comment)
                e.markerColorIndex = index;
            break;
        }
    state_.replace(list);
}

void EditorStyle::setColor(int index)
{
    state_.assign(pickingColor_, false);
    setColorIndex(index);
    recolorSelection(index, std::nullopt);
}

void EditorStyle::applyPickedColor(const SampledColor& color)
{
    if (!pickingColor_)
        return;
    state_.assign(customColor_, std::optional<SampledColor>(color));
    setColorIndex(-1);
    state_.assign(pickingColor_, false);
    recolorSelection(-1, color);
}

bool EditorStyle::canPickColor() const
{
    const RenderScene current = state_.scene();
    if (current.error)
        return false;
    if (current.effects) {
        const EffectReadiness ready = current.effects->readiness(state_.effectiveAnnotations());
        if (ready.pending || ready.failed)
            return false;
    }
    return !state_.comment().isOpen() && !state_.cropping().pending() && !state_.images().capturing()
        && !state_.backgroundRemoval().targetID() && !state_.qr().id();
}

void EditorStyle::changeSelected(const std::function<bool(Annotation&)>& change)
{
    const std::optional<Annotation> a = state_.selectedAnnotation();
    if (!a)
        return;
    QVector<Annotation> list = state_.annotations();
    for (Annotation& e : list)
        if (e.id == a->id) {
            if (!change(e))
                return;
            break;
        }
    state_.replace(list);
}

void EditorStyle::setShape(ShapeKind shape)
{
    state_.assign(shape_, shape);
    changeSelected([shape](Annotation& e) {
        if (!isShape(e.kind))
            return false;
        e.kind = shapeTool(shape);
        return true;
    });
}

void EditorStyle::setLineKind(LineKind kind)
{
    state_.assign(lineKind_, kind);
    changeSelected([kind](Annotation& e) {
        if (!isLine(e.kind))
            return false;
        e.kind = lineTool(kind);
        return true;
    });
}

void EditorStyle::setBlurMode(BlurMode mode)
{
    state_.assign(blurMode_, mode);
    changeSelected([mode](Annotation& e) {
        if (e.kind != T::blur)
            return false;
        e.blurMode = mode;
        return true;
    });
}

void EditorStyle::setRulerUnit(RulerUnit unit)
{
    state_.assign(rulerUnit_, unit);
    changeSelected([unit](Annotation& e) {
        if (e.kind != T::ruler)
            return false;
        e.rulerUnit = unit;
        return true;
    });
}

void EditorStyle::activateExtraTool(ExtraToolKind kind)
{
    state_.assign(extraTool_, kind);
    state_.setTool(tarnwick::tool(kind));
}

bool EditorStyle::isHighlighter() const
{
    const std::optional<Annotation> a = state_.selectedAnnotation();
    return hasOwnWidth(a ? a->kind : state_.drawingTool());
}

double EditorStyle::strokeWidthLimit() const { return isHighlighter() ? 120 : 40; }

double EditorStyle::displayedStrokeWidth() const { return isHighlighter() ? highlighterWidth_ : strokeWidth_; }

void EditorStyle::setStrokeWidth(double width)
{
    const double w = std::min(std::max(std::isfinite(width) ? width : 1.0, 1.0), strokeWidthLimit());
    state_.assign(isHighlighter() ? highlighterWidth_ : strokeWidth_, w);
    const std::optional<Annotation> a = state_.selectedAnnotation();
    if (!a || !supportsStroke(a->kind))
        return;
    QVector<Annotation> list = state_.annotations();
    for (Annotation& e : list)
        if (e.id == a->id) {
            e.strokeWidth = w;
            break;
        }
    if (state_.strokeEditBaseline_)
        state_.storeContinuing(list);
    else
        state_.replace(list);
}

} // namespace tarnwick
