#pragma once

#include <QImage>
#include <QRect>
#include <QRectF>
#include <vector>

namespace tarnwick::GlyphRows {

// Grey levels between two splits of the picture: a ground and its letters this far apart
// always fall on either side of one.
inline constexpr int levelStep = 16;
// Glyph heights in pixels, and how many glyphs make a row.
inline constexpr int leastGlyphHeight = 5;
inline constexpr int mostGlyphHeight = 64;
inline constexpr int leastGlyphs = 3;
// A plain ground: this share of it, in percent, within this many levels of its median on
// every channel.
inline constexpr int plainGroundPercent = 85;
inline constexpr int groundTolerance = 12;
// Ink stands at least this far off its ground on one channel.
inline constexpr int inkContrast = 48;

// Lines of text found by their shapes alone, for covering what no reading saw: rows of at
// least three glyph-sized shapes on one baseline, lighter or darker than a plain ground of
// any colour between them (a selection highlight that hugs its letters, a terminal's
// coloured cell, a key bar), split at every `levelStep` grey levels. Boxes in pixels, origin
// top left, grown a little round the glyphs; a row whose every glyph centre lies in one of
// `known` (pixel boxes) is left out. Empty for a null image.
std::vector<QRect> textRows(const QImage& image, const std::vector<QRectF>& known);

} // namespace tarnwick::GlyphRows
