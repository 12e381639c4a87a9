#pragma once

#include "series/Annotation.h"

#include <QVector>
#include <optional>

namespace tarnwick {

class EditorState;

// The sections of the tool details, in the order they stack.
enum class DetailsSection {
    extraTool, qrReading, rulerUnits, highlighterHint, lineKind, shape, strokeWidth, magnifier,
    insertedImage, sourceShot, removalProgress, imageNotice, crop, blur, editText
};

// What the quick-options strip shows.
struct SupplementalContent {
    AnnotationTool tool = AnnotationTool::select; // crop, else the selection's kind, else the drawing tool
    bool stroke = false;
    bool rulerUnits = false;
    bool crop = false;
    bool editText = false;
    bool magnifierZoom = false;
    bool imageLayer = false;
    bool sourceShot = false;
    bool busy = false;
    bool remove = false;

    // Whether the strip shows anything at all; the toolbar leaves it out otherwise.
    bool any() const;
};

// What the details panel and the quick-options strip look at.
struct DetailsContext {
    AnnotationTool tool = AnnotationTool::arrow;
    AnnotationTool drawingTool = AnnotationTool::arrow;
    std::optional<AnnotationTool> selectedKind; // the kind of the selected element, if it exists
    bool selected = false;                      // an id is selected (even one that is gone)
    bool removingBackground = false;
    bool imageNotice = false;
    bool busy = false; // effects, a background removal or a QR reading still running

    static DetailsContext of(const EditorState& state);
};

// The details panel's sections, in stacking order (none at all is possible),
// and the strip's content: decided together so the two never disagree.
struct ToolPanels {
    QVector<DetailsSection> sections;
    SupplementalContent strip;
};
ToolPanels toolPanels(const DetailsContext& context);

} // namespace tarnwick
