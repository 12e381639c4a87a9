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

// What the choice of sections looks at.
struct DetailsContext {
    AnnotationTool tool = AnnotationTool::arrow;
    AnnotationTool drawingTool = AnnotationTool::arrow;
    std::optional<AnnotationTool> selectedKind; // the kind of the selected element, if it exists
    bool selected = false;                      // an id is selected (even one that is gone)
    bool removingBackground = false;
    bool imageNotice = false;

    static DetailsContext of(const EditorState& state);
};

// The sections shown for a context, in stacking order; none at all is possible.
QVector<DetailsSection> detailsSections(const DetailsContext& context);

} // namespace tarnwick
