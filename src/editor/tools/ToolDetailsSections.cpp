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
    c.imageNotice = state.images().message().has_value();
    c.busy = state.effects().pending() || state.backgroundRemoval().targetID() || state.qr().id();
    return c;
}

bool SupplementalContent::any() const
{
    return stroke || crop || tool == T::image || tool == T::select || remove || busy;
}

ToolPanels toolPanels(const DetailsContext& c)
{
    const std::optional<T> tool = c.tool, kind = c.selectedKind;
    const T effective = kind.value_or(c.drawingTool);
    // The strip stays with a running crop whatever is selected.
    const T controlled = c.tool == T::crop ? T::crop : effective;
    const bool cropping = c.tool == T::crop;
    const bool shot = c.tool == T::select && !c.selected;
    const auto toolOrSelection = [&](std::initializer_list<T> kinds) { return is(tool, kinds) || is(kind, kinds); };
    const auto eitherIs = [&](bool (*trait)(T)) { return trait(c.tool) || (kind && trait(*kind)); };
    const bool stroke = supportsStroke(c.drawingTool) || (kind && supportsStroke(*kind));
    const std::pair<S, bool> rules[] = {
        {S::extraTool, eitherIs(isExtra)},
        {S::qrReading, c.tool == T::qr},
        {S::rulerUnits, effective == T::ruler},
        {S::highlighterHint, effective == T::highlighter},
        {S::lineKind, eitherIs(isLine)},
        {S::shape, eitherIs(isShape)},
        {S::strokeWidth, stroke},
        {S::magnifier, toolOrSelection({T::magnifier})},
        {S::insertedImage, is(kind, {T::image}) && !cropping},
        {S::sourceShot, shot},
        {S::removalProgress, c.removingBackground},
        {S::imageNotice, c.imageNotice},
        {S::crop, cropping},
        {S::blur, toolOrSelection({T::blur})},
        {S::editText, is(kind, {T::text})},
    };
    ToolPanels panels;
    for (const auto& [section, on] : rules)
        if (on)
            panels.sections.push_back(section);
    SupplementalContent& s = panels.strip;
    s.tool = controlled;
    s.stroke = supportsStroke(controlled);
    s.rulerUnits = controlled == T::ruler;
    s.crop = controlled == T::crop;
    s.editText = !cropping && is(kind, {T::text});
    s.magnifierZoom = !cropping && is(kind, {T::magnifier});
    s.imageLayer = controlled == T::image;
    s.sourceShot = shot;
    s.busy = c.busy;
    s.remove = c.selected;
    return panels;
}

} // namespace tarnwick
