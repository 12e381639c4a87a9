#pragma once

#include <algorithm>
#include <cstdint>

namespace tarnwick::effectPixels {

inline std::uint8_t toByte(float v)
{
    if (!(v > 0))
        return 0;
    if (v >= 255)
        return 255;
    return static_cast<std::uint8_t>(v + 0.5f);
}

// Premultiplied colour may not exceed its alpha; rounding can push it over by a level.
inline void clampToAlpha(std::uint8_t* px)
{
    const std::uint8_t a = px[3];
    px[0] = std::min(px[0], a);
    px[1] = std::min(px[1], a);
    px[2] = std::min(px[2], a);
}

} // namespace tarnwick::effectPixels
