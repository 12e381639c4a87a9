#pragma once

#include <functional>

class QWidget;

namespace tarnwick {

// Keeps a popup window beside the widget it belongs to: while `popup` is shown, `place` runs
// again whenever `anchor`, or any widget it lies in up to its window, moves or changes size,
// the window moved by the window manager included. It runs once the events at hand are handled,
// when the layouts they ask for have placed the anchor. Lives as long as `popup`. GUI thread.
void followAnchor(QWidget& popup, QWidget& anchor, std::function<void()> place);

} // namespace tarnwick
