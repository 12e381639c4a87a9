// Letters cut from what they run into: takes the lines and the taller shapes of their polarity
// beside them (the bright rim of a cup touching white words), gives the pieces of those shapes
// that are letters of the line, cut at the line's own level. Text keeps one colour, and what
// it touches shades off from it. Only pieces of a glyph's height within the line's rows join;
// the rest of the shape stays out. A shape across two lines (the rim through a heading and
// its caption) gives each its letters.

#include "render/recognition/TextLayerStages.h"

#include <array>

namespace tarnwick::ScreenTextRecognizer::stages::layer {

namespace {

// The levels a letter is cut at, as shares of the line's depth: first low, where its strokes
// of a pixel at 1× are spread over two columns and hold together; then near its core; then
// nearer still, where what it touches is almost as light (a cup's bright rim). Below the core
// only a piece of such thin strokes is taken, and one wider than a stroke: the side of a
// button's frame parts from its corners there. Cut near its core first, a thin letter falls
// into strokes, each taken for a letter of its own.
struct CutLevel {
    int over, under; // the share of the line's depth
    bool strokesOnly;
};
constexpr std::array<CutLevel, 3> cutLevels{{{2, 3, true}, {7, 8, false}, {15, 16, false}}};

// The typical run of pixels along the rows of a shape: the width of its strokes.
int strokeWidth(std::vector<size_t> pixels, int width)
{
    std::sort(pixels.begin(), pixels.end());
    std::vector<int> runs;
    for (size_t k = 0; k < pixels.size(); ++k) {
        if (k > 0 && pixels[k] == pixels[k - 1] + 1 && pixels[k] % size_t(width) != 0)
            ++runs.back();
        else
            runs.push_back(1);
    }
    return runs.empty() ? 0 : median(runs);
}

// Whether a piece's pixels lean: its top rows stand aside from its bottom rows by more than
// half its width, as a "/" does touching a field's frame and no side of a frame does.
bool slanted(const QRect& box, const std::vector<size_t>& pixels, int width)
{
    const int band = std::max(1, box.height() / 4);
    int64_t top = 0, bottom = 0, tops = 0, bottoms = 0;
    for (size_t p : pixels) {
        const int x = int(p % size_t(width)), y = int(p / size_t(width));
        if (y < box.top() + band)
            top += x, ++tops;
        else if (y > box.bottom() - band)
            bottom += x, ++bottoms;
    }
    if (!tops || !bottoms)
        return false;
    const double lean = std::abs(double(top) / double(tops) - double(bottom) / double(bottoms));
    return lean >= thinStroke && 2 * lean > box.width();
}

class Cutter {
public:
    Cutter(Layer& layer, size_t l, int groundLevel, int inkLevel)
        : layer_(layer)
        , l_(l)
        , ground_(groundLevel)
        , ink_(inkLevel)
        , depth_(Layer::depth(layer.lines[l].light, inkLevel, groundLevel))
        , gh_(layer.lines[l].glyphHeight)
    {
    }

    QRect reachOf(const QRect& box) const
    {
        return box.adjusted(-joinGap * gh_, -gh_ / 2, joinGap * gh_, gh_ / 2).intersected(QRect(0, 0, layer_.w, layer_.h));
    }

    // Cuts the letters of shape `i` within the area the line reaches, and on as far as the
    // letters cut then reach where the line stands on one baseline: the first letters of a
    // word can all run into one bright body («Смот» of «Смотреть» on a fur), further off the
    // rest of the line than the reach of its letters. Shapes of a photo chained as a "line"
    // would march on along its texture.
    void cutFrom(size_t i, const QRect& reach, bool reachOn)
    {
        Line& line = layer_.lines[l_];
        const QRect all = layer_.shapes[i].box;
        // A shape round the whole line is a frame (an outlined button's, of the text's own
        // colour): a bar at its side is its side, not a letter.
        const bool frames = all.left() < line.box.left() && all.right() > line.box.right() && all.top() < line.box.top()
            && all.bottom() > line.box.bottom();
        // The letters found at the levels before: a piece found at another one over them is
        // their antialiased edge, or them run into more of the shape.
        std::vector<QRect> found;
        for (QRect area = all.intersected(reach);;) {
            for (const CutLevel& level : cutLevels)
                cutAt(i, area, level, frames, found);
            const QRect further = all.intersected(reachOf(layer_.lines[l_].box));
            if (!reachOn || further == area)
                break;
            area = further;
        }
        if (layer_.shapes[i].cut)
            std::erase(layer_.lines[l_].crossing, i);
    }

private:
    void cutAt(size_t i, const QRect& area, const CutLevel& level, bool frames, std::vector<QRect>& found)
    {
        const int id = int(i) + 1;
        const bool light = layer_.lines[l_].light;
        const size_t earlier = found.size();
        const auto deep = [&](int x, int y) {
            return area.contains(x, y) && layer_.at(x, y) == id && level.under * Layer::depth(light, layer_.level(x, y), ground_) >= level.over * depth_;
        };
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) {
                if (!deep(x, y))
                    continue;
                const int pieceId = int(layer_.shapes.size()) + 1;
                Shape piece = layer_.flood(x, y, light, pieceId, deep, &pixels_);
                if (!letter(piece, layer_.shapes[i].box, area, level, frames)
                    || std::any_of(found.begin(), found.begin() + qsizetype(earlier), [&](const QRect& f) { return f.intersects(piece.box); })) {
                    // Not a letter: set aside, so that the scan does not start from its pixels
                    // again, and given back to the shape below.
                    for (size_t p : pixels_)
                        layer_.label[p] = -id;
                    continue;
                }
                found.push_back(piece.box);
                piece.under = groundUnder(piece, pieceId);
                piece.glyph = true;
                piece.line = int(l_);
                layer_.shapes.push_back(piece);
                Line& line = layer_.lines[l_];
                line.shapes.push_back(layer_.shapes.size() - 1);
                ++line.count;
                line.box = line.box.united(piece.box);
                layer_.shapes[i].cut = true;
            }
        // Pixels set aside while scanning belong to the shape again.
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                if (layer_.at(x, y) == -id)
                    layer_.at(x, y) = id;
    }

