#pragma once

#include "platform/X11Connection.h"

#include <functional>

namespace tarnwick {

// Whether Tarnwick may read the screen. The X server has nothing to ask the
// user, so a request only asks the server once more; it is made at most once
// per run. GUI thread.
class ScreenCapturePermission {
public:
    ScreenCapturePermission();

    // Whether access is there; a request runs the first time it is missing.
    bool request();

    std::function<bool()> preflight;
    std::function<void()> ask;
    bool requested = false;

private:
    platform::X11Connection connection_;
};

} // namespace tarnwick
