#pragma once

#include "editor/tools/ToolDetailsSections.h"
#include "editor/tools/ToolLook.h"
#include "series/Annotation.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QToolButton;

namespace tarnwick {

class DoubleSlider;
class EditorState;
class SegmentedPicker;

// The compact capsule of quick options for the tool in use or the selection:
// stroke width, ruler units, crop, text, magnifier zoom, image-layer and shot
// actions, a busy bar and delete. It never holds the corner control; the
// toolbar places that beside it. Ask `hasContent()` before showing it.
// GUI thread; the state outlives it.
class EditorSupplementalControls : public FloatingCapsule {
    Q_OBJECT
public:
    explicit EditorSupplementalControls(EditorState& state, QWidget* parent = nullptr);
    bool hasContent() const;
    DoubleSlider* strokeSlider() const { return strokeSlider_; }
    void refresh();

private:
    EditorState& state_;
    QWidget* strokeGroup_;
    DoubleSlider* strokeSlider_;
    QLabel* strokeValue_;
    SegmentedPicker* rulerUnits_;
    QPushButton* applyCrop_;
    QToolButton* cancelCrop_;
    QPushButton* editText_;
    QWidget* zoomGroup_;
    QLabel* zoomValue_;
    QPushButton* layerBackground_;
    QToolButton* mirror_;
    QLabel* sourceLabel_;
    QPushButton* sourceBackground_;
    QProgressBar* busy_;
    QToolButton* delete_;
    bool mirrored_ = false;
};

// The lens width over the source width (at least 1); 2 without a source.
double magnifierFactor(const Annotation& magnifier);

} // namespace tarnwick
