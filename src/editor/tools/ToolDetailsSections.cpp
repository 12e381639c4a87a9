#include "editor/tools/ToolDetailsSections.h"

#include "editor/model/EditorState.h"

namespace tarnwick {
namespace {

using T = AnnotationTool;
using S = DetailsSection;

bool is(const std::optional<T>& kind, std::initializer_list<T> kinds)
{
    return kind && std::find(kinds.begin(), kinds.end(), *kind) != kinds.end();
}

} // namespace

DetailsContext DetailsContext::of(const EditorState& state)
{
    DetailsContext c;
    c.tool = state.tool();
    c.drawingTool = state.drawingTool();
    if (const std::optional<Annotation> a = state.selectedAnnotation())
        c.selectedKind = a->kind;
    c.selected = state.selectedID().has_value();
    c.removingBackground = state.backgroundRemoval().targetID().has_value();
    c.imageNotice = state.imageMessage().has_value();
    return c;
}

QVector<DetailsSection> detailsSections(const DetailsContext& c)
{
    const std::optional<T> tool = c.tool, kind = c.selectedKind;
    const T effective = kind.value_or(c.drawingTool);
    const auto toolOrSelection = [&](std::initializer_list<T> kinds) { return is(tool, kinds) || is(kind, kinds); };
    const bool extra = isExtra(c.tool) || (kind && isExtra(*kind));
    const bool stroke = supportsStroke(c.drawingTool) || (kind && supportsStroke(*kind));
    const std::pair<S, bool> rules[] = {
        {S::extraTool, extra},
        {S::qrReading, c.tool == T::qr},
        {S::rulerUnits, effective == T::ruler},
        {S::highlighterHint, effective == T::highlighter},
        {S::lineKind, toolOrSelection({T::arrow, T::length})},
        {S::shape, toolOrSelection({T::rectangle, T::ellipse})},
        {S::strokeWidth, stroke},
        {S::magnifier, toolOrSelection({T::magnifier})},
        {S::insertedImage, is(kind, {T::image}) && c.tool != T::crop},
        {S::sourceShot, c.tool == T::select && !c.selected},
        {S::removalProgress, c.removingBackground},
        {S::imageNotice, c.imageNotice},
        {S::crop, c.tool == T::crop},
        {S::blur, toolOrSelection({T::blur})},
        {S::editText, is(kind, {T::text})},
    };
    QVector<DetailsSection> shown;
    for (const auto& [section, on] : rules)
        if (on)
            shown.push_back(section);
    return shown;
}

} // namespace tarnwick
