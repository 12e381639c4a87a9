#pragma once

#include "editor/tools/ToolLook.h"

class QLabel;

namespace tarnwick {

class DoubleSlider;
class EditorState;

// The capsule with one slider for the corner radius of the selected image layer,
// or of the shot itself while the select tool has nothing selected. One drag is
// one undo step; a drag cut short by the capsule disappearing is still closed.
// The floating toolbar places it beside the supplemental strip; the tool details
// place it in their image sections. GUI thread; the state outlives it.
class EditorImageCornerControl : public FloatingCapsule {
    Q_OBJECT
public:
    explicit EditorImageCornerControl(EditorState& state, QWidget* parent = nullptr);
    DoubleSlider* slider() const { return slider_; }
    void refresh();

private:
    EditorState& state_;
    DoubleSlider* slider_;
    QLabel* value_;
};

} // namespace tarnwick
