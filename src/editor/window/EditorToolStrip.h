#pragma once

#include "series/Annotation.h"

#include <QWidget>
#include <array>
#include <functional>
#include <optional>

class QBoxLayout;
class QToolButton;

namespace tarnwick {

class EditorState;
class EditorToolButton;

// The nine buttons of the floating toolbar: eight tool slots (select, arrow,
// shape, crop, comment, text, pencil, blur) and the extra-tools button. The
// arrow and pencil slots stand for their families and bring back the member
// used last (the strip's only state); every press first reports its tool group
// to the owner. Refreshes on the model's coalesced `changed()` and follows every
// single tool change for its memories. GUI thread.
class EditorToolStrip : public QWidget {
    Q_OBJECT
public:
    static constexpr int slotCount = 8;
    static constexpr int side = 36;
    static constexpr int labelledWidth = 108;
    static constexpr int spacing = 3;

    EditorToolStrip(EditorState& state, std::function<void(std::optional<EditorToolGroup>)> onActivate,
                    QWidget* parent = nullptr);

    void setVertical(bool vertical);
    // Hides the comment slot's label.
    void setCompact(bool compact);
    // Its length along the row for either width of the comment slot.
    int idealLength(bool compact) const;
    void refresh();

    // Positions 1…8.
    EditorToolButton* slotButton(int position) const { return slots_[static_cast<std::size_t>(position - 1)]; }
    QToolButton* extraButton() const { return extra_; }
    AnnotationTool lineTool() const { return lineTool_; }
    AnnotationTool drawingTool() const { return drawingTool_; }

private:
    void press(AnnotationTool slotTool);
    void remember(AnnotationTool tool);
    void updateCommentLabel();

    EditorState& state_;
    std::function<void(std::optional<EditorToolGroup>)> onActivate_;
    QBoxLayout* box_;
    std::array<EditorToolButton*, slotCount> slots_{};
    QToolButton* extra_;
    bool vertical_ = false;
    bool compact_ = false;
    AnnotationTool lineTool_ = AnnotationTool::arrow;
    AnnotationTool drawingTool_ = AnnotationTool::pencil;
    AnnotationTool seenTool_;
    QColor extraTint_;
};

} // namespace tarnwick
