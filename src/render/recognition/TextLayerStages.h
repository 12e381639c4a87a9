#pragma once

// The stages of the text layer, each in a file of its own, in the order they run:
// the ink of each pixel and the fills that hold labels (LayerFills.cpp); the shapes of ink
// and which of them are glyphs (LayerShapes.cpp); glyphs chained into lines and kept to
// one size, baseline and colour (LayerLines.cpp); letters cut from taller shapes they run
// into (LayerCuts.cpp); controls, glyphs alone and marks (LayerMarks.cpp); the ground of
// each line and whether it is text (LayerGrounds.cpp); the lines laid on paper
// (TextLayer.cpp). They share one `Layer`, which each stage takes and leaves changed.

#include "render/recognition/ReadingStages.h"

#include <QImage>
#include <QRect>

#include <cstdint>
#include <vector>

namespace tarnwick::ScreenTextRecognizer::stages::layer {

// A pixel is ink when it stands this far from the mean of the square around it,
// darker (dark text) or lighter (light text on a button, a bar, a photo).
inline constexpr int inkContrast = 24;
// Half the side of that square: wider than the stroke of a bold heading.
inline constexpr int surround = 15;
// A line's ink stands at least this far from the ground round it.
inline constexpr int groundContrast = 36;
// Shapes lower than this are marks (dots, commas, accents) that belong to a line
// but never make one.
inline constexpr int leastGlyph = 4;
inline constexpr int tallestGlyph = 160;
// Glyphs of a line stand at most this many heights apart.
inline constexpr int joinGap = 3;
// Glyphs from this height up have strokes with a core of the text's own colour.
inline constexpr int lineCore = 9;
// A line of fewer glyphs is a word or two.
inline constexpr int fewGlyphs = 8;
// Rows of letters chained into one line are parted where each holds this many glyphs.
inline constexpr int leastRow = 3;
// Levels this close to the median of a line's ground are that ground, plain.
inline constexpr int plainGround = 12;
// The peaks of the letters of one text on a photo, of lineCore rows and more, lie this close.
inline constexpr int colourStep = 96;
// Strokes this wide and thinner are spread over their neighbours by smoothing.
inline constexpr int thinStroke = 2;
// Pixels round a line's glyphs kept with it, so their antialiased edges read as drawn.
inline constexpr int halo = 2;

// The polarity of the pixels fills hold, by each fill's level (`unheld` elsewhere), and
// which fill holds each (-1 for none; the innermost of fills on fills; empty when there
// is no fill).
inline constexpr uint8_t unheld = 255;
struct FillInk {
    std::vector<uint8_t> ink;
    std::vector<int> holder;
};

// The fills of a grey picture that hold labels (badges, buttons, selections).
FillInk fillInk(const QImage& grey);
// Each pixel's polarity: 1 darker than the mean of the square round it by the ink
// contrast, 2 lighter, 0 neither. Pixels held by a fill keep the polarity it gave them.
std::vector<uint8_t> inkMap(const QImage& grey, std::vector<uint8_t> ink);

struct Shape {
    QRect box;
    int area = 0;
    bool light = false;
    int level = 0; // the level farthest from the ground among its pixels
    bool glyph = false;
    int fill = -1; // the fill that holds it, -1 on the page
    int line = -1;
    int under = -1; // a letter cut from a shape of the photo: the level round it
    bool offColour = false, cut = false, control = false, frame = false;
};

struct Line {
    QRect box;
    int count = 0;
    bool light = false;
    std::vector<size_t> shapes;
    int glyphHeight = 0;          // the typical height of its glyphs
    std::vector<size_t> crossing; // taller shapes across its rows, drawn within them
    bool kept = false, lone = false;
};

// Whether nine in ten of the levels lie within plainGround of `level`: a plain ground of it.
bool plainAt(const std::vector<int>& levels, int level);
inline bool inside(const QRect& inner, const QRect& outer)
{
    return inner.left() >= outer.left() && inner.right() <= outer.right() && inner.top() >= outer.top()
        && inner.bottom() <= outer.bottom();
}
bool glyphSized(const QRect& box);
// Whether three of these glyph bottoms lie within `near` of each other: letters on one baseline.
bool onOneBaseline(std::vector<int> bottoms, int near);

// What the stages find in one grey picture.
struct Layer {
    explicit Layer(const QImage& picture);

