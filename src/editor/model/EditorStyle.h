#pragma once

#include "series/Annotation.h"

#include <functional>
#include <optional>

namespace tarnwick {

class EditorState;

// The style the tools draw with and the selection shows: colour (a palette
// colour or one picked from the shot), shape, line, blur, extra tool, ruler
// unit and the two stroke widths. With a selection the controls show and change
// its style, each change one undo step of the state; without one they show the
// drawing style. Owned by EditorState, whose tool changes and selection it
// follows. GUI thread.
class EditorStyle {
public:
    explicit EditorStyle(EditorState& state) : state_(state) {}
    EditorStyle(const EditorStyle&) = delete;
    EditorStyle& operator=(const EditorStyle&) = delete;

    int colorIndex() const { return colorIndex_; } // 0…5 a palette colour, -1 the custom colour
    // Also becomes the drawing colour (unless the style is showing a selection's colour).
    void setColorIndex(int index);
    const std::optional<SampledColor>& customColor() const { return customColor_; }
    void setCustomColor(const std::optional<SampledColor>& color);
    const std::optional<SampledColor>& drawingCustomColor() const { return drawingCustomColor_; }
    int drawingColorIndex() const { return drawingColorIndex_; }
    // Palette colour `index` for the style, new elements and the selected element (one step).
    void setColor(int index);
    bool pickingColor() const { return pickingColor_; }
    void setPickingColor(bool on);
    bool canPickColor() const;
    // Takes a colour sampled by the canvas while picking.
    void applyPickedColor(const SampledColor& color);

    BlurMode blurMode() const { return blurMode_; }
    void setBlurMode(BlurMode mode);
    ShapeKind shape() const { return shape_; }
    void setShape(ShapeKind shape);
    LineKind lineKind() const { return lineKind_; }
    void setLineKind(LineKind kind);
    ExtraToolKind extraTool() const { return extraTool_; }
    // Also selects its tool.
    void activateExtraTool(ExtraToolKind kind);
    RulerUnit rulerUnit() const { return rulerUnit_; }
    void setRulerUnit(RulerUnit unit);

    double highlighterWidth() const { return highlighterWidth_; }
    double strokeWidth() const { return strokeWidth_; }
    double strokeWidthLimit() const; // 120 for the highlighter, else 40
    double displayedStrokeWidth() const;
    void setStrokeWidth(double width);

    // Copies the selection's style in; without one, the drawing colour.
    void syncToSelection();

private:
    friend class EditorState;
    friend class EditorTextDraft;

    // Shows a colour without making it the drawing colour.
    void showColor(int index, const std::optional<SampledColor>& custom);
    // The kind a tool stands for becomes the style's; a drawing tool newly chosen shows the drawing colour.
    void followTool(AnnotationTool tool, bool changed);
    void recolorSelection(int index, const std::optional<SampledColor>& color);
    // Applies `change` to a copy of the selected element and records the list; false from `change` keeps it.
    void changeSelected(const std::function<bool(Annotation&)>& change);
    // Sets a kind of the style and, when `takes` the selection's kind, writes it into the selection.
    template <typename Kind, typename Takes, typename Write>
    void setKind(Kind& field, Kind value, Takes takes, Write write);
    bool isHighlighter() const;

    EditorState& state_;
    int colorIndex_ = 1;
    std::optional<SampledColor> customColor_;
    std::optional<SampledColor> drawingCustomColor_;
    bool pickingColor_ = false;
    int drawingColorIndex_ = 1;
    BlurMode blurMode_ = BlurMode::area;
    ShapeKind shape_ = ShapeKind::rectangle;
    LineKind lineKind_ = LineKind::arrow;
    ExtraToolKind extraTool_ = ExtraToolKind::magnifier;
    RulerUnit rulerUnit_ = RulerUnit::px;
    double highlighterWidth_ = 24;
    double strokeWidth_ = 3;
    // While set, a colour shown does not become the drawing colour.
    bool syncingColor_ = false;
};

} // namespace tarnwick
