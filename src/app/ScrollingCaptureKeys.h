#pragma once

#include "platform/GlobalHotKeys.h"

#include <functional>
#include <memory>

namespace tarnwick {

// Return and Escape for the whole display while a scrolling capture runs, so
// the user can finish or cancel without leaving the page being scrolled.
// Destroying the object gives both keys back at once. GUI thread only.
class ScrollingCaptureKeys {
public:
    ScrollingCaptureKeys(std::function<void()> finish, std::function<void()> cancel,
                         std::unique_ptr<platform::GlobalHotKeys> keys = platform::makeGlobalHotKeys());

private:
    std::unique_ptr<platform::GlobalHotKeys> keys_;
};

} // namespace tarnwick
