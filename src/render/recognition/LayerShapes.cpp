// The shapes of a picture's ink: takes the polarity of each pixel, gives its shapes, those of a
// glyph's size marked as glyphs, and no box round a label nor hollow of a letter among them.

#include "render/recognition/TextLayerStages.h"

#include <array>

namespace tarnwick::ScreenTextRecognizer::stages::layer {

namespace {

// A glyph is at most this many times as wide as tall: the letters of a small word run
// together; a rule or a bar is wider.
constexpr double widestGlyph = 12.0;
// And at most this many times as tall as wide: an "l" of a pixel's stroke stands under
// twenty pixels; the side of a frame or a list stands taller.
constexpr int tallestStroke = 24;
// A larger shape this sparse is the frame of a box, not a letter.
constexpr double sparsestGlyph = 0.1;
constexpr int smallestFrame = 12;
// A shape filling this much of its box is a fill (a button, a bar), not a letter.
constexpr double solidBox = 0.85;
// Below this height a dense shape is a small letter ("в", "ш" of a 9 px font, "м" and "я"
// of a bold 13 px one): a fill holds a label, and no label fits so low a patch.
constexpr int smallestFill = 9;

// Its height there is that of the rows it spans side to side (within half its height, the
// round end of a pill), where what stands out of them is a letter's stroke or two: a
// descender under a few letters run together («юдж») makes their box taller, not their body.
int bodyHeight(const Layer& layer, const Shape& o, int id)
{
    const int reach = o.box.height() / 2;
    int rows = 0, outside = 0, from = layer.w, to = -1;
    for (int y = o.box.top(); y <= o.box.bottom(); ++y) {
        bool left = false, right = false;
        for (int x = o.box.left(); x <= o.box.left() + reach && !left; ++x)
            left = layer.at(x, y) == id;
        for (int x = o.box.right(); x >= o.box.right() - reach && !right; --x)
            right = layer.at(x, y) == id;
        if (left && right) {
            ++rows;
            continue;
        }
        for (int x = o.box.left(); x <= o.box.right(); ++x)
            if (layer.at(x, y) == id) {
                ++outside;
                from = std::min(from, x);
                to = std::max(to, x);
            }
    }
    return 5 * outside < o.area && to - from < o.box.height() ? rows : o.box.height();
}

// A box drawn round nothing of its own (a check box): each side four fifths covered, its
// middle empty. No letter is closed so square; round ones leave their corners.
bool outline(const Layer& layer, const Shape& o, int id)
{
    const QRect& b = o.box;
    if (b.width() < leastGlyph || b.height() < leastGlyph || 2 * b.width() < b.height() || 2 * b.height() < b.width())
        return false;
    const auto covered = [&](int x0, int y0, int dx, int dy, int n) {
        int on = 0;
        for (int k = 0; k < n; ++k)
            on += layer.at(x0 + k * dx, y0 + k * dy) == id;
        return 5 * on >= 4 * n;
    };
    if (!covered(b.left(), b.top(), 1, 0, b.width()) || !covered(b.left(), b.bottom(), 1, 0, b.width())
        || !covered(b.left(), b.top(), 0, 1, b.height()) || !covered(b.right(), b.top(), 0, 1, b.height()))
        return false;
    const int edge = std::max(1, b.height() / 6);
    for (int y = b.top() + edge; y <= b.bottom() - edge; ++y)
        for (int x = b.left() + edge; x <= b.right() - edge; ++x)
            if (layer.at(x, y) == id)
                return false;
    return true;
}

// A letter's shadow is the letter moved a little aside, and pieces of it fall within the
// letter's box (under the arms of a «у»): they are no label held. Each pixel of such a piece,
// moved back by the shadow's offset, lands on the letter, and moved on by it, out of the
// piece, lands off. A label in a box and a letter's hollows are ringed by the shape on every
// side. The offsets (within `shift`) by which piece `j` is a shadow of shape `o`, one bit each.
std::vector<bool> shadowOffsets(const Layer& layer, size_t o, size_t j, int shift)
{
    const int side = 2 * shift + 1, oid = int(o) + 1, jid = int(j) + 1;
    std::vector<bool> by(size_t(side * side), false);
    const Shape& s = layer.shapes[j];
    if (s.light == layer.shapes[o].light)
        return by;
    const auto labelAt = [&](int x, int y) { return x >= 0 && x < layer.w && y >= 0 && y < layer.h ? layer.at(x, y) : 0; };
    for (int dy = -shift; dy <= shift; ++dy)
        for (int dx = -shift; dx <= shift; ++dx) {
            if (!dx && !dy)
                continue;
            int back = 0, on = 0;
            for (int y = s.box.top(); y <= s.box.bottom(); ++y)
                for (int x = s.box.left(); x <= s.box.right(); ++x)
                    if (labelAt(x, y) == jid) {
                        back += labelAt(x - dx, y - dy) == oid;
                        // On across the piece and the blur round it: a hollow ends on the
                        // letter's far stroke.
                        int fx = x + dx, fy = y + dy;
                        while (labelAt(fx, fy) == jid)
                            fx += dx, fy += dy;
                        for (int blur = 0; blur < 2 && !labelAt(fx, fy) && fx >= 0 && fx < layer.w && fy >= 0 && fy < layer.h; ++blur)
                            fx += dx, fy += dy;
                        on += labelAt(fx, fy) == oid;
                    }
            by[size_t((dy + shift) * side + dx + shift)] = 4 * back >= 3 * s.area && 4 * on <= s.area;
        }
    return by;
}

// Whether shape `byLeft[k]` holds a label among the glyphs that follow it by their left
// edge (`byLeft`), counting those at most half `height` tall.
bool holdsALabel(const Layer& layer, const std::vector<size_t>& byLeft, size_t k, int height)
{
    const size_t oi = byLeft[k];
    const Shape& o = layer.shapes[oi];
    std::vector<size_t> held;
    for (size_t j = k + 1; j < byLeft.size() && layer.shapes[byLeft[j]].box.left() <= o.box.right(); ++j)
        if (inside(layer.shapes[byLeft[j]].box, o.box) && layer.shapes[byLeft[j]].box.height() * 2 <= height)
            held.push_back(byLeft[j]);
    // Two shapes of its own polarity in an outline twice as wide as tall, a quarter of it
    // filled at most: a short label in its button's frame ("OK"). A letter's hollows and the
    // shadow of its strokes are of the other polarity.
    if (o.box.width() >= 2 * o.box.height() && 4 * qint64(o.area) <= qint64(o.box.width()) * o.box.height()
        && std::count_if(held.begin(), held.end(), [&](size_t j) { return layer.shapes[j].light == o.light; }) >= 2)
        return true;
    if (held.size() < 3)
        return false;
    // Whatever offset the shadow has, three pieces and more are no part of it.
    const int shift = std::clamp(o.box.height() / 10, 1, 4);
    std::vector<int> unexplained(size_t((2 * shift + 1) * (2 * shift + 1)), 0);
    int plain = 0;
    for (size_t j : held) {
        const std::vector<bool> by = shadowOffsets(layer, oi, j, shift);
        if (std::none_of(by.begin(), by.end(), [](bool b) { return b; }) && ++plain >= 3)
            return true;
        for (size_t d = 0; d < by.size(); ++d)
            unexplained[d] += !by[d];
    }
    return std::all_of(unexplained.begin(), unexplained.end(), [](int n) { return n >= 3; });
}

// The shape a few pixels left (`step` -1) or right (1) of a shape's middle row, across the
// unmarked antialiased edge; -1 for none.
int around(const Layer& layer, const Shape& s, int step)
{
    const int y = (s.box.top() + s.box.bottom()) / 2;
    for (int x = step < 0 ? s.box.left() - 1 : s.box.right() + 1, k = 0; x >= 0 && x < layer.w && k <= 3; x += step, ++k)
        if (const int id = layer.at(x, y))
            return id - 1;
    return -1;
}

// The levels of the pixels just outside a box, its four sides apart, within the picture.
std::array<std::vector<int>, 4> frameSides(const Layer& layer, const QRect& box, bool corners)
{
    const QRect frame = box.adjusted(-1, -1, 1, 1);
    std::array<std::vector<int>, 4> sides;
    const int from = corners ? frame.left() : box.left(), to = corners ? frame.right() : box.right();
    for (int x = std::max(0, from); x <= std::min(layer.w - 1, to); ++x) {
        if (frame.top() >= 0)
            sides[0].push_back(layer.level(x, frame.top()));
        if (frame.bottom() < layer.h)
            sides[1].push_back(layer.level(x, frame.bottom()));
    }
    for (int y = std::max(0, box.top()); y <= std::min(layer.h - 1, box.bottom()); ++y) {
        if (frame.left() >= 0)
            sides[2].push_back(layer.level(frame.left(), y));
        if (frame.right() < layer.w)
            sides[3].push_back(layer.level(frame.right(), y));
    }
    return sides;
}

// The median level just outside a box: the ground a shape stands on. A shape of the
// ground's level round another is the ground round a letter (the white round a large word),
// not a letter round its hollow.
int frameLevel(const Layer& layer, const QRect& box)
{
    std::vector<int> levels;
    for (const std::vector<int>& side : frameSides(layer, box, true))
        levels.insert(levels.end(), side.begin(), side.end());
    return levels.empty() ? 255 : median(levels);
}

// The ground inside a frame (a field's white by its grey frame and the panel past it) stands
// off the mean round it there, and makes a shape that holds the letters next to the frame as
// a letter holds its hollows. Past a side of its box it runs on into the ground of its own
// level; a letter ends on the ground round it on every side.
bool runsOn(const Layer& layer, const Shape& o)
{
    const auto sides = frameSides(layer, o.box, false);
    return std::any_of(sides.begin(), sides.end(), [&](const std::vector<int>& side) { return !side.empty() && plainAt(side, o.level); });
}

} // namespace

bool glyphSized(const QRect& box)
{
    return box.height() >= leastGlyph && box.height() <= tallestGlyph && box.width() <= widestGlyph * box.height()
        && box.height() <= tallestStroke * box.width();
}

void findShapes(Layer& layer)
{
    const std::vector<uint8_t> ink = inkMap(layer.grey, std::move(layer.fills.ink));
    // Light and dark ink never touch as one shape, since a pixel is only one of them.
    for (int y = 0; y < layer.h; ++y)
        for (int x = 0; x < layer.w; ++x) {
            const size_t start = size_t(y) * size_t(layer.w) + size_t(x);
            const int polarity = layer.label[start] ? 0 : ink[start];
            if (!polarity)
                continue;
            Shape shape = layer.flood(x, y, polarity == 2, int(layer.shapes.size()) + 1, [&](int nx, int ny) {
                const size_t n = size_t(ny) * size_t(layer.w) + size_t(nx);
                return nx >= 0 && ny >= 0 && nx < layer.w && ny < layer.h && !layer.label[n] && ink[n] == polarity;
            });
            shape.glyph = glyphSized(shape.box);
            shape.fill = layer.fills.holder.empty() ? -1 : layer.fills.holder[start];
            layer.shapes.push_back(shape);
        }
}

std::vector<size_t> glyphsByLeft(const std::vector<Shape>& shapes)
{
    std::vector<size_t> glyphs;
    for (size_t i = 0; i < shapes.size(); ++i)
        if (shapes[i].glyph)
            glyphs.push_back(i);
    std::sort(glyphs.begin(), glyphs.end(), [&](size_t a, size_t b) { return shapes[a].box.left() < shapes[b].box.left(); });
    return glyphs;
}

void dropContainersAndHollows(Layer& layer)
{
    // A box, a frame or a panel round a label is no glyph, even of a glyph's size: it holds
    // glyphs at most half its height (a letter holds at most two hollows, and the hollows of
    // small letters run together stand more than half as tall as the word), or it is filled
    // whole as no letter wider than a stroke is.
    std::vector<Shape>& shapes = layer.shapes;
    const std::vector<size_t> byLeft = glyphsByLeft(shapes);
    std::vector<bool> container(shapes.size(), false);
    for (size_t k = 0; k < byLeft.size(); ++k) {
        const Shape& o = shapes[byLeft[k]];
        const int id = int(byLeft[k]) + 1;
        const double filled = double(o.area) / (double(o.box.width()) * o.box.height());
        container[byLeft[k]] = (filled > solidBox && 5 * o.box.width() > 3 * o.box.height() && o.box.height() >= smallestFill)
            || (filled < sparsestGlyph && o.box.height() >= smallestFrame) || outline(layer, o, id)
            || (holdsALabel(layer, byLeft, k, o.box.height()) && holdsALabel(layer, byLeft, k, bodyHeight(layer, o, id)));
    }
    for (size_t i = 0; i < shapes.size(); ++i)
        if (container[i]) {
            shapes[i].glyph = false;
            layer.containers.push_back(shapes[i].box);
        }
    // The hollows of letters (the ground inside an "о") are shapes of the other polarity
    // closed in by a larger glyph: no glyphs of their own.
    for (Shape& s : shapes) {
        if (!s.glyph)
            continue;
        const int left = around(layer, s, -1);
        if (left < 0 || left != around(layer, s, 1))
            continue;
        const Shape& o = shapes[size_t(left)];
        if (o.light != s.light && o.glyph && o.area > s.area && inside(s.box, o.box)
            && std::abs(o.level - frameLevel(layer, o.box)) >= groundContrast && !runsOn(layer, o))
            s.glyph = false;
    }
}

} // namespace tarnwick::ScreenTextRecognizer::stages::layer
