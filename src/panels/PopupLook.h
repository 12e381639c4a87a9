#pragma once

class QApplication;

namespace tarnwick {

// How the windows that open over a window look and leave it, for every window of the program:
// - a menu (a text field's context menu and a drop-down's list included), a tool tip, a question
//   and a dialog opened from a dark surface take the dark palette; each is a window of its own and
//   takes no palette from the window that opened it. A question or dialog with no parent opens
//   over the program's windows, all dark, and is dark too;
// - once a menu or a dialog closes, a window shows, or a widget under the pointer moves, a widget
//   the pointer is no longer over loses its hover look: Qt tells of no leave while a menu holds
//   the pointer, nor when a widget moves from under a pointer that stays still.
// Installed once, by the program's look. GUI thread.
void installPopupLook(QApplication& app);

} // namespace tarnwick
