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
// One glyph or two alone stand on a flat ground: this share of it within this many levels.
inline constexpr int flatGroundPercent = 90;
inline constexpr int flatTolerance = 4;
// Ink stands at least this far off its ground on one channel.
inline constexpr int inkContrast = 48;

// Text found by its shapes alone, for covering what no reading saw: glyph-sized shapes
// lighter or darker than a plain ground of any colour round them (a selection highlight that
// hugs its letters, a terminal's coloured cell, a key bar), split at every `levelStep` grey
// levels. Rows of at least three on one baseline look like a line of text; one or two alone
// on a flat ground (a figure in a table's cell, a column's letter) only a reading can tell
// from an icon. Boxes in pixels, origin top left: lines grown a little round their glyphs,
// spots just round theirs. A row whose every glyph centre lies in one of `known` (pixel
// boxes) is left out. Empty for a null image.
struct Found {
    std::vector<QRect> lines;
    std::vector<QRect> spots;
};
Found textRows(const QImage& image, const std::vector<QRectF>& known);

} // namespace tarnwick::GlyphRows