    // A piece running on out of the rows looked at is part of something larger (the page
    // round a button), not a letter; nor is one off a glyph's height or the line's rows.
    bool letter(const Shape& piece, const QRect& all, const QRect& area, const CutLevel& level, bool frames) const
    {
        const Line& line = layer_.lines[l_];
        const QRect& box = piece.box;
        const int covered = std::min(box.bottom(), line.box.bottom()) - std::max(box.top(), line.box.top()) + 1;
        const bool whole = (box.top() > area.top() || area.top() == all.top()) && (box.bottom() < area.bottom() || area.bottom() == all.bottom())
            && (box.left() > area.left() || area.left() == all.left()) && (box.right() < area.right() || area.right() == all.right());
        const bool strokes = !level.strokesOnly
            || (strokeWidth(pixels_, layer_.w) <= thinStroke && (box.width() > 3 * thinStroke || slanted(box, pixels_, layer_.w)));
        const bool side = frames && (box.left() == all.left() || box.right() == all.right()) && 4 * box.width() <= box.height();
        return whole && !side && 2 * box.height() >= gh_ && 5 * box.height() <= 11 * gh_ && 2 * covered >= gh_ && glyphSized(box) && strokes;
    }

    // What a cut letter stands on: the median level round it, past its antialiased edge,
    // where that lies between the line's ground and its ink (the bright body it was cut
    // from); the line's ground elsewhere.
    int groundUnder(const Shape& piece, int pieceId) const
    {
        const QRect box = piece.box.adjusted(-halo, -halo, halo, halo).intersected(QRect(0, 0, layer_.w, layer_.h));
        const auto ofPiece = [&](int x, int y) { return x >= 0 && y >= 0 && x < layer_.w && y < layer_.h && layer_.at(x, y) == pieceId; };
        std::vector<int> levels;
        for (int y = box.top(); y <= box.bottom(); ++y)
            for (int x = box.left(); x <= box.right(); ++x) {
                bool edge = false;
                for (int ny = y - 1; ny <= y + 1 && !edge; ++ny)
                    for (int nx = x - 1; nx <= x + 1 && !edge; ++nx)
                        edge = ofPiece(nx, ny);
                if (!edge)
                    levels.push_back(layer_.level(x, y));
            }
        if (levels.empty())
            return ground_;
        const int level = median(levels);
        const bool between = piece.light ? level >= ground_ + groundContrast && level < ink_ : level <= ground_ - groundContrast && level > ink_;
        return between ? level : ground_;
    }

    Layer& layer_;
    const size_t l_;
    const int ground_, ink_, depth_, gh_;
    std::vector<size_t> pixels_;
};

} // namespace

void cutLetters(Layer& layer)
{
    const size_t firstPiece = layer.shapes.size();
    for (size_t l = 0; l < layer.lines.size(); ++l) {
        const Line& line = layer.lines[l];
        if (line.count < 2)
            continue;
        const std::vector<int> ring = layer.ringLevels(line.box), inkLevels = layer.glyphLevels(line);
        if (ring.empty() || inkLevels.empty())
            continue;
        const int groundLevel = median(ring), inkLevel = median(inkLevels);
        if (Layer::depth(line.light, inkLevel, groundLevel) < groundContrast)
            continue;
        std::vector<int> bottoms;
        for (size_t k : line.shapes)
            bottoms.push_back(layer.shapes[k].box.bottom());
        const bool reachOn = onOneBaseline(bottoms, std::max(2, line.glyphHeight / 8));
        Cutter cutter(layer, l, groundLevel, inkLevel);
        const QRect reach = cutter.reachOf(line.box);
        for (size_t i = 0; i < firstPiece; ++i) {
            // A glyph of another line is its own, unless that line is a shape or two over
            // twice as tall as these letters: a bright stripe of the photo they run into, on
            // a photo no word, and no letter of a size with them.
            const Shape& s = layer.shapes[i];
            const Line* other = s.line >= 0 ? &layer.lines[size_t(s.line)] : nullptr;
            const bool ownLine = other && (other->count >= leastRow || 5 * other->glyphHeight <= 11 * line.glyphHeight);
            if (s.light != line.light || ownLine || s.offColour || s.box.height() <= line.box.height() || !s.box.intersects(reach))
                continue;
            cutter.cutFrom(i, reach, reachOn);
        }
    }
}

} // namespace tarnwick::ScreenTextRecognizer::stages::layer
