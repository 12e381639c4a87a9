#pragma once

#include "series/Annotation.h"

#include <Qt>
#include <algorithm>
#include <initializer_list>

// Small helpers shared by the canvas's gesture files.
namespace tarnwick::gestures {

inline bool oneOf(AnnotationTool kind, std::initializer_list<AnnotationTool> kinds)
{
    return std::find(kinds.begin(), kinds.end(), kind) != kinds.end();
}

// The "Command" of the drawing gestures is Ctrl here.
inline bool straightening(Qt::KeyboardModifiers modifiers) { return modifiers.testFlag(Qt::ControlModifier); }

} // namespace tarnwick::gestures
