// Rows of glyphs by their shapes: the picture split at many grey levels, the shapes of
// each side of a split, glyph-sized ones put together into rows, and the rows that stand on
// one baseline over a plain ground kept.

#include "render/recognition/GlyphRows.h"

#include "render/recognition/WordRegions.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <optional>

namespace tarnwick::GlyphRows {

namespace {

// A run of pixels of one row on one side of a split; `to` is its last pixel.
struct Run {
    int y = 0;
    int from = 0;
    int to = 0;
    bool light = false;
};

struct Shape {
    QRect box;
    int pixels = 0;
    bool light = false;
};

// The 8-connected shapes of both sides of one split: runs of a row joined to the runs of the
// row above that touch them. The buffers live over all the splits of a picture.
class Splitter {
public:
    Splitter(const std::vector<uint8_t>& levels, int w, int h)
        : levels_(levels), w_(w), h_(h)
    {
    }

    std::vector<Shape> shapes(int threshold)
    {
        runs_.clear();
        parent_.clear();
        size_t above = 0;
        size_t aboveEnd = 0;
        for (int y = 0; y < h_; ++y) {
            const uint8_t* row = levels_.data() + size_t(y) * size_t(w_);
            const size_t rowStart = runs_.size();
            for (int x = 0; x < w_;) {
                const bool light = row[x] > threshold;
                const int from = x;
                while (x < w_ && (row[x] > threshold) == light)
                    ++x;
                const int current = int(runs_.size());
                runs_.push_back({y, from, x - 1, light});
                parent_.push_back(current);
                while (above < aboveEnd && runs_[above].to < from - 1)
                    ++above;
                for (size_t a = above; a < aboveEnd && runs_[a].from <= x; ++a) {
                    if (runs_[a].light == light)
                        unite(int(a), current);
                }
            }
            above = rowStart;
            aboveEnd = runs_.size();
        }
        std::vector<int> shapeOf(runs_.size(), -1);
        std::vector<Shape> found;
        for (size_t i = 0; i < runs_.size(); ++i) {
            const Run& run = runs_[i];
            int& index = shapeOf[size_t(root(int(i)))];
            if (index < 0) {
                index = int(found.size());
                found.push_back({QRect(run.from, run.y, run.to - run.from + 1, 1), 0, run.light});
            }
            Shape& shape = found[size_t(index)];
            shape.box |= QRect(run.from, run.y, run.to - run.from + 1, 1);
            shape.pixels += run.to - run.from + 1;
        }
        return found;
    }

private:
    int root(int i)
    {
        while (parent_[size_t(i)] != i) {
            parent_[size_t(i)] = parent_[size_t(parent_[size_t(i)])];
            i = parent_[size_t(i)];
        }
        return i;
    }

    void unite(int a, int b)
    {
        a = root(a);
        b = root(b);
        if (a != b)
            parent_[size_t(std::max(a, b))] = std::min(a, b);
    }

