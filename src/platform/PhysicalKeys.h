#pragma once

class QKeyEvent;

namespace tarnwick::platform {

// The Qt key of the key pressed as the first keyboard group (the Latin layout)
// names it, so that Ctrl+C, Ctrl+Z and the like stay on their keys while the
// Russian group is active. Keys that already name a Latin character or a
// function key, and events without an X key code (synthesised ones), keep their
// own key. Letters come out upper case, as Qt names them. GUI thread.
int latinKey(const QKeyEvent& event);

} // namespace tarnwick::platform
