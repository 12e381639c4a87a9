#pragma once

#include "platform/ScreenGrabber.h"

#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <vector>

class QScreen;

namespace tarnwick::recording {

// What can be recorded at one moment: the lit monitors of the X screen. An X
// root grab cannot leave other programs' windows out, so there is no list of
// applications to exclude; our own windows stay out of the recorded area.
struct ShareableContent {
    std::vector<platform::Monitor> displays;
};

// A display found by its number, with the content it was found in.
struct CaptureDisplay {
    ShareableContent content;
    platform::Monitor display;
};

// The display number of `screen`: the id of the RandR monitor that shows it
// (matched by name, else by the screen's pixel rectangle), 0 for a screen
// without one.
// Synchronous; GUI thread.
std::uint32_t screenID(QScreen* screen);
std::uint32_t screenID(QScreen* screen, const std::vector<platform::Monitor>& monitors);

class RecordingContent {
public:
    // Reads the current content; throws TarnwickError (no X server, Wayland).
    using Fetch = std::function<ShareableContent()>;

    static constexpr int attempts = 3;
    static constexpr std::chrono::milliseconds retryPause{250};

    // Finds the display numbered `displayID`, fetching the content up to
    // three times 250 ms apart while it is not listed (a monitor that was
    // just plugged in). Blocks: run it on a worker thread. Throws the
    // fetch's TarnwickError at once, a TarnwickError when the display stays
    // absent, CancellationError when `stop` is requested during a pause.
    static CaptureDisplay display(std::uint32_t displayID, std::stop_token stop = {},
                                  const Fetch& fetch = currentContent);

    // The monitors the X server reports now, over a connection of its own.
    static ShareableContent currentContent();
};

} // namespace tarnwick::recording