    const std::vector<uint8_t>& levels_;
    int w_;
    int h_;
    std::vector<Run> runs_;
    std::vector<int> parent_;
};

// A letter's size and make: not a dot, not a frame, not a filled block.
bool glyphSized(const Shape& shape)
{
    const int w = shape.box.width();
    const int h = shape.box.height();
    if (h < leastGlyphHeight || h > mostGlyphHeight || w > 2 * h)
        return false;
    const bool filled = 100 * shape.pixels > 85 * w * h;
    return !filled || 5 * w <= 2 * h;
}

using Colour = std::array<int, 3>;

// The colour round a glyph, and whether it is one colour to a few levels, as a screen
// draws a cell or a badge, rather than nearly one, as a smooth part of a photo is.
struct Ground {
    Colour colour{};
    bool flat = false;
};

struct Glyph {
    const Shape* shape = nullptr;
    Ground ground;
};

// The colour of the pixels of the other side round a glyph, in its box grown by two pixels
// and a pixel away from its own side, when nearly all of them are one colour (a highlight, a
// cell, a page, not a photo) and a fifth of the glyph's own pixels at least stand well off it
// (ink, not a shade of the ground).
std::optional<Ground> plainGround(const QImage& rgba, const std::vector<uint8_t>& levels, int threshold, const Shape& shape)
{
    const int w = rgba.width();
    const auto glyphSide = [&](int x, int y) { return (levels[size_t(y) * size_t(w) + size_t(x)] > threshold) == shape.light; };
    std::array<std::array<int, 256>, 3> counts{};
    int total = 0;
    const QRect box = shape.box.adjusted(-2, -2, 2, 2).intersected(rgba.rect().adjusted(1, 1, -1, -1));
    for (int y = box.top(); y <= box.bottom(); ++y) {
        const uchar* line = rgba.constScanLine(y);
        for (int x = box.left(); x <= box.right(); ++x) {
            bool ground = true;
            for (int dy = -1; dy <= 1 && ground; ++dy)
                for (int dx = -1; dx <= 1 && ground; ++dx)
                    ground = !glyphSide(x + dx, y + dy);
            if (!ground)
                continue;
            for (size_t c = 0; c < 3; ++c)
                ++counts[c][line[4 * x + int(c)]];
            ++total;
        }
    }
    if (total == 0)
        return std::nullopt;
    Colour median{};
    for (size_t c = 0; c < 3; ++c) {
        int seen = 0;
        while (2 * (seen + counts[c][size_t(median[c])]) <= total)
            seen += counts[c][size_t(median[c]++)];
    }
    // Per channel, the pixels within `tolerance` of the median; the fewest of the three.
    const auto near = [&](int tolerance) {
        int fewest = total;
        for (size_t c = 0; c < 3; ++c) {
            int count = 0;
            for (int level = std::max(0, median[c] - tolerance); level <= std::min(255, median[c] + tolerance); ++level)
                count += counts[c][size_t(level)];
            fewest = std::min(fewest, count);
        }
        return fewest;
    };
    if (100 * near(groundTolerance) < plainGroundPercent * total)
        return std::nullopt;
    int ink = 0;
    for (int y = shape.box.top(); y <= shape.box.bottom(); ++y) {
        const uchar* line = rgba.constScanLine(y);
        for (int x = shape.box.left(); x <= shape.box.right(); ++x) {
            if (!glyphSide(x, y))
                continue;
            int distance = 0;
            for (size_t c = 0; c < 3; ++c)
                distance = std::max(distance, std::abs(line[4 * x + int(c)] - median[c]));
            ink += distance >= inkContrast ? 1 : 0;
        }
    }
    if (5 * ink < shape.pixels)
        return std::nullopt;
    return Ground{median, 100 * near(flatTolerance) >= flatGroundPercent * total};
}

bool sameColour(const Colour& a, const Colour& b)
{
    for (size_t c = 0; c < 3; ++c) {
        if (std::abs(a[c] - b[c]) >= GlyphScan::frameTolerance)
            return false;
    }
    return true;
}

struct Row {
    std::vector<const Shape*> glyphs;
    QRect box;
    Colour ground{};
    bool flat = true;
};

// The middle height of glyphs `from` to the end of a row: a frame's side taken in with the
// letters sets no height of theirs.
int middleHeight(const Row& row, size_t from = 0)
{
    std::vector<int> heights;
    for (size_t i = from; i < row.glyphs.size(); ++i)
        heights.push_back(row.glyphs[i]->box.height());
    std::nth_element(heights.begin(), heights.begin() + std::ptrdiff_t(heights.size() / 2), heights.end());
    return heights[heights.size() / 2];
}

// Glyphs of one side, left to right, each joined to the first row on the same ground whose
// last three glyphs (where a slanted line goes on) share at least half its own rows and end
// at most one and a half of their middle height before it. Letters of one line differ in
// height by less than two and a half times; a field's frame beside them does not.
std::vector<Row> rowsOf(std::vector<Glyph> glyphs)
{
    std::sort(glyphs.begin(), glyphs.end(), [](const Glyph& a, const Glyph& b) { return a.shape->box.x() < b.shape->box.x(); });
    std::vector<Row> rows;
    for (const Glyph& glyph : glyphs) {
        const QRect& g = glyph.shape->box;
        Row* joined = nullptr;
        for (Row& row : rows) {
            const size_t last = row.glyphs.size() > 3 ? row.glyphs.size() - 3 : 0;
            QRect tail;
            for (size_t i = last; i < row.glyphs.size(); ++i)
                tail |= row.glyphs[i]->box;
            const int height = middleHeight(row, last);
            const int shared = std::min(tail.bottom(), g.bottom()) - std::max(tail.top(), g.top()) + 1;
            const int gap = g.left() - row.box.right() - 1;
            if (2 * shared >= g.height() && 2 * gap <= 3 * height && 2 * g.height() <= 5 * height && 2 * height <= 5 * g.height()
                && sameColour(row.ground, glyph.ground.colour)) {
                joined = &row;
                break;
            }
        }
        if (!joined) {
            rows.push_back({{}, g, glyph.ground.colour});
            joined = &rows.back();
        }
        joined->flat = joined->flat && glyph.ground.flat;
        joined->glyphs.push_back(glyph.shape);
        joined->box |= g;
    }
    return rows;
}

// Most glyphs of a line end where a neighbour ends (on the baseline, which may slant a little
// over a turned page), or start where a neighbour starts (capitals, figures).
bool onOneBaseline(const Row& row)
{
    const int tolerance = std::max(1, middleHeight(row) / 8);
    const auto aligned = [&](auto edge) {
        size_t near = 0;
        for (size_t i = 0; i < row.glyphs.size(); ++i) {
            const int own = edge(row.glyphs[i]->box);
            const bool before = i > 0 && std::abs(edge(row.glyphs[i - 1]->box) - own) <= tolerance;
            const bool after = i + 1 < row.glyphs.size() && std::abs(edge(row.glyphs[i + 1]->box) - own) <= tolerance;
            near += before || after ? 1 : 0;
        }
        return 5 * near >= 3 * row.glyphs.size();
    };
    return aligned([](const QRect& box) { return box.bottom(); }) || aligned([](const QRect& box) { return box.top(); });
}

// A row's box taken on over the glyph-sized shapes beside its ends on its line, whatever
// their ground: the first letter of a label that starts at the edge of its cell. A shape
// joins when it shares half its rows with the row, is no taller than one and a half of the
// row's middle height and stands at most as far from its end.
QRect withNeighbours(const Row& line, const std::vector<const Shape*>& shapes)
{
    const QRect& row = line.box;
    const int height = middleHeight(line);
    QRect box = row;
    for (bool grown = true; grown;) {
        grown = false;
        for (const Shape* shape : shapes) {
            const QRect& g = shape->box;
            if (box.contains(g))
                continue;
            const int shared = std::min(row.bottom(), g.bottom()) - std::max(row.top(), g.top()) + 1;
            const int gap = std::max(g.left() - box.right(), box.left() - g.right()) - 1;
            if (2 * shared >= g.height() && 2 * gap <= 3 * height && 2 * g.height() <= 3 * height) {
                box |= g;
                grown = true;
            }
        }
    }
    return box;
}

bool known(const Row& row, const std::vector<QRectF>& boxes)
{
    return std::all_of(row.glyphs.begin(), row.glyphs.end(), [&](const Shape* glyph) {
        const QPointF centre = QRectF(glyph->box).center();
        return std::any_of(boxes.begin(), boxes.end(), [&](const QRectF& box) { return box.contains(centre); });
    });
}

} // namespace

Found textRows(const QImage& image, const std::vector<QRectF>& knownBoxes)
{
    const int w = image.width();
    const int h = image.height();
    if (image.isNull() || w < 3 || h < 3)
        return {};
    const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
    const std::vector<uint8_t> levels = GlyphScan::luminance(rgba);
    if (levels.empty())
        return {};
    Splitter splitter(levels, w, h);
    Found found;
    std::vector<Row> alone;
    for (int threshold = levelStep; threshold < 256; threshold += levelStep) {
        const std::vector<Shape> shapes = splitter.shapes(threshold);
        for (const bool light : {false, true}) {
            std::vector<const Shape*> sized;
            std::vector<Glyph> glyphs;
            for (const Shape& shape : shapes) {
                // A shape on the picture's edge may be cut: it tells nothing of its ground.
                if (shape.light != light || !glyphSized(shape) || shape.box.left() == 0 || shape.box.top() == 0
                    || shape.box.right() == w - 1 || shape.box.bottom() == h - 1)
                    continue;
                sized.push_back(&shape);
                if (const std::optional<Ground> ground = plainGround(rgba, levels, threshold, shape))
                    glyphs.push_back({&shape, *ground});
            }
            for (Row& row : rowsOf(std::move(glyphs))) {
                if ((row.glyphs.size() > 1 && !onOneBaseline(row)) || known(row, knownBoxes))
                    continue;
                if (int(row.glyphs.size()) < leastGlyphs) {
                    if (row.flat)
                        alone.push_back(std::move(row));
                    continue;
                }
                const QRect line = withNeighbours(row, sized);
                // A little room for the antialiased edges and a dot or accent the row left out.
                const int side = std::max(2, middleHeight(row) / 4);
                const int above = std::max(1, middleHeight(row) / 8);
                const QRect box = line.adjusted(-side, -above, side, above).intersected(image.rect());
                if (std::none_of(found.lines.begin(), found.lines.end(), [&](const QRect& other) { return other.contains(box); }))
                    found.lines.push_back(box);
            }
        }
    }
    // Each place of one or two glyphs once, unless a line already covers it: the same glyph
    // stands in the splits of every level between its ink and its ground.
    for (const Row& row : alone) {
        const QPoint centre = row.box.center();
        const auto holds = [&](const QRect& box) { return box.contains(centre); };
        if (std::none_of(found.lines.begin(), found.lines.end(), holds) && std::none_of(found.spots.begin(), found.spots.end(), holds))
            found.spots.push_back(row.box);
    }
    return found;
}

} // namespace tarnwick::GlyphRows
