#pragma once

#include <QImage>
#include <QRect>
#include <QRectF>
#include <cstdint>
#include <functional>
#include <vector>

namespace tarnwick {

namespace ScreenTextRecognizer {

// The rectangles holding text, word by word, inside `rect` (pixels, origin top
// left) of `image`, for blurring only the words of a selection. The rectangles are
// normalised to `rect` in the recogniser's space (0…1 on each axis, origin at its
// lower-left corner): all word boxes of the first reading, then the boxes of small
// glyphs on plain backgrounds that it missed. Nothing is merged or removed.
// Throws TarnwickError (missing language data, oversized area) and
// CancellationError once `isCancelled` answers true; it may be asked from several
// reading threads at once.
std::vector<QRectF> wordRegions(const QImage& image, const QRect& rect, const std::function<bool()>& isCancelled);

} // namespace ScreenTextRecognizer

// The pixel pass of the word regions: small, high-contrast shapes on a plain
// background. Boxes are in pixels with the origin at the top left.
namespace GlyphScan {

// A pixel is an edge when its luminance differs by at least this much from one of
// the four pixels two steps away.
inline constexpr int edgeContrast = 36;
// Per channel, a frame pixel matches the frame's median colour below this distance.
inline constexpr int frameTolerance = 23;
// Share of matching frame pixels, in percent, for a plain background.
inline constexpr int plainFramePercent = 85;
inline constexpr int frameMargin = 8;
inline constexpr double knownBoxMargin = 3;

// L = (77·R + 150·G + 29·B) >> 8 of each pixel, from the premultiplied bytes.
std::vector<uint8_t> luminance(const QImage& rgba);

// One byte per pixel, 1 on edges; the outer two rows and columns stay 0.
std::vector<uint8_t> edgeMask(const std::vector<uint8_t>& luminance, int width, int height);

// Bounding boxes of the 8-connected components of the mask, in scan order of their
// first pixel. Clears the mask.
std::vector<QRect> components(std::vector<uint8_t>& mask, int width, int height);

// A large, roughly square shape.
bool isIconBox(const QRect& box);
// A shape of glyph size whose centre lies in none of the known boxes.
bool isGlyphBox(const QRect& box, const std::vector<QRectF>& knownBoxes);

// The spots worth reading: each glyph box not inside an icon box, grown by the
// frame margin and kept when its frame is nearly one colour. `recognizedBoxes` are
// the boxes of the first reading in the recogniser's space. Empty for images under
// 5 pixels a side.
std::vector<QRect> candidateRegions(const QImage& image, const std::vector<QRectF>& recognizedBoxes);

} // namespace GlyphScan

} // namespace tarnwick
