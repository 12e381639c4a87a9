#pragma once

#include "series/Annotation.h"

#include <Qt>

// Small helpers shared by the canvas's gesture files.
namespace tarnwick::gestures {

// The "Command" of the drawing gestures is Ctrl here.
inline bool straightening(Qt::KeyboardModifiers modifiers) { return modifiers.testFlag(Qt::ControlModifier); }

} // namespace tarnwick::gestures
