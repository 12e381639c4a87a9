#pragma once

#include "series/Enumerations.h"

namespace tarnwick {

// What a screen capture takes: an area, a window, or the text of an area. The
// editor's add-image menu asks the shell for the first two.
enum class ScreenCaptureMode { area, window, text };
template <> struct EnumInfo<ScreenCaptureMode> {
    static constexpr std::array<std::string_view, 3> names{"area", "window", "text"};
};

} // namespace tarnwick
