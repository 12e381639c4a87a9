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

void EditorStyle::followTool(AnnotationTool tool, bool changed)
{
    if (tool == T::ellipse)
        state_.assign(shape_, ShapeKind::ellipse);
    else if (tool == T::length)
        state_.assign(lineKind_, LineKind::length);
    else if (const std::optional<ExtraToolKind> extra = extraToolKind(tool))
        state_.assign(extraTool_, *extra);
    if (changed && tool != T::select)
        showColor(drawingColorIndex_, drawingCustomColor_);
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
    if (state_.text().isOpen())
        return;
    changeSelected([&](Annotation& e) {
        if (!takesColor(e.kind))
            return false;
        e.colorIndex = index;
        e.customColor = color;
        if (e.kind == T::comment)
            e.markerColorIndex = index;
        return true;
    });
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
    return state_.pictureReady() && !state_.comment().isOpen() && !state_.cropping().pending() && !state_.images().capturing()
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

template <typename Kind, typename Takes, typename Write>
void EditorStyle::setKind(Kind& field, Kind value, Takes takes, Write write)
{
    state_.assign(field, value);
    changeSelected([&](Annotation& e) {
        if (!takes(e.kind))
            return false;
        write(e, value);
        return true;
    });
}

void EditorStyle::setShape(ShapeKind shape)
{
    setKind(shape_, shape, isShape, [](Annotation& e, ShapeKind s) { e.kind = shapeTool(s); });
}

void EditorStyle::setLineKind(LineKind kind)
{
    setKind(lineKind_, kind, isLine, [](Annotation& e, LineKind k) { e.kind = lineTool(k); });
}

void EditorStyle::setBlurMode(BlurMode mode)
{
    setKind(blurMode_, mode, [](T k) { return k == T::blur; }, [](Annotation& e, BlurMode m) { e.blurMode = m; });
}

void EditorStyle::setRulerUnit(RulerUnit unit)
{
    setKind(rulerUnit_, unit, [](T k) { return k == T::ruler; }, [](Annotation& e, RulerUnit u) { e.rulerUnit = u; });
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
