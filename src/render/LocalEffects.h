#pragma once

#include "render/BlurEffect.h"
#include "render/ImageContext.h"
#include "series/Annotation.h"

#include <QImage>
#include <QRect>
#include <QRectF>
#include <QSizeF>
#include <QVector>
#include <functional>

// The pixel work of one blur element. Every bitmap made here is
// QImage::Format_RGBA8888_Premultiplied: bytes R, G, B, A in memory, colour
// premultiplied, top row first.
namespace tarnwick {

// Answers true once the caller no longer wants the result; long work polls it
// and then throws CancellationError.
using CancellationTest = std::function<bool()>;

// The modes whose work lives in other parts of the renderer. They default to
// the real word regions and object removal; tests put fakes in their place to
// drive the engine's timing. A mode whose hook is cleared fails with a Russian
// sentence.
struct LocalEffectHooks {
    // Word boxes of an image (the crop of the selection), normalised to it: the
    // unit square with the origin at the lower left, y upward. May throw.
    std::function<QVector<QRectF>(const QImage& image, const CancellationTest& isCancelled)> wordRegions = {};
    // Removes the object inside `rect` (pixels of the whole `image`); the effect
    // carries its own rectangle and notice.
    std::function<BlurEffect(const QImage& image, const QRectF& rect, const CancellationTest& isCancelled)> objectErase = {};
    // Pixelates only the object inside `rect`, in squares of `block` pixels.
    std::function<BlurEffect(const QImage& image, const QRectF& rect, double block, const CancellationTest& isCancelled)>
        objectPixelate = {};
};

// The hooks wired to the real implementations.
LocalEffectHooks standardEffectHooks();
// Thread-safe; computeLocal reads the hooks once per call.
void setLocalEffectHooks(LocalEffectHooks hooks);
LocalEffectHooks localEffectHooks();

// Radii and block sizes follow the whole shot's pixel width, so every engine of
// one shot uses the same ones.
double areaBlurRadius(double shotWidth);
double textBlurRadius(double shotWidth);
double pixelBlockSize(double shotWidth);

// A cleared bitmap of the effect format. Throws when a side is below 1 or the
// memory cannot be had.
QImage effectContext(int width, int height);

// Runs an effect renderer on the primary image context and, when that yields no
// image (or runs out of memory), once more on the software one; throws when both fail.
QImage filteredImage(const std::function<QImage(const ImageContext&)>& renderer);

// The image in the effect format (the same image when it already is).
QImage effectFormat(const QImage& image);

// `region` of `image` blurred with a Gaussian of standard deviation `sigma`,
// the image extended beyond `bounds` by repeating its edge pixels. `image` is in
// the effect format; `bounds` lies inside it. Only `region` plus the filter's
// reach is read; wide blurs run on a reduced grid. Sigma is capped at 512.
// An empty image when the arguments do not fit or the blur cannot be made.
QImage blurredRegion(const QImage& image, const QRect& bounds, const QRect& region, double sigma);
// The same for pictures that must never go out sharp: a blur that cannot be made (its
// module missing, no memory for it) throws TarnwickError with the reason instead.
QImage requiredBlurredRegion(const QImage& image, const QRect& bounds, const QRect& region, double sigma);

// The crop turned into squares of `block` pixels on a grid starting at its
// lower-left corner, each square the colour of the crop blurred by block / 2 at
// the square's centre.
QImage pixelatedCrop(const QImage& crop, double block);

// `region` of `image` rebuilt from the lines just outside it as a Coons patch.
// Throws when the region covers the whole image.
QImage erasedRegion(const QImage& image, const QRect& region);

// The blurred crop drawn over the crop through each word box (normalised, origin
// lower left), grown by 2 pixels; the rest of the crop stays sharp.
QImage textBlurred(const QImage& crop, const QImage& blurredCrop, const QVector<QRectF>& words);

// The effect of one blur element over `source`, the engine's image of pixel size
// `size`. The element's rectangle is in the same pixels; `styleSize` is the
// whole shot's size. Throws TarnwickError, the hooks' errors, or
// CancellationError from the object modes.
BlurEffect computeLocal(const Annotation& annotation, const QImage& source, const QSizeF& size,
                        const QSizeF& styleSize, const CancellationTest& isCancelled);

} // namespace tarnwick
