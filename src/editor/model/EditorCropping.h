#pragma once

#include "series/Annotation.h"

#include <QRectF>
#include <QUuid>
#include <optional>

namespace tarnwick {

class EditorState;

// Cropping: the pending selection of the crop tool, the image layer it crops
// when it crops one, and the crops of the visible area. Owned by EditorState,
// whose document it edits; a crop is one undo step of the state, and while a
// selection is pending undo only cancels it. GUI thread.
class EditorCropping {
public:
    explicit EditorCropping(EditorState& state) : state_(state) {}
    EditorCropping(const EditorCropping&) = delete;
    EditorCropping& operator=(const EditorCropping&) = delete;

    const std::optional<Annotation>& pending() const { return pending_; }
    // The image layer the selection crops; nothing when it crops the visible area.
    const std::optional<QUuid>& targetID() const { return targetID_; }
    // Where a selection may lie: the visible area, within the target layer when one is cropped.
    QRectF viewport() const;
    // A selection under 4 × 4 pixels within the viewport keeps the previous one; any other
    // brings the crop tool back when another took its place meanwhile.
    void select(const QRectF& rect);
    // Crops the target layer, else the shot; a selection that no longer fits only cancels.
    void apply();
    void cancel();
    // Switches to the crop tool with the selected image layer as the target.
    void beginOnSelectedLayer();
    // Crops the visible area (only ever shrinking it); the same area records nothing.
    void cropTo(const QRectF& rect);
    void remove();

private:
    EditorState& state_;
    std::optional<Annotation> pending_;
    std::optional<QUuid> targetID_;
};

} // namespace tarnwick