    const QImage& grey;
    const int w, h;
    FillInk fills;
    std::vector<int> label; // 0 ground, then shape number + 1
    std::vector<Shape> shapes;
    std::vector<Line> lines;
    std::vector<QRect> containers; // boxes round a label: filled boxes, frames, check boxes

    int& at(int x, int y) { return label[size_t(y) * size_t(w) + size_t(x)]; }
    int at(int x, int y) const { return label[size_t(y) * size_t(w) + size_t(x)]; }
    int level(int x, int y) const { return grey.constScanLine(y)[x]; }
    // A shape no glyph of any line.
    void drop(size_t i);
    // A line's box round its shapes again.
    void rebox(Line& line) const;
    // How far a level stands off a ground towards the line's ink.
    static int depth(bool light, int level, int ground) { return light ? level - ground : ground - level; }

    // The fill a box stands in, -1 for none; whether a pixel of the ring round a box counts
    // for its ground: in a fill (a selection that hugs its letters) only the fill's own do.
    int fillOf(const QRect& box) const;
    bool ofGround(int fill, int x, int y) const;
    // The levels of a ring round a line's box, a quarter of its height wide.
    std::vector<int> ringLevels(const QRect& box) const;
    // Whether that ring is of one level (a page, a fill), or of a level or two (a fill on
    // a page, a frame), not a photo, whose ground takes every level between its lights
    // and its darks.
    bool plainRing(const QRect& box) const;
    bool flatRing(const QRect& box) const;
    // Whether the ground in that ring, away from every shape and its smoothed edge, is plain.
    bool plainBetweenShapes(const QRect& box) const;
    // The levels of a line's glyphs, one each.
    std::vector<int> glyphLevels(const Line& line) const;

    // The shape of the pixels round (x, y) that `joins` takes, each labelled `id` as it is
    // taken; their indexes in `pixels` where asked.
    template <typename Joins>
    Shape flood(int x, int y, bool light, int id, const Joins& joins, std::vector<size_t>* pixels = nullptr)
    {
        Shape shape;
        shape.light = light;
        shape.level = light ? 0 : 255;
        int minX = x, maxX = x, minY = y, maxY = y;
        if (pixels)
            pixels->clear();
        at(x, y) = id;
        stack_.assign(1, size_t(y) * size_t(w) + size_t(x));
        while (!stack_.empty()) {
            const size_t p = stack_.back();
            stack_.pop_back();
            if (pixels)
                pixels->push_back(p);
            const int px = int(p % size_t(w)), py = int(p / size_t(w));
            ++shape.area;
            shape.level = light ? std::max(shape.level, level(px, py)) : std::min(shape.level, level(px, py));
            minX = std::min(minX, px), maxX = std::max(maxX, px), minY = std::min(minY, py), maxY = std::max(maxY, py);
            for (int ny = py - 1; ny <= py + 1; ++ny)
                for (int nx = px - 1; nx <= px + 1; ++nx)
                    if (joins(nx, ny)) {
                        at(nx, ny) = id;
                        stack_.push_back(size_t(ny) * size_t(w) + size_t(nx));
                    }
        }
        shape.box = QRect(QPoint(minX, minY), QPoint(maxX, maxY));
        return shape;
    }

private:
    std::vector<size_t> stack_;
};

// The indexes of the shapes that are glyphs, left to right.
std::vector<size_t> glyphsByLeft(const std::vector<Shape>& shapes);

// The stages, in order.
void findShapes(Layer& layer);
void dropContainersAndHollows(Layer& layer);
void chainLines(Layer& layer);
void keepLinesToOneSize(Layer& layer);
void cutLetters(Layer& layer);
void dropControls(Layer& layer);
void keepLinesAndMarks(Layer& layer);

// A line laid: its ground, its depth off it, and whether that ground is plain or flat.
struct Laid {
    size_t line;
    int groundLevel;
    int depth;
    bool plainRing;
    bool flatRing;
};
// The lines that are text, in `out` and as laid.
std::vector<Laid> textLines(Layer& layer, TextLayer& out);

} // namespace tarnwick::ScreenTextRecognizer::stages::layer
