#pragma once

#include "render/BlurEffect.h"

#include <QImage>
#include <QRectF>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace tarnwick {

// The two object modes of the blur tool: find the object inside a selection and
// either fill it with the background around it or pixelate only the object.
// Everything runs on the caller's thread (the effects queue) and polls
// `isCancelled`, throwing CancellationError when it answers true.
class ObjectRemoval {
public:
    ObjectRemoval() = delete;

    // An RGBA image in memory: bytes R, G, B, A with premultiplied alpha, rows
    // from the top, 4 × width bytes per row.
    struct Pixels {
        int width = 0;
        int height = 0;
        std::vector<uint8_t> bytes;

        Pixels() = default;
        Pixels(int width, int height, std::vector<uint8_t> bytes)
            : width(width), height(height), bytes(std::move(bytes)) {}
        // The image drawn at width × height (its own size where not given), with
        // smooth scaling. Throws TarnwickError.
        explicit Pixels(const QImage& image, std::optional<int> width = std::nullopt,
                        std::optional<int> height = std::nullopt);

        // An effect bitmap over a copy of the bytes. Throws TarnwickError.
        QImage image() const;
    };

    // True for the pixels of a width × height grid that `rect` touches.
    static std::vector<bool> rectangleMask(const QRectF& rect, int width, int height);

    // Object erase. `image` is the effect engine's whole source image and `rect`
    // the effect rectangle in its pixels. The effect holds the pixels of the
    // selection (`rect` made integral and clipped) with the object filled in.
    static BlurEffect remove(const QImage& image, const QRectF& rect, const std::function<bool()>& isCancelled);

    // Object pixelation with squares of `block` pixels.
    static BlurEffect pixelate(const QImage& image, const QRectF& rect, double block,
                               const std::function<bool()>& isCancelled);

    // Fills the `mask` pixels with copies of pixels that are neither in `mask`
    // nor in `excluded`, patch by patch from the edge of the hole inwards.
    // The input is not changed. Throws TarnwickError or CancellationError.
    static Pixels inpaint(const Pixels& pixels, const std::vector<bool>& mask, const std::vector<bool>& excluded,
                          const std::function<bool()>& isCancelled);
};

} // namespace tarnwick
