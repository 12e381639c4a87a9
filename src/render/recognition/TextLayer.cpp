// The text of a picture alone: lines found from glyph-sized shapes of either
// polarity, drawn dark on a light paper. Fills, frames, separator lines and the edges of a
// photo are no glyphs and stay out, so they neither read as text nor set its size.

#include "render/recognition/ReadingStages.h"

#include "render/recognition/GreyImage.h"

#include "platform/TarnwickError.h"

#include <QHash>

#include <array>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <optional>

namespace tarnwick::ScreenTextRecognizer::stages {

namespace {

// A pixel is ink when it stands this far from the mean of the square around it,
// darker (dark text) or lighter (light text on a button, a bar, a photo).
constexpr int inkContrast = 24;
// Half the side of that square: wider than the stroke of a bold heading.
constexpr int surround = 15;
// A line's ink stands at least this far from the ground round it.
constexpr int groundContrast = 36;
// Shapes lower than this are marks (dots, commas, accents) that belong to a line
// but never make one.
constexpr int leastGlyph = 4;
constexpr int tallestGlyph = 160;
// A glyph is at most this many times as wide as tall: the letters of a small word
// run together; a rule or a bar is wider.
constexpr double widestGlyph = 12.0;
// And at most this many times as tall as wide: an "l" of a pixel's stroke stands
// under twenty pixels; the side of a frame or a list stands taller.
constexpr int tallestStroke = 24;
// A larger shape this sparse is the frame of a box, not a letter.
constexpr double sparsestGlyph = 0.1;
constexpr int smallestFrame = 12;
// A shape filling this much of its box is a fill (a button, a bar), not a letter.
constexpr double solidBox = 0.85;
// Below this height a dense shape is a small letter ("в", "ш" of a 9 px font, "м" and "я"
// of a bold 13 px one): a fill holds a label, and no label fits so low a patch.
constexpr int smallestFill = 9;
// Glyphs of a line stand at most this many heights apart.
constexpr int joinGap = 3;
// Glyphs from this height up have strokes with a core of the text's own colour.
constexpr int lineCore = 9;
// A line of fewer glyphs is a word or two.
constexpr int fewGlyphs = 8;
// Rows of letters chained into one line are parted where each holds this many glyphs.
constexpr int leastRow = 3;
// Levels this close to the median of a line's ground are that ground, plain.
constexpr int plainGround = 12;
// The peaks of the letters of one text on a photo, of lineCore rows and more, lie this close.
constexpr int colourStep = 96;
// Strokes this wide and thinner are spread over their neighbours by smoothing.
constexpr int thinStroke = 2;
// Letters of a line from lineCore rows up run together at most this many heights wide.
constexpr int stripWidth = 3;
// Pixels round a line's glyphs kept with it, so their antialiased edges read as drawn.
constexpr int halo = 2;

struct Shape {
    QRect box;
    int area = 0;
    bool light = false;
    int level = 0; // the level farthest from the ground among its pixels
    bool glyph = false;
    int fill = -1; // the fill that holds it, -1 on the page
    int line = -1;
    int under = -1; // a letter cut from a shape of the photo: the level round it
};

// The mark of a pixel no fill holds, in the map of fills' ink.
constexpr uint8_t unheld = 255;

// Each pixel's polarity: 1 darker than the mean of the square round it by the ink
// contrast, 2 lighter, 0 neither. Pixels held by a fill keep the polarity it gave them.
std::vector<uint8_t> inkMap(const QImage& grey, std::vector<uint8_t> ink)
{
    const int w = grey.width(), h = grey.height();
    // Sums and counts of the pixels no fill holds: the page round a badge is judged by
    // the page alone. Without fills every pixel counts.
    const bool anyHeld = std::any_of(ink.begin(), ink.end(), [](uint8_t v) { return v != unheld; });
    std::vector<int64_t> sums(size_t(w + 1) * size_t(h + 1), 0);
    std::vector<int32_t> counts(anyHeld ? sums.size() : 0, 0);
    for (int y = 0; y < h; ++y) {
        const uchar* row = grey.constScanLine(y);
        const uint8_t* held = ink.data() + size_t(y) * size_t(w);
        const int64_t* above = sums.data() + size_t(y) * size_t(w + 1);
        int64_t* out = sums.data() + size_t(y + 1) * size_t(w + 1);
        const int32_t* countAbove = anyHeld ? counts.data() + size_t(y) * size_t(w + 1) : nullptr;
        int32_t* countOut = anyHeld ? counts.data() + size_t(y + 1) * size_t(w + 1) : nullptr;
        int64_t run = 0;
        int32_t countRun = 0;
        for (int x = 0; x < w; ++x) {
            const bool free = held[x] == unheld;
            run += free ? row[x] : 0;
            out[x + 1] = above[x + 1] + run;
            if (anyHeld) {
                countRun += free;
                countOut[x + 1] = countAbove[x + 1] + countRun;
            }
        }
    }
    for (int y = 0; y < h; ++y) {
        const int y0 = std::max(0, y - surround), y1 = std::min(h, y + surround + 1);
        const int64_t* top = sums.data() + size_t(y0) * size_t(w + 1);
        const int64_t* bottom = sums.data() + size_t(y1) * size_t(w + 1);
        const int32_t* countTop = anyHeld ? counts.data() + size_t(y0) * size_t(w + 1) : nullptr;
        const int32_t* countBottom = anyHeld ? counts.data() + size_t(y1) * size_t(w + 1) : nullptr;
        const uchar* row = grey.constScanLine(y);
        uint8_t* out = ink.data() + size_t(y) * size_t(w);
        for (int x = 0; x < w; ++x) {
            if (out[x] != unheld)
                continue;
            const int x0 = std::max(0, x - surround), x1 = std::min(w, x + surround + 1);
            const int64_t area = anyHeld ? countBottom[x1] - countTop[x1] - countBottom[x0] + countTop[x0] : int64_t(x1 - x0) * (y1 - y0);
            const int64_t sum = bottom[x1] - top[x1] - bottom[x0] + top[x0];
            const int64_t v = int64_t(row[x]) * area;
            out[x] = v < sum - inkContrast * area ? 1 : v > sum + inkContrast * area ? 2 : 0;
        }
    }
    return ink;
}

// A fill is a plain patch of one level set off from what is round it (a badge, a
// pill, a button) that holds a label: its pixels are ground, and what it holds is
// judged against the fill alone. Against the mean of a square reaching past a small
// fill's edge, the page would lift the mean over its label, and the fill's own edge and
// the hollows of its letters would read as dark strokes beside the words round it.
struct Fill {
    QRect box;
    int level = 0;
    bool border = false; // runs to the picture's edge: the page itself, a panel cut off
};

// Level steps a plain patch takes within itself.
constexpr int plainStep = 12;
// The antialiased rim round a fill is part of its edge, not ink.
constexpr int fillRim = 2;
// A badge or a button holds a few words between its padding; a wider patch (a bar, a
// selected row) is taken by the signs it holds, padded or not.
constexpr int widestFill = 8;

// The polarity of the pixels fills hold, by each fill's level (`unheld` elsewhere),
// and which fill holds each (-1 for none; the innermost of fills on fills; empty
// when there is no fill).
struct FillInk {
    std::vector<uint8_t> ink;
    std::vector<int> holder;
};

FillInk fillInk(const QImage& grey)
{
    const int w = grey.width(), h = grey.height();
    FillInk result;
    std::vector<uint8_t>& ink = result.ink;
    ink.assign(size_t(w) * size_t(h), unheld);
    std::vector<uint8_t> levels(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        std::copy_n(grey.constScanLine(y), w, levels.data() + size_t(y) * size_t(w));
    std::vector<int> patch(levels.size(), -1);
    std::vector<Fill> fills;
    // Patches are flooded a run of a row at a time: a page is one large patch.
    std::vector<std::pair<int, int>> runs;
    for (size_t start = 0; start < patch.size(); ++start) {
        if (patch[start] >= 0)
            continue;
        Fill fill;
        fill.level = levels[start];
        const int id = int(fills.size());
        auto joins = [&](size_t n) { return patch[n] < 0 && std::abs(int(levels[n]) - fill.level) <= plainStep; };
        int minX = w, maxX = -1, minY = h, maxY = -1;
        runs.assign(1, {int(start % size_t(w)), int(start / size_t(w))});
        while (!runs.empty()) {
            const auto [x, y] = runs.back();
            runs.pop_back();
            const size_t row = size_t(y) * size_t(w);
            if (!joins(row + size_t(x)))
                continue;
            int left = x, right = x;
            while (left > 0 && joins(row + size_t(left - 1)))
                --left;
            while (right + 1 < w && joins(row + size_t(right + 1)))
                ++right;
            std::fill(patch.begin() + qsizetype(row) + left, patch.begin() + qsizetype(row) + right + 1, id);
            minX = std::min(minX, left), maxX = std::max(maxX, right), minY = std::min(minY, y), maxY = std::max(maxY, y);
            for (const int ny : {y - 1, y + 1}) {
                if (ny < 0 || ny >= h)
                    continue;
                const size_t next = size_t(ny) * size_t(w);
                for (int nx = left; nx <= right; ++nx)
                    if (joins(next + size_t(nx)) && (nx == left || !joins(next + size_t(nx - 1))))
                        runs.emplace_back(nx, ny);
            }
        }
        fill.box = QRect(QPoint(minX, minY), QPoint(maxX, maxY));
        fill.border = minX == 0 || minY == 0 || maxX == w - 1 || maxY == h - 1;
        fills.push_back(fill);
    }
    // Larger fills first, so that a button on a panel is judged by the button.
    std::vector<size_t> order;
    std::vector<bool> padded(fills.size(), false);
    for (size_t f = 0; f < fills.size(); ++f) {
        const Fill& fill = fills[f];
        const QRect& box = fill.box;
        if (fill.border || box.height() < 2 * leastGlyph || box.height() > tallestGlyph || box.width() < box.height() / 2)
            continue;
        // A fill is solid across two stretches of columns a quarter of its height wide
        // at least: the padding before its label and after it. A letter's strokes, even
        // a bold one's, are thinner, and a letter with a hollow has at most one stem.
        // A column is solid through its middle third as well: a label a third of a tall
        // pill's height leaves two thirds of each of its columns to the fill.
        const int wide = std::max(4, box.height() / 4);
        const int middleTop = box.top() + box.height() / 3, middleBottom = box.bottom() - box.height() / 3;
        int run = 0, stretches = 0;
        for (int x = box.left(); x <= box.right() && stretches < 2; ++x) {
            int covered = 0, middle = 0;
            for (int y = box.top(); y <= box.bottom(); ++y) {
                const bool own = patch[size_t(y) * size_t(w) + size_t(x)] == int(f);
                covered += own;
                middle += own && y >= middleTop && y <= middleBottom;
            }
            run = 3 * covered >= 2 * box.height() && middle == middleBottom - middleTop + 1 ? run + 1 : 0;
            stretches += run == wide;
        }
        padded[f] = stretches >= 2 && box.width() <= widestFill * box.height();
        if (!padded[f]) {
            // Without padding, only a flat patch: a band of a gradient (a button's sheen)
            // spreads over all the levels a patch takes.
            int own = 0, flat = 0;
            for (int y = box.top(); y <= box.bottom(); ++y)
                for (int x = box.left(); x <= box.right(); ++x)
                    if (patch[size_t(y) * size_t(w) + size_t(x)] == int(f)) {
                        ++own;
                        flat += std::abs(int(levels[size_t(y) * size_t(w) + size_t(x)]) - fill.level) <= plainStep / 4;
                    }
            if (5 * flat < 4 * own)
                continue;
        }
        order.push_back(f);
    }
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return qint64(fills[a].box.width()) * fills[a].box.height() > qint64(fills[b].box.width()) * fills[b].box.height();
    });
    std::vector<uint8_t> outside;
    std::vector<size_t> stack;
    for (size_t f : order) {
        const Fill& fill = fills[f];
        const QRect& box = fill.box;
        // Set off from the ground round it on every side, as a badge is from its page
        // past its antialiased edge; a band of a gradient is not, beside the next band.
        const QRect frame = box.adjusted(-fillRim, -fillRim, fillRim, fillRim);
        if (!QRect(0, 0, w, h).contains(frame))
            continue;
        auto setOff = [&](std::vector<int> side) {
            std::nth_element(side.begin(), side.begin() + qsizetype(side.size() / 2), side.end());
            return std::abs(side[side.size() / 2] - fill.level) >= inkContrast;
        };
        std::vector<int> top, bottom, left, right;
        for (int x = frame.left(); x <= frame.right(); ++x) {
            top.push_back(grey.constScanLine(frame.top())[x]);
            bottom.push_back(grey.constScanLine(frame.bottom())[x]);
        }
        for (int y = frame.top(); y <= frame.bottom(); ++y) {
            left.push_back(grey.constScanLine(y)[frame.left()]);
            right.push_back(grey.constScanLine(y)[frame.right()]);
        }
        if (!setOff(top) || !setOff(bottom) || !setOff(left) || !setOff(right))
            continue;
        // What the fill closes in: pixels of its box that reach the box's edge through
        // no pixel of the fill lie outside it.
        const int bw = box.width(), bh = box.height();
        outside.assign(size_t(bw) * size_t(bh), 0);
        auto own = [&](int x, int y) { return patch[size_t(y + box.top()) * size_t(w) + size_t(x + box.left())] == int(f); };
        stack.clear();
        // The page round it, for the flood below.
        std::vector<int> ringAll = top;
        ringAll.insert(ringAll.end(), bottom.begin(), bottom.end());
        ringAll.insert(ringAll.end(), left.begin(), left.end());
        ringAll.insert(ringAll.end(), right.begin(), right.end());
        const int pageLevel = median(ringAll);
        // The flood starts from pixels of its edge nearer the page's level than the fill's
        // only: a letter a selection hugs touches its edge through smoothed pixels of the
        // fill's level, while the page round a pill's ends is the page's.
        auto pageLike = [&](int x, int y) {
            const int v = levels[size_t(y + box.top()) * size_t(w) + size_t(x + box.left())];
            return std::abs(v - pageLevel) < std::abs(v - fill.level);
        };
        // Along its top and bottom only as far as a pill's round ends reach: a descender
        // touching a selected row's foot is no page.
        for (int x = 0; x < bw; ++x)
            for (int y : {0, bh - 1})
                if (!own(x, y) && !outside[size_t(y) * size_t(bw) + size_t(x)]) {
                    outside[size_t(y) * size_t(bw) + size_t(x)] = 1;
                    if (pageLike(x, y) && 2 * std::min(x, bw - 1 - x) <= bh)
                        stack.push_back(size_t(y) * size_t(bw) + size_t(x));
                }
        for (int y = 0; y < bh; ++y)
            for (int x : {0, bw - 1})
                if (!own(x, y) && !outside[size_t(y) * size_t(bw) + size_t(x)]) {
                    outside[size_t(y) * size_t(bw) + size_t(x)] = 1;
                    if (pageLike(x, y))
                        stack.push_back(size_t(y) * size_t(bw) + size_t(x));
                }
        while (!stack.empty()) {
            const size_t i = stack.back();
            stack.pop_back();
            const int px = int(i % size_t(bw)), py = int(i / size_t(bw));
            for (int ny = std::max(py - 1, 0); ny <= std::min(py + 1, bh - 1); ++ny)
                for (int nx = std::max(px - 1, 0); nx <= std::min(px + 1, bw - 1); ++nx) {
                    const size_t n = size_t(ny) * size_t(bw) + size_t(nx);
                    if (!outside[n] && !own(nx, ny)) {
                        outside[n] = 1;
                        stack.push_back(n);
                    }
                }
        }
        // What it holds: pieces of pixels off its level, side by side. A letter holds at
        // most two hollows; a label of three signs and more is no letter.
        int closed = 0, held = 0;
        std::vector<uint8_t> seen(outside.size(), 0);
        std::vector<std::pair<int, int>> spans; // the columns of each piece
        auto strong = [&](int x, int y) {
            return !outside[size_t(y) * size_t(bw) + size_t(x)]
                && std::abs(levels[size_t(y + box.top()) * size_t(w) + size_t(x + box.left())] - fill.level) > inkContrast;
        };
        for (int y = 0; y < bh; ++y)
            for (int x = 0; x < bw; ++x) {
                closed += !outside[size_t(y) * size_t(bw) + size_t(x)];
                if (seen[size_t(y) * size_t(bw) + size_t(x)] || !strong(x, y))
                    continue;
                ++held;
                seen[size_t(y) * size_t(bw) + size_t(x)] = 1;
                stack.assign(1, size_t(y) * size_t(bw) + size_t(x));
                QRect piece(x, y, 1, 1);
                while (!stack.empty()) {
                    const size_t i = stack.back();
                    stack.pop_back();
                    const int px = int(i % size_t(bw)), py = int(i / size_t(bw));
                    piece = piece.united(QRect(px, py, 1, 1));
                    for (const auto& [nx, ny] : {std::pair{px - 1, py}, std::pair{px + 1, py}, std::pair{px, py - 1}, std::pair{px, py + 1}})
                        if (nx >= 0 && ny >= 0 && nx < bw && ny < bh && !seen[size_t(ny) * size_t(bw) + size_t(nx)] && strong(nx, ny)) {
                            seen[size_t(ny) * size_t(bw) + size_t(nx)] = 1;
                            stack.push_back(size_t(ny) * size_t(bw) + size_t(nx));
                        }
                }
                // Signs of a label stand a third of the fill's height at least; smoothed
                // specks round a letter's hollow do not. And they stand within it: a band of
                // a gradient cuts the letters across it.
                if (3 * piece.height() >= bh && piece.top() > 0 && piece.bottom() < bh - 1)
                    spans.emplace_back(piece.left(), piece.right());
            }
        // A patch that closes in little of its box is a frame or a stroke; one that holds
        // fewer than three pieces may be a letter round its hollows. Without padding, a fill
        // is a selection that hugs its label: it holds signs side by side, where a letter's
        // hollows stand over each other.
        std::sort(spans.begin(), spans.end());
        int columns = 0;
        for (size_t k = 0, reach = 0; k < spans.size(); ++k) {
            if (k == 0 || spans[k].first > int(reach))
                ++columns;
            reach = size_t(std::max(int(reach), spans[k].second));
        }
        if (4 * closed < 3 * bw * bh || held < 3 || (!padded[f] && columns < 3))
            continue;
        if (result.holder.empty())
            result.holder.assign(ink.size(), -1);
        // Within the fill, pixels of its level are ground; the rest are judged by the
        // mean of the square round them over the fill and what it closes in, as on a
        // page of their own (a lighter patch of the active item on a bar is no ink).
        std::vector<int64_t> sums(size_t(bw + 1) * size_t(bh + 1), 0);
        std::vector<int32_t> counts(sums.size(), 0);
        for (int y = 0; y < bh; ++y) {
            const uchar* row = grey.constScanLine(y + box.top()) + box.left();
            int64_t run = 0;
            int32_t countRun = 0;
            for (int x = 0; x < bw; ++x) {
                const bool in = !outside[size_t(y) * size_t(bw) + size_t(x)];
                run += in ? row[x] : 0;
                countRun += in;
                sums[size_t(y + 1) * size_t(bw + 1) + size_t(x + 1)] = sums[size_t(y) * size_t(bw + 1) + size_t(x + 1)] + run;
                counts[size_t(y + 1) * size_t(bw + 1) + size_t(x + 1)] = counts[size_t(y) * size_t(bw + 1) + size_t(x + 1)] + countRun;
            }
        }
        for (int y = 0; y < bh; ++y) {
            const uchar* row = grey.constScanLine(y + box.top()) + box.left();
            uint8_t* out = ink.data() + size_t(y + box.top()) * size_t(w) + size_t(box.left());
            int* holder = result.holder.data() + size_t(y + box.top()) * size_t(w) + size_t(box.left());
            const int y0 = std::max(0, y - surround), y1 = std::min(bh, y + surround + 1);
            for (int x = 0; x < bw; ++x) {
                if (outside[size_t(y) * size_t(bw) + size_t(x)])
                    continue;
                holder[x] = int(f);
                if (std::abs(row[x] - fill.level) <= plainStep) {
                    out[x] = 0;
                    continue;
                }
                const int x0 = std::max(0, x - surround), x1 = std::min(bw, x + surround + 1);
                auto at = [&](const auto& table, int cx, int cy) { return table[size_t(cy) * size_t(bw + 1) + size_t(cx)]; };
                const int64_t area = at(counts, x1, y1) - at(counts, x0, y1) - at(counts, x1, y0) + at(counts, x0, y0);
                const int64_t sum = at(sums, x1, y1) - at(sums, x0, y1) - at(sums, x1, y0) + at(sums, x0, y0);
                const int64_t v = int64_t(row[x]) * area;
                out[x] = v < sum - inkContrast * area ? 1 : v > sum + inkContrast * area ? 2 : 0;
            }
        }
        // The rim: pixels outside next to the fill.
        const QRect rim = box.adjusted(-fillRim, -fillRim, fillRim, fillRim).intersected(QRect(0, 0, w, h));
        for (int y = rim.top(); y <= rim.bottom(); ++y)
            for (int x = rim.left(); x <= rim.right(); ++x) {
                const bool in = box.contains(x, y);
                if (in && !outside[size_t(y - box.top()) * size_t(bw) + size_t(x - box.left())])
                    continue;
                if (patch[size_t(y) * size_t(w) + size_t(x)] == int(f))
                    continue;
                bool near = false;
                for (int ny = std::max(y - fillRim, box.top()); ny <= std::min(y + fillRim, box.bottom()) && !near; ++ny)
                    for (int nx = std::max(x - fillRim, box.left()); nx <= std::min(x + fillRim, box.right()) && !near; ++nx)
                        near = patch[size_t(ny) * size_t(w) + size_t(nx)] == int(f);
                if (near)
                    ink[size_t(y) * size_t(w) + size_t(x)] = 0;
            }
    }
    return result;
}

// Whether nine in ten of the levels lie within plainGround of `level`: a plain ground of it.
bool plainAt(const std::vector<int>& levels, int level)
{
    const auto plain = std::count_if(levels.begin(), levels.end(), [&](int v) { return std::abs(v - level) <= plainGround; });
    return 10 * plain >= 9 * qsizetype(levels.size());
}

bool inside(const QRect& inner, const QRect& outer)
{
    return inner.left() >= outer.left() && inner.right() <= outer.right() && inner.top() >= outer.top()
        && inner.bottom() <= outer.bottom();
}

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
    if (runs.empty())
        return 0;
    std::nth_element(runs.begin(), runs.begin() + qsizetype(runs.size() / 2), runs.end());
    return runs[runs.size() / 2];
}

bool glyphSized(const QRect& box)
{
    return box.height() >= leastGlyph && box.height() <= tallestGlyph && box.width() <= widestGlyph * box.height()
        && box.height() <= tallestStroke * box.width();
}

} // namespace

TextLayer textLayer(const QImage& grey)
{
    const int w = grey.width(), h = grey.height();
    FillInk fills = fillInk(grey);
    const std::vector<uint8_t> ink = inkMap(grey, std::move(fills.ink));
    // Labels: 0 ground, then shape number + 1. Light and dark ink never touch as one
    // shape, since a pixel is only one of them.
    std::vector<int> label(size_t(w) * size_t(h), 0);
    std::vector<Shape> shapes;
    std::vector<size_t> stack;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const size_t start = size_t(y) * size_t(w) + size_t(x);
            const int polarity = label[start] ? 0 : ink[start];
            if (!polarity)
                continue;
            Shape shape;
            shape.light = polarity == 2;
            shape.level = shape.light ? 0 : 255;
            int minX = x, maxX = x, minY = y, maxY = y;
            const int id = int(shapes.size()) + 1;
            label[start] = id;
            stack.assign(1, start);
            while (!stack.empty()) {
                const size_t i = stack.back();
                stack.pop_back();
                const int px = int(i % size_t(w)), py = int(i / size_t(w));
                ++shape.area;
                const int v = grey.constScanLine(py)[px];
                shape.level = shape.light ? std::max(shape.level, v) : std::min(shape.level, v);
                minX = std::min(minX, px), maxX = std::max(maxX, px), minY = std::min(minY, py), maxY = std::max(maxY, py);
                for (int ny = std::max(py - 1, 0); ny <= std::min(py + 1, h - 1); ++ny)
                    for (int nx = std::max(px - 1, 0); nx <= std::min(px + 1, w - 1); ++nx) {
                        const size_t n = size_t(ny) * size_t(w) + size_t(nx);
                        if (!label[n] && ink[n] == polarity) {
                            label[n] = id;
                            stack.push_back(n);
                        }
                    }
            }
            shape.box = QRect(QPoint(minX, minY), QPoint(maxX, maxY));
            shape.glyph = glyphSized(shape.box);
            shape.fill = fills.holder.empty() ? -1 : fills.holder[start];
            shapes.push_back(shape);
        }
    }

    // A box, a frame or a panel round a label is no glyph, even of a glyph's size:
    // it holds glyphs at most half its height (a letter holds at most two hollows,
    // and the hollows of small letters run together stand more than half as tall as
    // the word), or it is filled whole as no letter wider than a stroke is. Its height
    // there is that of the rows it spans side to side (within half its height, the
    // round end of a pill), where what stands out of them is a letter's stroke or two:
    // a descender under a few letters run together («юдж») makes their box taller, not
    // their body.
    auto bodyHeight = [&](const Shape& o, int id) {
        const int reach = o.box.height() / 2;
        int rows = 0, outside = 0, from = w, to = -1;
        for (int y = o.box.top(); y <= o.box.bottom(); ++y) {
            const int* row = label.data() + size_t(y) * size_t(w);
            bool left = false, right = false;
            for (int x = o.box.left(); x <= o.box.left() + reach && !left; ++x)
                left = row[x] == id;
            for (int x = o.box.right(); x >= o.box.right() - reach && !right; --x)
                right = row[x] == id;
            if (left && right) {
                ++rows;
                continue;
            }
            for (int x = o.box.left(); x <= o.box.right(); ++x)
                if (row[x] == id) {
                    ++outside;
                    from = std::min(from, x);
                    to = std::max(to, x);
                }
        }
        return 5 * outside < o.area && to - from < o.box.height() ? rows : o.box.height();
    };
    // The boxes of shapes round a label: filled boxes, frames, check boxes.
    std::vector<QRect> containers;
    // A box drawn round nothing of its own (a check box): each side four fifths covered, its
    // middle empty. No letter is closed so square; round ones leave their corners.
    auto outline = [&](const Shape& o, int id) {
        const QRect& b = o.box;
        if (b.width() < leastGlyph || b.height() < leastGlyph || 2 * b.width() < b.height() || 2 * b.height() < b.width())
            return false;
        auto covered = [&](int x0, int y0, int dx, int dy, int n) {
            int on = 0;
            for (int k = 0; k < n; ++k)
                on += label[size_t(y0 + k * dy) * size_t(w) + size_t(x0 + k * dx)] == id;
            return 5 * on >= 4 * n;
        };
        if (!covered(b.left(), b.top(), 1, 0, b.width()) || !covered(b.left(), b.bottom(), 1, 0, b.width())
            || !covered(b.left(), b.top(), 0, 1, b.height()) || !covered(b.right(), b.top(), 0, 1, b.height()))
            return false;
        const int edge = std::max(1, b.height() / 6);
        for (int y = b.top() + edge; y <= b.bottom() - edge; ++y)
            for (int x = b.left() + edge; x <= b.right() - edge; ++x)
                if (label[size_t(y) * size_t(w) + size_t(x)] == id)
                    return false;
        return true;
    };
    {
        std::vector<size_t> byLeft;
        for (size_t i = 0; i < shapes.size(); ++i)
            if (shapes[i].glyph)
                byLeft.push_back(i);
        std::sort(byLeft.begin(), byLeft.end(), [&](size_t a, size_t b) { return shapes[a].box.left() < shapes[b].box.left(); });
        std::vector<bool> container(shapes.size(), false);
        for (size_t k = 0; k < byLeft.size(); ++k) {
            Shape& o = shapes[byLeft[k]];
            const double filled = double(o.area) / (double(o.box.width()) * o.box.height());
            if ((filled > solidBox && 5 * o.box.width() > 3 * o.box.height() && o.box.height() >= smallestFill)
                || (filled < sparsestGlyph && o.box.height() >= smallestFrame) || outline(o, int(byLeft[k]) + 1)) {
                container[byLeft[k]] = true;
                continue;
            }
            // A letter's shadow is the letter moved a little aside, and pieces of it fall
            // within the letter's box (under the arms of a «у»): they are no label held.
            // Each pixel of such a piece, moved back by the shadow's offset, lands on the
            // letter, and moved on by it, out of the piece, lands off. A label in a box and
            // a letter's hollows are ringed by the shape on every side.
            const int oid = int(byLeft[k]) + 1;
            const int shift = std::clamp(o.box.height() / 10, 1, 4), side = 2 * shift + 1;
            auto labelAt = [&](int x, int y) { return x >= 0 && x < w && y >= 0 && y < h ? label[size_t(y) * size_t(w) + size_t(x)] : 0; };
            // The offsets by which a held piece is a shadow of the shape, one bit each.
            auto shadowOffsets = [&](size_t j) {
                std::vector<bool> by(size_t(side * side), false);
                const Shape& s = shapes[j];
                if (s.light == o.light)
                    return by;
                for (int dy = -shift; dy <= shift; ++dy)
                    for (int dx = -shift; dx <= shift; ++dx) {
                        if (!dx && !dy)
                            continue;
                        int back = 0, on = 0;
                        for (int y = s.box.top(); y <= s.box.bottom(); ++y)
                            for (int x = s.box.left(); x <= s.box.right(); ++x)
                                if (labelAt(x, y) == int(j) + 1) {
                                    back += labelAt(x - dx, y - dy) == oid;
                                    // On across the piece and the blur round it: a hollow
                                    // ends on the letter's far stroke.
                                    int fx = x + dx, fy = y + dy;
                                    while (labelAt(fx, fy) == int(j) + 1)
                                        fx += dx, fy += dy;
                                    for (int blur = 0; blur < 2 && !labelAt(fx, fy) && fx >= 0 && fx < w && fy >= 0 && fy < h; ++blur)
                                        fx += dx, fy += dy;
                                    on += labelAt(fx, fy) == oid;
                                }
                        by[size_t((dy + shift) * side + dx + shift)] = 4 * back >= 3 * s.area && 4 * on <= s.area;
                    }
                return by;
            };
            auto holds = [&](int height) {
                std::vector<size_t> held;
                for (size_t j = k + 1; j < byLeft.size() && shapes[byLeft[j]].box.left() <= o.box.right(); ++j)
                    if (inside(shapes[byLeft[j]].box, o.box) && shapes[byLeft[j]].box.height() * 2 <= height)
                        held.push_back(byLeft[j]);
                // Two shapes of its own polarity in an outline twice as wide as tall, a quarter
                // of it filled at most: a short label in its button's frame ("OK"). A letter's
                // hollows and the shadow of its strokes are of the other polarity.
                if (o.box.width() >= 2 * o.box.height() && 4 * qint64(o.area) <= qint64(o.box.width()) * o.box.height()
                    && std::count_if(held.begin(), held.end(), [&](size_t j) { return shapes[j].light == o.light; }) >= 2)
                    return true;
                if (held.size() < 3)
                    return false;
                // Whatever offset the shadow has, three pieces and more are no part of it.
                std::vector<int> unexplained(size_t(side * side), 0);
                int plain = 0;
                for (size_t j : held) {
                    const std::vector<bool> by = shadowOffsets(j);
                    if (std::none_of(by.begin(), by.end(), [](bool b) { return b; }) && ++plain >= 3)
                        return true;
                    for (size_t d = 0; d < by.size(); ++d)
                        unexplained[d] += !by[d];
                }
                return std::all_of(unexplained.begin(), unexplained.end(), [](int n) { return n >= 3; });
            };
            container[byLeft[k]] = holds(o.box.height()) && holds(bodyHeight(o, int(byLeft[k]) + 1));
        }
        for (size_t i = 0; i < shapes.size(); ++i)
            if (container[i]) {
                shapes[i].glyph = false;
                containers.push_back(shapes[i].box);
            }
    }

    // The hollows of letters (the ground inside an "о") are shapes of the other
    // polarity closed in by a larger glyph: no glyphs of their own. Looking left and
    // right from a shape's middle row across the unmarked antialiased edge finds the
    // shape round it.
    auto around = [&](const Shape& s, int step) {
        const int y = (s.box.top() + s.box.bottom()) / 2;
        for (int x = step < 0 ? s.box.left() - 1 : s.box.right() + 1, k = 0; x >= 0 && x < w && k <= 3; x += step, ++k)
            if (const int id = label[size_t(y) * size_t(w) + size_t(x)])
                return id - 1;
        return -1;
    };
    // The median level of the pixels just outside a box: the ground a shape stands on.
    // A shape of the ground's level round another is the ground round a letter (the
    // white round a large word), not a letter round its hollow.
    auto frameLevel = [&](const QRect& box) {
        std::vector<int> levels;
        const QRect frame = box.adjusted(-1, -1, 1, 1);
        for (int x = frame.left(); x <= frame.right(); ++x)
            for (int y : {frame.top(), frame.bottom()})
                if (x >= 0 && x < w && y >= 0 && y < h)
                    levels.push_back(grey.constScanLine(y)[x]);
        for (int y = frame.top() + 1; y < frame.bottom(); ++y)
            for (int x : {frame.left(), frame.right()})
                if (x >= 0 && x < w && y >= 0 && y < h)
                    levels.push_back(grey.constScanLine(y)[x]);
        if (levels.empty())
            return 255;
        std::nth_element(levels.begin(), levels.begin() + qsizetype(levels.size() / 2), levels.end());
        return levels[levels.size() / 2];
    };
    // The ground inside a frame (a field's white by its grey frame and the panel past it)
    // stands off the mean round it there, and makes a shape that holds the letters next to
    // the frame as a letter holds its hollows. Past a side of its box it runs on into the
    // ground of its own level; a letter ends on the ground round it on every side.
    auto runsOn = [&](const Shape& o) {
        const QRect frame = o.box.adjusted(-1, -1, 1, 1);
        std::array<std::vector<int>, 4> sides;
        for (int x = o.box.left(); x <= o.box.right(); ++x) {
            if (frame.top() >= 0)
                sides[0].push_back(grey.constScanLine(frame.top())[x]);
            if (frame.bottom() < h)
                sides[1].push_back(grey.constScanLine(frame.bottom())[x]);
        }
        for (int y = o.box.top(); y <= o.box.bottom(); ++y) {
            if (frame.left() >= 0)
                sides[2].push_back(grey.constScanLine(y)[frame.left()]);
            if (frame.right() < w)
                sides[3].push_back(grey.constScanLine(y)[frame.right()]);
        }
        return std::any_of(sides.begin(), sides.end(), [&](const std::vector<int>& side) { return !side.empty() && plainAt(side, o.level); });
    };
    for (Shape& s : shapes) {
        if (!s.glyph)
            continue;
        const int left = around(s, -1);
        if (left < 0 || left != around(s, 1))
            continue;
        const Shape& o = shapes[size_t(left)];
        if (o.light != s.light && o.glyph && o.area > s.area && inside(s.box, o.box)
            && std::abs(o.level - frameLevel(o.box)) >= groundContrast && !runsOn(o))
            s.glyph = false;
    }
    std::vector<size_t> glyphs;
    for (size_t i = 0; i < shapes.size(); ++i)
        if (shapes[i].glyph)
            glyphs.push_back(i);
    std::sort(glyphs.begin(), glyphs.end(), [&](size_t a, size_t b) { return shapes[a].box.left() < shapes[b].box.left(); });

    // The fill a box stands in, -1 for none.
    auto fillOf = [&](const QRect& box) {
        if (fills.holder.empty())
            return -1;
        const QPoint c = box.center();
        return fills.holder[size_t(std::clamp(c.y(), 0, h - 1)) * size_t(w) + size_t(std::clamp(c.x(), 0, w - 1))];
    };
    // Whether a pixel of the ring round a box counts for its ground: in a fill (a selection
    // that hugs its letters), only the fill's own pixels do.
    auto ofGround = [&](int fill, int x, int y) { return fill < 0 || fills.holder[size_t(y) * size_t(w) + size_t(x)] == fill; };
    // The levels of a ring round a line's box, a quarter of its height wide.
    auto ringLevels = [&](const QRect& box) {
        const int ringWidth = std::max(2, box.height() / 4);
        const QRect ring = box.adjusted(-ringWidth, -ringWidth, ringWidth, ringWidth).intersected(QRect(0, 0, w, h));
        std::vector<int> levels;
        for (int fill = fillOf(box);; fill = -1) {
            for (int y = ring.top(); y <= ring.bottom(); ++y) {
                const uchar* row = grey.constScanLine(y);
                const bool across = y < box.top() || y > box.bottom();
                for (int x = ring.left(); x <= ring.right(); ++x) {
                    if (!across && x == box.left())
                        x = box.right() + 1;
                    if (x <= ring.right() && ofGround(fill, x, y))
                        levels.push_back(row[x]);
                }
            }
            if (!levels.empty() || fill < 0)
                return levels;
        }
    };
    // Whether that ring is of one level: a page or a fill.
    auto plainRing = [&](const QRect& box) {
        const std::vector<int> ring = ringLevels(box);
        if (ring.empty())
            return true;
        return plainAt(ring, median(ring));
    };
    // Whether that ring is a ground of a level or two (a page, a fill on it, a frame),
    // not a photo, whose ground takes every level between its lights and its darks.
    auto flatRing = [&](const QRect& box) {
        const std::vector<int> ring = ringLevels(box);
        if (ring.empty())
            return true;
        std::array<int, 256> histogram{};
        for (int v : ring)
            ++histogram[size_t(v)];
        qsizetype covered = 0;
        std::array<int, 257> below{}; // pixels under each level
        for (int pass = 0; pass < 2; ++pass) {
            for (size_t v = 0; v < 256; ++v)
                below[v + 1] = below[v] + histogram[v];
            int best = 0, bestCount = -1;
            for (int level = 0; level < 256; ++level) {
                const int count = below[size_t(std::min(255, level + plainGround) + 1)] - below[size_t(std::max(0, level - plainGround))];
                if (count > bestCount)
                    best = level, bestCount = count;
            }
            covered += bestCount;
            for (int v = std::max(0, best - plainGround); v <= std::min(255, best + plainGround); ++v)
                histogram[size_t(v)] = 0;
        }
        return 10 * covered >= 9 * qsizetype(ring.size());
    };
    // Lines: glyphs of one polarity side by side, of about one height (a capital with
    // a descender stands under 2.2 times a small letter), sharing most
    // of their rows, no further apart than
    // three heights.
    std::vector<int> parent(shapes.size());
    std::iota(parent.begin(), parent.end(), 0);
    std::function<int(int)> root = [&](int i) { return parent[size_t(i)] == i ? i : parent[size_t(i)] = root(parent[size_t(i)]); };
    for (size_t k = 0; k < glyphs.size(); ++k) {
        const Shape& a = shapes[glyphs[k]];
        for (size_t j = k + 1; j < glyphs.size(); ++j) {
            const Shape& b = shapes[glyphs[j]];
            const int height = std::max(a.box.height(), b.box.height());
            if (b.box.left() - a.box.right() > joinGap * tallestGlyph)
                break;
            if (b.box.left() - a.box.right() > joinGap * height)
                continue;
            // A fill's edge parts lines: a badge's label from the words beside it.
            if (a.light != b.light || a.fill != b.fill)
                continue;
            const int low = std::min(a.box.height(), b.box.height());
            const int shared = std::min(a.box.bottom(), b.box.bottom()) - std::max(a.box.top(), b.box.top()) + 1;
            if (2 * shared < low || 5 * height > 11 * low || root(int(glyphs[j])) == root(int(glyphs[k])))
                continue;
            // On a photo, letters large enough to have a core of the text's colour reach
            // about one level; strands of hair or fur round them shade off from it, and
            // chained in they may outnumber the letters and set the line's rows. On a
            // plain ground shapes of two levels may make one line (a button's grey frame
            // beside its label).
            if (low >= lineCore && std::abs(a.level - b.level) > colourStep && !plainRing(a.box.united(b.box)))
                continue;
            parent[size_t(root(int(glyphs[j])))] = root(int(glyphs[k]));
        }
    }
    struct Line {
        QRect box;
        int count = 0;
        bool light = false;
        std::vector<size_t> shapes;
        int glyphHeight = 0; // the typical height of its glyphs
        std::vector<size_t> crossing; // taller shapes across its rows, drawn within them
    };
    std::vector<Line> lines;
    std::vector<int> lineOf(shapes.size(), -1);
    for (size_t i : glyphs) {
        const int r = root(int(i));
        if (lineOf[size_t(r)] < 0) {
            lineOf[size_t(r)] = int(lines.size());
            lines.push_back({shapes[i].box, 0, shapes[i].light, {}, 0, {}});
        }
        Line& line = lines[size_t(lineOf[size_t(r)])];
        line.box = line.box.united(shapes[i].box);
        ++line.count;
        line.shapes.push_back(i);
        shapes[i].line = lineOf[size_t(r)];
    }
    // Two rows of text (a heading over its caption) chained by one tall shape between
    // them (a streak of the photo) are two lines: across the rows of each, every letter
    // of its row stands, and between them only the shapes that chained them do.
    for (size_t l = 0; l < lines.size(); ++l) {
        Line& line = lines[l];
        if (line.count < 2 * leastRow)
            continue;
        const int top = line.box.top(), rows = line.box.height();
        std::vector<int> covered(size_t(rows), 0);
        for (size_t i : line.shapes)
            for (int y = shapes[i].box.top(); y <= shapes[i].box.bottom(); ++y)
                ++covered[size_t(y - top)];
        const int most = *std::max_element(covered.begin(), covered.end());
        // The thinnest rows between two rows of letters, each of three glyphs at least
        // that stand on one baseline.
        auto row = [&](const std::vector<QRect>& boxes) {
            if (int(boxes.size()) < leastRow)
                return false;
            std::vector<int> bottoms, heights;
            for (const QRect& box : boxes) {
                bottoms.push_back(box.bottom());
                heights.push_back(box.height());
            }
            const int near = std::max(2, median(heights) / 8);
            std::sort(bottoms.begin(), bottoms.end());
            for (size_t k = 0; k + size_t(leastRow) <= bottoms.size(); ++k)
                if (bottoms[k + size_t(leastRow) - 1] - bottoms[k] <= near)
                    return true;
            return false;
        };
        int best = -1;
        for (int y = 0; y < rows; ++y) {
            if (4 * covered[size_t(y)] > most || (best >= 0 && covered[size_t(y)] >= covered[size_t(best)]))
                continue;
            std::vector<QRect> above, below;
            for (size_t i : line.shapes) {
                const QRect& box = shapes[i].box;
                if (box.bottom() < top + y)
                    above.push_back(box);
                if (box.top() > top + y)
                    below.push_back(box);
            }
            if (row(above) && row(below))
                best = y;
        }
        if (best < 0)
            continue;
        // The shapes across that row go with the side that holds their middle.
        Line lower{QRect(), 0, line.light, {}, 0, {}};
        std::vector<size_t> upper;
        for (size_t i : line.shapes) {
            const QRect& box = shapes[i].box;
            if (box.top() + box.bottom() <= 2 * (top + best)) {
                upper.push_back(i);
                continue;
            }
            lower.shapes.push_back(i);
            lower.box = lower.box.united(box);
            shapes[i].line = int(lines.size());
        }
        line.shapes = std::move(upper);
        line.count = int(line.shapes.size());
        line.box = QRect();
        for (size_t i : line.shapes)
            line.box = line.box.united(shapes[i].box);
        lower.count = int(lower.shapes.size());
        lines.push_back(std::move(lower));
        // Either part may hold a further row.
        --l;
    }
    // A line keeps to one size and one baseline: each of its glyphs stands at most
    // as tall against the glyphs round it as glyphs joined pairwise do, and covers
    // most of the rows its typical glyph spans (capitals and ascenders reach above,
    // descenders below, punctuation sits within). A shape chained in through a
    // neighbour of another size, or crossing the line's rows (the bright rim of a cup
    // behind the words), is no letter of it.
    for (Line& line : lines) {
        std::vector<int> heights, tops, bottoms;
        for (size_t i : line.shapes) {
            heights.push_back(shapes[i].box.height());
            tops.push_back(shapes[i].box.top());
            bottoms.push_back(shapes[i].box.bottom());
        }
        line.glyphHeight = median(heights);
        if (line.count < 3)
            continue;
        const int top = median(tops), bottom = std::max(top, median(bottoms));
        // On a photo the line keeps to its own rows: its shapes strewn along a slope are as
        // likely the photo's.
        const bool flat = flatRing(line.box);
        // Height is judged against the glyphs next to each one: a heading and a small
        // label beside it may make one line, and the heading's capitals are letters.
        std::sort(line.shapes.begin(), line.shapes.end(),
                  [&](size_t a, size_t b) { return shapes[a].box.left() < shapes[b].box.left(); });
        std::vector<size_t> own;
        for (size_t k = 0; k < line.shapes.size(); ++k) {
            const size_t i = line.shapes[k];
            const QRect& box = shapes[i].box;
            // On a page its rows are counted where the glyphs next to it stand: a long line
            // turned a degree or two climbs more than a letter's height along its length. A
            // glyph of the line leaves at most half the line's rows out of them.
            std::vector<int> near, nearTops, nearBottoms;
            for (size_t j = k >= 3 ? k - 3 : 0; j < std::min(line.shapes.size(), k + 4); ++j) {
                if (j != k)
                    near.push_back(shapes[line.shapes[j]].box.height());
                nearTops.push_back(shapes[line.shapes[j]].box.top());
                nearBottoms.push_back(shapes[line.shapes[j]].box.bottom());
            }
            const int rowsTop = flat ? median(nearTops) : top, rowsBottom = flat ? std::max(rowsTop, median(nearBottoms)) : bottom;
            const int missed = rowsBottom - rowsTop + 1 - (std::min(box.bottom(), rowsBottom) - std::max(box.top(), rowsTop) + 1);
            // A letter that reaches below the baseline starts at the line's top, or ends
            // where other descenders do; a shape standing lower as a whole, on a line
            // of its own, is the photo under the line.
            const bool lower = 4 * (box.top() - top) > line.glyphHeight && 4 * (box.bottom() - bottom) > line.glyphHeight
                && std::none_of(line.shapes.begin(), line.shapes.end(), [&](size_t j) {
                       return j != i && 8 * std::abs(shapes[j].box.bottom() - box.bottom()) <= std::max(8, line.glyphHeight);
                   });
            if (5 * box.height() <= 11 * median(near) && 2 * missed <= bottom - top + 1 && !lower) {
                own.push_back(i);
                continue;
            }
            // A letter run into a taller shape (a rim through the line) keeps what
            // lies within the line's rows.
            if (2 * missed <= bottom - top + 1)
                line.crossing.push_back(i);
            shapes[i].glyph = false;
            shapes[i].line = -1;
        }
        if (own.size() == line.shapes.size())
            continue;
        // Text keeps most of its glyphs; shapes of a photo that mostly do not line up
        // are no line, whatever few of them do.
        if (2 * own.size() < line.shapes.size()) {
            for (size_t i : own) {
                shapes[i].glyph = false;
                shapes[i].line = -1;
            }
            own.clear();
            line.crossing.clear();
        }
        line.shapes = std::move(own);
        line.count = int(line.shapes.size());
        line.box = QRect();
        // Its typical height is its own letters' again: taken with a heading's letters or
        // the photo's shapes chained in, it left the letters of a small caption under half
        // of it, as if they were marks, and judged the line by the shapes of the photo.
        heights.clear();
        for (size_t i : line.shapes) {
            line.box = line.box.united(shapes[i].box);
            heights.push_back(shapes[i].box.height());
        }
        if (!heights.empty())
            line.glyphHeight = median(heights);
    }
    // Letters stand on one baseline, and those of one case reach one height: each of
    // them ends or starts where another does. Shapes of a photo chained side by side
    // stand at any height; where most of a line's shapes share neither their top nor
    // their bottom with another, the line is no text.
    for (Line& line : lines) {
        if (line.count < 3 || line.glyphHeight < lineCore)
            continue;
        const int near = std::max(2, line.glyphHeight / 8);
        int aligned = 0;
        for (size_t i : line.shapes) {
            const QRect& a = shapes[i].box;
            aligned += std::any_of(line.shapes.begin(), line.shapes.end(), [&](size_t j) {
                const QRect& b = shapes[j].box;
                return j != i && (std::abs(a.bottom() - b.bottom()) <= near || std::abs(a.top() - b.top()) <= near);
            });
        }
        if (2 * aligned >= line.count)
            continue;
        for (size_t i : line.shapes) {
            shapes[i].glyph = false;
            shapes[i].line = -1;
        }
        line.shapes.clear();
        line.crossing.clear();
        line.count = 0;
    }
    // Whether the ground in that ring, away from every shape and its antialiased edge,
    // is of one level.
    auto plainBetweenShapes = [&](const QRect& box) {
        const int ringWidth = std::max(3, box.height() / 4);
        const QRect ring = box.adjusted(-ringWidth, -ringWidth, ringWidth, ringWidth).intersected(QRect(0, 0, w, h));
        auto free = [&](int x, int y) {
            for (int ny = std::max(y - 1, 0); ny <= std::min(y + 1, h - 1); ++ny)
                for (int nx = std::max(x - 1, 0); nx <= std::min(x + 1, w - 1); ++nx)
                    if (label[size_t(ny) * size_t(w) + size_t(nx)])
                        return false;
            return true;
        };
        std::vector<int> levels;
        for (int y = ring.top(); y <= ring.bottom(); ++y)
            for (int x = ring.left(); x <= ring.right(); ++x)
                if (!box.adjusted(-1, -1, 1, 1).contains(x, y) && free(x, y))
                    levels.push_back(grey.constScanLine(y)[x]);
        return levels.empty() || plainAt(levels, median(levels));
    };
    // The levels of a line's glyphs, one each.
    auto glyphLevels = [&](const Line& line) {
        std::vector<int> levels;
        for (size_t i : line.shapes)
            if (shapes[i].glyph)
                levels.push_back(shapes[i].level);
        return levels;
    };
    // The levels of that ring within the line's own rows, left and right of it, past the
    // antialiased edges of its first and last letters, which are no ground.
    auto besideLevels = [&](const QRect& box, int ringWidth) {
        std::array<std::vector<int>, 2> sides;
        for (int y = std::max(0, box.top()); y <= std::min(h - 1, box.bottom()); ++y) {
            const uchar* row = grey.constScanLine(y);
            for (int x = std::max(0, box.left() - halo - ringWidth); x < box.left() - halo; ++x)
                sides[0].push_back(row[x]);
            for (int x = box.right() + 1 + halo; x <= std::min(w - 1, box.right() + halo + ringWidth); ++x)
                sides[1].push_back(row[x]);
        }
        return sides;
    };
    // Text is drawn in a colour or two that stand well off its ground; a photo's
    // texture makes shapes of every level between its lights and its darks. A glyph
    // standing off the line's ground by under two fifths of the line's strongest glyph
    // is texture that lines up with the letters (or makes a "line" of its own), and is
    // left out. Thin strokes of small text, and a grey comment beside black code,
    // keep more than that.
    std::vector<bool> offColour(shapes.size(), false);
    for (Line& line : lines) {
        if (line.count < 2)
            continue;
        std::vector<int> ring = ringLevels(line.box);
        if (ring.empty())
            continue;
        const int groundLevel = median(ring);
        auto depth = [&](const Shape& s) { return s.light ? s.level - groundLevel : groundLevel - s.level; };
        int strongest = 0;
        for (size_t i : line.shapes)
            strongest = std::max(strongest, depth(shapes[i]));
        // On a photo the letters of a line of many, with cores of the text's one colour,
        // peak near its level; a shape of the photo chained on (a cup's rim before the
        // first letter) peaks far off it.
        int inkLevel = -1;
        if (line.count >= fewGlyphs && line.glyphHeight >= lineCore && !flatRing(line.box)) {
            std::vector<int> levels;
            for (size_t i : line.shapes)
                levels.push_back(shapes[i].level);
            inkLevel = median(levels);
        }
        std::vector<size_t> own;
        for (size_t i : line.shapes) {
            // On a ground of a level or two, colours are text (grep's red match, a keyword):
            // only a stroke taller than the letters (a field's side) goes.
            const QRect& b = shapes[i].box;
            const bool frameSide = b.width() <= thinStroke && 2 * b.height() > 3 * line.glyphHeight;
            if (((!frameSide && flatRing(line.box)) || 5 * depth(shapes[i]) >= 2 * strongest)
                && (inkLevel < 0 || 2 * std::abs(shapes[i].level - inkLevel) <= colourStep)) {
                own.push_back(i);
                continue;
            }
            offColour[i] = true;
            shapes[i].glyph = false;
            shapes[i].line = -1;
        }
        // A taller shape across the line off the text's colour holds no letter run into it
        // (the grey side of a field's frame beside its first letter), though every glyph
        // of the line is of that colour.
        line.crossing.erase(std::remove_if(line.crossing.begin(), line.crossing.end(), [&](size_t i) { return 5 * depth(shapes[i]) < 2 * strongest; }),
                            line.crossing.end());
        if (own.size() == line.shapes.size())
            continue;
        line.shapes = std::move(own);
        line.count = int(line.shapes.size());
        line.box = QRect();
        for (size_t i : line.shapes)
            line.box = line.box.united(shapes[i].box);
    }
    // A letter run into a taller shape of its polarity (the bright rim of a cup touching
    // white words) is cut from it at the line's own level: text keeps one colour, and
    // what it touches shades off from it. Only the pieces of a glyph's height within
    // the line's rows join the line; the rest of the shape stays out. A shape across two
    // lines (the rim through a heading and its caption) gives each its letters.
    // The levels a letter is cut at, as shares of the line's depth: first low, where its
    // strokes of a pixel at 1× are spread over two columns and hold together; then near its
    // core; then nearer still, where what it touches is almost as light (a cup's bright rim).
    // Below the core only a piece of such thin strokes is taken, and one wider than a
    // stroke: the side of a button's frame parts from its corners there. Cut near its core
    // first, a thin letter falls into strokes, each taken for a letter of its own.
    struct CutLevel {
        int over, under; // the share of the line's depth
        bool strokesOnly;
    };
    // Whether a piece's pixels lean: its top rows stand aside from its bottom rows by more
    // than half its width, as a "/" does touching a field's frame and no side of a frame does.
    const auto slanted = [&](const QRect& box, const std::vector<size_t>& pixels) {
        const int band = std::max(1, box.height() / 4);
        int64_t top = 0, bottom = 0, tops = 0, bottoms = 0;
        for (size_t p : pixels) {
            const int x = int(p % size_t(w)), y = int(p / size_t(w));
            if (y < box.top() + band)
                top += x, ++tops;
            else if (y > box.bottom() - band)
                bottom += x, ++bottoms;
        }
        if (!tops || !bottoms)
            return false;
        const double lean = std::abs(double(top) / double(tops) - double(bottom) / double(bottoms));
        return lean >= thinStroke && 2 * lean > box.width();
    };
    constexpr std::array<CutLevel, 3> cutLevels{{{2, 3, true}, {7, 8, false}, {15, 16, false}}};
    const size_t firstPiece = shapes.size();
    std::vector<bool> cut(shapes.size(), false);
    std::vector<size_t> pieceStack;
    // The piece of pixels that pass `deep` round (x, y), labelled anew as `pieceId`; its
    // pixels in `pixels`.
    const auto floodPiece = [&](int x, int y, bool light, int pieceId, const auto& deep, std::vector<size_t>& pixels) {
        Shape piece;
        piece.light = light;
        piece.level = light ? 0 : 255;
        int minX = x, maxX = x, minY = y, maxY = y;
        pixels.clear();
        label[size_t(y) * size_t(w) + size_t(x)] = pieceId;
        pieceStack.assign(1, size_t(y) * size_t(w) + size_t(x));
        while (!pieceStack.empty()) {
            const size_t p = pieceStack.back();
            pieceStack.pop_back();
            pixels.push_back(p);
            const int px = int(p % size_t(w)), py = int(p / size_t(w));
            const int v = grey.constScanLine(py)[px];
            piece.level = light ? std::max(piece.level, v) : std::min(piece.level, v);
            minX = std::min(minX, px), maxX = std::max(maxX, px), minY = std::min(minY, py), maxY = std::max(maxY, py);
            for (int ny = py - 1; ny <= py + 1; ++ny)
                for (int nx = px - 1; nx <= px + 1; ++nx)
                    if (deep(nx, ny)) {
                        label[size_t(ny) * size_t(w) + size_t(nx)] = pieceId;
                        pieceStack.push_back(size_t(ny) * size_t(w) + size_t(nx));
                    }
        }
        piece.area = int(pixels.size());
        piece.box = QRect(QPoint(minX, minY), QPoint(maxX, maxY));
        return piece;
    };
    // What a cut letter stands on: the median level round it, past its antialiased edge,
    // where that lies between the line's ground and its ink (the bright body it was cut
    // from); the line's ground elsewhere.
    const auto groundUnder = [&](const Shape& piece, int pieceId, int groundLevel, int inkLevel) {
        const QRect box = piece.box.adjusted(-halo, -halo, halo, halo).intersected(QRect(0, 0, w, h));
        auto ofPiece = [&](int x, int y) { return x >= 0 && y >= 0 && x < w && y < h && label[size_t(y) * size_t(w) + size_t(x)] == pieceId; };
        std::vector<int> levels;
        for (int y = box.top(); y <= box.bottom(); ++y)
            for (int x = box.left(); x <= box.right(); ++x) {
                bool edge = false;
                for (int ny = y - 1; ny <= y + 1 && !edge; ++ny)
                    for (int nx = x - 1; nx <= x + 1 && !edge; ++nx)
                        edge = ofPiece(nx, ny);
                if (!edge)
                    levels.push_back(grey.constScanLine(y)[x]);
            }
        if (levels.empty())
            return groundLevel;
        const int level = median(levels);
        const bool between = piece.light ? level >= groundLevel + groundContrast && level < inkLevel
                                         : level <= groundLevel - groundContrast && level > inkLevel;
        return between ? level : groundLevel;
    };
    std::vector<size_t> pixels;
    for (size_t l = 0; l < lines.size(); ++l) {
        Line& line = lines[l];
        if (line.count < 2)
            continue;
        const std::vector<int> ring = ringLevels(line.box), inkLevels = glyphLevels(line);
        if (ring.empty() || inkLevels.empty())
            continue;
        const int groundLevel = median(ring), inkLevel = median(inkLevels);
        const int inkDepth = line.light ? inkLevel - groundLevel : groundLevel - inkLevel;
        if (inkDepth < groundContrast)
            continue;
        const int gh = line.glyphHeight;
        const auto reachOf = [&](const QRect& box) {
            return box.adjusted(-joinGap * gh, -gh / 2, joinGap * gh, gh / 2).intersected(QRect(0, 0, w, h));
        };
        const QRect reach = reachOf(line.box);
        // Letters cut from a shape extend the line, and the shape is looked at again as far
        // as the line then reaches: the first letters of a word can all run into one bright
        // body («Смот» of «Смотреть» on a fur), further off the rest of the line than the
        // reach of its letters. Only a line of letters on one baseline reaches on; shapes of
        // a photo chained as a "line" would march on along its texture.
        bool onBaseline = false;
        {
            std::vector<int> bottoms;
            for (size_t k : line.shapes)
                bottoms.push_back(shapes[k].box.bottom());
            std::sort(bottoms.begin(), bottoms.end());
            const int near = std::max(2, gh / 8);
            for (size_t k = 0; k + size_t(leastRow) <= bottoms.size() && !onBaseline; ++k)
                onBaseline = bottoms[k + size_t(leastRow) - 1] - bottoms[k] <= near;
        }
        for (size_t i = 0; i < firstPiece; ++i) {
            // A glyph of another line is its own, unless that line is a shape or two over
            // twice as tall as these letters: a bright stripe of the photo they run into, on
            // a photo no word, and no letter of a size with them.
            const bool ownLine = shapes[i].line >= 0
                && (lines[size_t(shapes[i].line)].count >= leastRow || 5 * lines[size_t(shapes[i].line)].glyphHeight <= 11 * gh);
            if (shapes[i].light != line.light || ownLine || offColour[i]
                || shapes[i].box.height() <= line.box.height() || !shapes[i].box.intersects(reach))
                continue;
            const QRect& all = shapes[i].box;
            const int id = int(i) + 1;
            // A shape round the whole line is a frame (an outlined button's, of the text's
            // own colour): a bar at its side is its side, not a letter.
            const bool frames = all.left() < line.box.left() && all.right() > line.box.right()
                && all.top() < line.box.top() && all.bottom() > line.box.bottom();
            // The letters found at the levels before: a piece found at another one over them
            // is their antialiased edge, or them run into more of the shape.
            std::vector<QRect> found;
            for (QRect area = all.intersected(reach);;) {
                for (const CutLevel& level : cutLevels) {
                    const size_t earlier = found.size();
                    auto deep = [&](int x, int y) {
                        if (!area.contains(x, y) || label[size_t(y) * size_t(w) + size_t(x)] != id)
                            return false;
                        const int v = grey.constScanLine(y)[x];
                        return level.under * (line.light ? v - groundLevel : groundLevel - v) >= level.over * inkDepth;
                    };
                    for (int y = area.top(); y <= area.bottom(); ++y)
                        for (int x = area.left(); x <= area.right(); ++x) {
                            if (!deep(x, y))
                                continue;
                            Shape piece = floodPiece(x, y, line.light, int(shapes.size()) + 1, deep, pixels);
                            const int covered = std::min(piece.box.bottom(), line.box.bottom()) - std::max(piece.box.top(), line.box.top()) + 1;
                            // A piece running on out of the rows looked at is part of something
                            // larger (the page round a button), not a letter.
                            const bool whole = (piece.box.top() > area.top() || area.top() == all.top())
                                && (piece.box.bottom() < area.bottom() || area.bottom() == all.bottom())
                                && (piece.box.left() > area.left() || area.left() == all.left())
                                && (piece.box.right() < area.right() || area.right() == all.right());
                            const bool overEarlier = std::any_of(found.begin(), found.begin() + qsizetype(earlier),
                                [&](const QRect& letter) { return letter.intersects(piece.box); });
                            const bool strokes = !level.strokesOnly
                                || (strokeWidth(pixels, w) <= thinStroke && (piece.box.width() > 3 * thinStroke || slanted(piece.box, pixels)));
                            const bool side = frames && (piece.box.left() == all.left() || piece.box.right() == all.right())
                                && 4 * piece.box.width() <= piece.box.height();
                            if (!whole || side || 2 * piece.box.height() < gh || 5 * piece.box.height() > 11 * gh || 2 * covered < gh
                                || !glyphSized(piece.box) || overEarlier || !strokes) {
                                // Not a letter: set aside, so that the scan does not start from
                                // its pixels again, and given back to the shape below.
                                for (size_t p : pixels)
                                    label[p] = -id;
                                continue;
                            }
                            found.push_back(piece.box);
                            piece.under = groundUnder(piece, int(shapes.size()) + 1, groundLevel, inkLevel);
                            piece.glyph = true;
                            piece.line = int(l);
                            shapes.push_back(piece);
                            cut.push_back(false);
                            offColour.push_back(false);
                            line.shapes.push_back(shapes.size() - 1);
                            ++line.count;
                            line.box = line.box.united(piece.box);
                            cut[i] = true;
                        }
                    // Pixels set aside while scanning belong to the shape again.
                    for (int y = area.top(); y <= area.bottom(); ++y)
                        for (int x = area.left(); x <= area.right(); ++x)
                            if (label[size_t(y) * size_t(w) + size_t(x)] == -id)
                                label[size_t(y) * size_t(w) + size_t(x)] = id;
                }
                const QRect further = all.intersected(reachOf(line.box));
                if (!onBaseline || further == area)
                    break;
                area = further;
            }
            if (cut[i])
                line.crossing.erase(std::remove(line.crossing.begin(), line.crossing.end(), i), line.crossing.end());
        }
    }
    // The ground closed in by a cut letter (inside an "н") is its hollow, as in a whole one.
    for (size_t i = 0; i < firstPiece; ++i) {
        Shape& s = shapes[i];
        if (!s.glyph)
            continue;
        const int left = around(s, -1);
        if (left < int(firstPiece) || left != around(s, 1))
            continue;
        const Shape& o = shapes[size_t(left)];
        if (o.light == s.light || o.area <= s.area || !inside(s.box, o.box))
            continue;
        s.glyph = false;
        if (s.line < 0)
            continue;
        Line& line = lines[size_t(s.line)];
        line.shapes.erase(std::remove(line.shapes.begin(), line.shapes.end(), i), line.shapes.end());
        line.count = int(std::count_if(line.shapes.begin(), line.shapes.end(), [&](size_t k) { return shapes[k].glyph; }));
        line.box = QRect();
        for (size_t k : line.shapes)
            line.box = line.box.united(shapes[k].box);
        s.line = -1;
    }
    // A glyph inside a small square frame, one no taller than three of the line's small
    // letters and holding nothing else of the line, is the mark of a control (the tick of a
    // check box and the box's white, the dot of a radio button): no text. A frame is a
    // shape whose pixels keep to the edges of its box; the frame of a field round text
    // is long, and letters hold nothing but their hollows.
    std::vector<size_t> frames;
    for (size_t i = 0; i < shapes.size(); ++i) {
        const QRect& box = shapes[i].box;
        if (box.height() < leastGlyph || box.height() > tallestGlyph || 2 * box.width() < box.height() || 2 * box.height() < box.width())
            continue;
        const int edge = std::max(1, box.height() / 6);
        const QRect middle = box.adjusted(edge, edge, -edge, -edge);
        int inMiddle = 0;
        for (int y = middle.top(); y <= middle.bottom(); ++y) {
            const int* row = label.data() + size_t(y) * size_t(w);
            inMiddle += int(std::count(row + middle.left(), row + middle.right() + 1, int(i) + 1));
        }
        if (!middle.isEmpty() && 10 * inMiddle < shapes[i].area)
            frames.push_back(i);
    }
    std::vector<bool> frameShape(shapes.size(), false);
    for (size_t f : frames)
        frameShape[f] = true;
    std::vector<bool> control(shapes.size(), false);
    auto inFrame = [&](size_t i, int tallest) {
        for (size_t f : frames) {
            const QRect& box = shapes[f].box;
            if (f != i && box.height() <= tallest && inside(shapes[i].box, box.adjusted(1, 1, -1, -1)))
                return int(f);
        }
        return -1;
    };
    for (Line& line : lines) {
        std::vector<size_t> own;
        for (size_t i : line.shapes) {
            const int frame = inFrame(i, 3 * line.glyphHeight);
            const bool alone = frame >= 0 && std::none_of(line.shapes.begin(), line.shapes.end(), [&](size_t j) {
                return j != i && int(j) != frame && shapes[j].box.intersects(shapes[size_t(frame)].box);
            });
            // A control stands apart from its label; a letter of two hollows («в», «В») has
            // its word's letters close on both sides.
            const auto letterBeside = [&](bool before) {
                const QRect& f = shapes[size_t(frame)].box;
                const int gap = std::max(2, line.glyphHeight / 2);
                return std::any_of(line.shapes.begin(), line.shapes.end(), [&](size_t j) {
                    const QRect& b = shapes[j].box;
                    return j != i && int(j) != frame
                        && (before ? b.right() < f.left() && f.left() - b.right() <= gap : b.left() > f.right() && b.left() - f.right() <= gap);
                });
            };
            if (alone && letterBeside(true) && letterBeside(false)) {
                own.push_back(i);
                continue;
            }
            if (!alone) {
                own.push_back(i);
                continue;
            }
            control[i] = control[size_t(frame)] = true;
            shapes[i].glyph = false;
            shapes[i].line = -1;
        }
        // The control's box goes with its mark.
        std::erase_if(own, [&](size_t i) {
            if (!control[i])
                return false;
            shapes[i].glyph = false;
            shapes[i].line = -1;
            return true;
        });
        if (own.size() == line.shapes.size())
            continue;
        line.shapes = std::move(own);
        line.count = int(line.shapes.size());
        line.box = QRect();
        for (size_t i : line.shapes)
            line.box = line.box.united(shapes[i].box);
    }
    std::vector<size_t> controls;
    for (size_t f : frames)
        if (control[f])
            controls.push_back(f);
    // Two glyphs and more make a line, and so does a lone shape wider than tall: the
    // letters of a small word run together. A lone shape of a letter's width is an
    // icon, a bullet or a speck as often as a letter.
    // Such a shape is laid all the same where it stands as tall as the page's letters and
    // is no stroke, and what the engine reads on it is weighed then (a column's letter, a lone
    // «0» in a table).
    std::vector<bool> kept(lines.size()), lone(lines.size(), false);
    std::vector<int> letterHeights;
    for (const Line& line : lines)
        if (line.count >= leastRow)
            letterHeights.push_back(line.glyphHeight);
    const int letterHeight = letterHeights.empty() ? 0 : median(letterHeights);
    for (size_t l = 0; l < lines.size(); ++l) {
        const QRect& box = lines[l].box;
        kept[l] = lines[l].count >= 2 || (lines[l].count == 1 && 2 * box.width() >= 3 * box.height());
        if (kept[l] || lines[l].count != 1 || lines[l].shapes.empty())
            continue;
        // Filled and about square, it is a bullet; in a box, the tick of a check box.
        const Shape& only = shapes[lines[l].shapes.front()];
        const bool block = (2 * box.width() >= box.height() && 5 * only.area > 3 * box.width() * box.height())
            || std::any_of(containers.begin(), containers.end(), [&](const QRect& c) { return inside(box, c); });
        lone[l] = 5 * box.height() >= 3 * letterHeight
            && 5 * box.height() <= 8 * letterHeight && box.width() > thinStroke && !block && plainRing(box);
        kept[l] = kept[l] || lone[l];
    }
    // A lone wide shape under half a line's letters by that line is its mark (the breve
    // of a «й», a dash), not a word of its own.
    for (size_t l = 0; l < lines.size(); ++l) {
        if (lines[l].count != 1 || !kept[l])
            continue;
        const QRect& box = lines[l].box;
        for (const Line& other : lines) {
            const int reach = other.box.height();
            if (other.count >= 2 && other.light == lines[l].light && 2 * box.height() <= other.glyphHeight
                && other.box.adjusted(-2 * reach, -reach / 2, 2 * reach, reach / 2).contains(box)) {
                kept[l] = false;
                shapes[lines[l].shapes.front()].line = -1;
                break;
            }
        }
    }
    // A lone shape holding a line of the other polarity is the fill that line is written
    // on (a pill-shaped button, too round to count as filled whole), not a word run
    // together: the hollows of such a word are no line of their own.
    for (size_t l = 0; l < lines.size(); ++l) {
        if (lines[l].count != 1 || !kept[l])
            continue;
        for (size_t o = 0; o < lines.size(); ++o) {
            if (o != l && kept[o] && lines[o].count >= 2 && lines[o].light != lines[l].light && inside(lines[o].box, lines[l].box)) {
                kept[l] = false;
                shapes[lines[l].shapes.front()].line = -1;
                break;
            }
        }
    }
    // Marks (dots, commas, accents, a hyphen, a period of large text) join the line
    // they stand in: beside its glyphs, among them or above them as accents, never
    // below its descenders. Where they stand is judged by the glyphs alone, so that
    // marks do not carry a line off into the specks of a photo.
    std::vector<QRect> glyphBoxes;
    for (const Line& line : lines)
        glyphBoxes.push_back(line.box);
    // A line's ink level from its glyphs alone, before marks join; its ground when
    // first asked.
    std::vector<int> inkOf(lines.size(), -1);
    for (size_t l = 0; l < lines.size(); ++l)
        if (const std::vector<int> levels = glyphLevels(lines[l]); kept[l] && !levels.empty())
            inkOf[l] = median(levels);
    struct Levels {
        int ground = 0;
        int ink = 0;
        bool plain = true; // the ring is of one level: a page, a fill
        bool flat = true;  // or of two: a fill, a frame on a page; no photo
    };
    std::vector<std::optional<Levels>> groundAndInk(lines.size());
    auto levelsOf = [&](size_t l) {
        if (!groundAndInk[l]) {
            const std::vector<int> ring = ringLevels(glyphBoxes[l]);
            Levels levels;
            if (!ring.empty() && inkOf[l] >= 0)
                levels = {median(ring), inkOf[l], plainRing(glyphBoxes[l]), flatRing(glyphBoxes[l])};
            groundAndInk[l] = levels;
        }
        return *groundAndInk[l];
    };
    for (size_t i = 0; i < shapes.size(); ++i) {
        Shape& s = shapes[i];
        if ((s.line >= 0 && kept[size_t(s.line)]) || offColour[i] || control[i])
            continue;
        // Nor is what a control's box holds a mark.
        if (std::any_of(controls.begin(), controls.end(), [&](size_t f) { return inside(s.box, shapes[f].box); }))
            continue;
        for (size_t l = 0; l < lines.size(); ++l) {
            const Line& line = lines[l];
            // A mark is no taller than the line (a dense bold letter, taken for a fill,
            // is a mark too).
            const QRect& glyphBox = glyphBoxes[l];
            if (!kept[l] || line.light != s.light || s.box.width() > 2 * glyphBox.height() || s.box.height() > glyphBox.height()
                || line.shapes.empty() || shapes[line.shapes.front()].fill != s.fill)
                continue;
            // Further off the glyphs than a letter's width a mark (the "=" between two
            // words a few blanks apart) is of the text's colour: the specks of a photo
            // beside a word shade off from it.
            const int reach = glyphBox.height();
            const int gap = std::max({glyphBox.left() - s.box.right(), s.box.left() - glyphBox.right(), 0});
            // On a photo every mark is: the specks among the letters grow the line over the
            // photo's lights, whose level then passes for its ground. There a speck of the
            // text's colour further off than a letter's width is as likely one of the photo's
            // lights (a pale cell beside a white heading): marks join only that close.
            // A dot (of an «i», a colon, a period) is let join by where it stands off a
            // photo: at 1× its one pixel is lighter than the text's colour.
            const bool dot = s.box.width() < leastGlyph && s.box.height() < leastGlyph;
            // A stroke of a pixel or two, smoothed over its neighbours, is lighter than the
            // text (the lower bar of a code font's "="): over its width its ink adds up to
            // the text's. Off a photo only, whose specks are as thin.
            auto ownColour = [&] {
                const Levels levels = levelsOf(l);
                const int depth = std::abs(levels.ink - levels.ground);
                const int thickness = std::min(s.box.width(), s.box.height());
                const bool thin = !dot && thickness <= thinStroke && levels.flat && std::abs(s.level - levels.ground) <= depth
                    && std::abs(s.level - levels.ink) <= depth;
                return 4 * std::abs(s.level - levels.ink) <= depth
                    || (thin && 4 * thickness * std::abs(s.level - levels.ground) >= 3 * depth);
            };
            if (glyphBox.adjusted(-2 * reach, -reach / 2, 2 * reach, reach / 4).contains(s.box)
                && ((gap <= line.glyphHeight && (levelsOf(l).plain || (dot && levelsOf(l).flat)))
                    || ((gap <= line.glyphHeight || levelsOf(l).flat) && ownColour()))) {
                s.line = int(l);
                lines[l].shapes.push_back(i);
                lines[l].box = lines[l].box.united(s.box);
                break;
            }
        }
    }

    TextLayer layer;
    layer.view = QImage(w, h, QImage::Format_Grayscale8);
    if (layer.view.isNull())
        throw TarnwickError::message(QStringLiteral("Не хватает памяти для распознавания текста."));
    // The paper keeps the picture's own level where that is light (a white or grey
    // page reads exactly as drawn) and the inverse of it where dark (a terminal).
    const int common = mostCommonGrey(grey);
    const int paper = std::max(common, 255 - common);
    layer.view.fill(paper);
    // The lines laid, each with its ground and its depth off that ground.
    struct Laid {
        size_t line;
        int groundLevel;
        int depth;
        bool plainRing;
        bool flatRing;
    };
    // A line's ground: the levels of the ring round it and their median, its ink level,
    // whether it stands on a plain fill, and whether it is a pocket of the ground itself.
    struct Ground {
        bool known = false;
        std::vector<int> ring;
        int level = 0, inkLevel = 0;
        bool onFill = false, pocket = false;
    };
    const auto groundOf = [&](size_t l) {
        const Line& line = lines[l];
        // The ground: the median level of a ring round the line's box. A line of the
        // ground's own level, or of the level of much of the ring, is the ground itself:
        // the pockets of dark ground between the strokes of large light letters, the
        // white between rows of dark text.
        Ground g;
        g.ring = ringLevels(line.box);
        const std::vector<int> levels = glyphLevels(line);
        if (g.ring.empty() || levels.empty())
            return g;
        g.known = true;
        const std::vector<int>& ground = g.ring;
        const int groundLevel = g.level = median(ground), inkLevel = g.inkLevel = median(levels);
        // A line on a plain fill beside it, in its own rows, is kept though much of the ring
        // is of its level: a fill only a little taller than its light label (a button, a
        // selected row) ends within the ring above and below, and the page past it may be
        // as light as the label. Pockets of ground and a photo have no plain fill beside.
        // A label may start next to the frame of its list: where the ring is of a level
        // or two, as a page, a row and a frame are and a photo is not, the fill on one side
        // is enough if it runs on along the line's rows as a selected row does.
        auto plainSides = [&](int ringWidth) {
            int sides = 0;
            for (const std::vector<int>& beside : besideLevels(line.box, ringWidth))
                sides += !beside.empty() && plainAt(beside, groundLevel);
            return sides;
        };
        const int ringWidth = std::max(2, line.box.height() / 4);
        const bool onFill = g.onFill = plainSides(ringWidth) == 2
            || (plainSides(2 * line.box.height()) == 1 && flatRing(line.box));
        // On a photo the ring's pixels of the line's level are as likely the photo's lights
        // round light words (or its darks round dark ones): round a line of many letters
        // there, only letters of another line make it a pocket of ground.
        const bool photoRing = line.count >= fewGlyphs && !flatRing(line.box);
        qsizetype likeInk = 0;
        {
            const QRect ring = line.box.adjusted(-ringWidth, -ringWidth, ringWidth, ringWidth).intersected(QRect(0, 0, w, h));
            const int fill = fillOf(line.box);
            for (int y = ring.top(); y <= ring.bottom(); ++y) {
                const uchar* row = grey.constScanLine(y);
                for (int x = ring.left(); x <= ring.right(); ++x) {
                    if (line.box.contains(x, y) || std::abs(row[x] - inkLevel) >= groundContrast || !ofGround(fill, x, y))
                        continue;
                    const int id = label[size_t(y) * size_t(w) + size_t(x)];
                    likeInk += !photoRing || (id > 0 && shapes[size_t(id - 1)].glyph && shapes[size_t(id - 1)].line != int(l));
                }
            }
        }
        g.pocket = std::abs(inkLevel - groundLevel) < groundContrast || (4 * likeInk >= qsizetype(ground.size()) && !onFill);
        return g;
    };
    // Each line's ground, ahead of laying any: the shadow of a line's letters, a line of the
    // other polarity across it, counts against it only where it is no pocket of ground.
    std::vector<Ground> grounds(lines.size());
    for (size_t l = 0; l < lines.size(); ++l)
        if (kept[l])
            grounds[l] = groundOf(l);
    // A glyph alone is laid only as deep as the page's text, two fifths of it at least: the
    // corner of a pale frame is no letter.
    std::vector<int> textDepths;
    for (size_t l = 0; l < lines.size(); ++l)
        if (kept[l] && lines[l].count >= leastRow && grounds[l].known && !grounds[l].pocket)
            textDepths.push_back(std::abs(grounds[l].inkLevel - grounds[l].level));
    const int textDepth = textDepths.empty() ? 0 : median(textDepths);
    // Whether a line's letters stand along one sloping baseline, its box twice as tall as
    // they are: a page turned a degree or two. A photo's shapes chained as a line stand at
    // any height.
    const auto turned = [&](const Line& line) {
        if (line.count < fewGlyphs || line.box.height() <= 2 * line.glyphHeight)
            return false;
        double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
        for (size_t i : line.shapes) {
            const double x = shapes[i].box.center().x(), y = shapes[i].box.bottom();
            n += 1, sx += x, sy += y, sxx += x * x, sxy += x * y;
        }
        const double slope = (n * sxy - sx * sy) / std::max(1.0, n * sxx - sx * sx), base = (sy - slope * sx) / n;
        const auto onBaseline = std::count_if(line.shapes.begin(), line.shapes.end(), [&](size_t i) {
            return 4 * std::abs(shapes[i].box.bottom() - (base + slope * shapes[i].box.center().x())) <= line.glyphHeight;
        });
        return 3 * onBaseline >= 2 * line.count;
    };
    std::vector<Laid> laid;
    for (size_t l = 0; l < lines.size(); ++l) {
        if (!kept[l])
            continue;
        const Line& line = lines[l];
        const Ground& g = grounds[l];
        if (!g.known || g.pocket || (lone[l] && 5 * std::abs(g.inkLevel - g.level) < 2 * textDepth))
            continue;
        const std::vector<int>& ground = g.ring;
        const int groundLevel = g.level, inkLevel = g.inkLevel;
        const bool onFill = g.onFill;
        // Text is drawn in one colour: from glyphs of lineCore rows up, a quarter of its
        // pixels and more stand within a quarter of the strongest depth. A photo's shapes
        // shade off from a few extreme pixels, on a ground that is no plain colour either.
        // Smaller glyphs have strokes of a pixel or two, which smoothing spreads over their
        // neighbours, and so do enlarged grey letters; on a plain ground they are let be.
        int strongest = 0;
        for (size_t i : line.shapes)
            if (shapes[i].glyph)
                strongest = std::max(strongest, line.light ? shapes[i].level - groundLevel : groundLevel - shapes[i].level);
        // Each glyph's pixels and those of them at the text's level, by the glyph's place
        // in the line; all the line's.
        auto atLevel = [&](std::vector<std::pair<int64_t, int64_t>>* ofShape) {
            QHash<size_t, size_t> place;
            for (size_t k = 0; ofShape && k < line.shapes.size(); ++k)
                place.insert(line.shapes[k], k);
            std::pair<int64_t, int64_t> all;
            for (int y = line.box.top(); y <= line.box.bottom(); ++y) {
                const uchar* row = grey.constScanLine(y);
                for (int x = line.box.left(); x <= line.box.right(); ++x) {
                    const int id = label[size_t(y) * size_t(w) + size_t(x)];
                    if (!id || !shapes[size_t(id - 1)].glyph || shapes[size_t(id - 1)].line != int(l))
                        continue;
                    const bool deep = 4 * (line.light ? row[x] - groundLevel : groundLevel - row[x]) >= 3 * strongest;
                    ++all.first;
                    all.second += deep;
                    if (ofShape) {
                        const size_t k = place.value(size_t(id - 1));
                        ++(*ofShape)[k].first;
                        (*ofShape)[k].second += deep;
                    }
                }
            }
            return all;
        };
        const auto [inkPixels, deep] = atLevel(nullptr);
        // The ring of a line turned a little takes in the letters of the lines above and
        // below it; the ground between them is what tells a page from a photo.
        const bool onPlain = plainAt(ground, groundLevel) || (turned(line) && plainBetweenShapes(line.box));
        if (line.glyphHeight >= lineCore && 4 * deep < inkPixels && !onPlain) {
            // Shapes of the photo chained onto a line of letters (the bright cheek beside a
            // caption), taller than its letters, outweigh a few small ones. Where most of its
            // glyphs, a word's worth and more, are of the text's one level, the line is those
            // letters alone, judged again as such.
            std::vector<std::pair<int64_t, int64_t>> ofShape(line.shapes.size());
            atLevel(&ofShape);
            std::vector<size_t> ofLevel, offLevel;
            std::vector<int> letterHeights;
            for (size_t k = 0; k < line.shapes.size(); ++k)
                if (const size_t i = line.shapes[k]; shapes[i].glyph) {
                    const bool of = 4 * ofShape[k].second >= ofShape[k].first;
                    (of ? ofLevel : offLevel).push_back(i);
                    if (of)
                        letterHeights.push_back(shapes[i].box.height());
                }
            if (offLevel.empty() || int(ofLevel.size()) < fewGlyphs || ofLevel.size() <= offLevel.size())
                continue;
            const int letterHeight = median(letterHeights);
            if (std::any_of(offLevel.begin(), offLevel.end(), [&](size_t i) { return 2 * shapes[i].box.height() < 3 * letterHeight; }))
                continue;
            Line& trimmed = lines[l];
            for (size_t i : offLevel) {
                shapes[i].glyph = false;
                shapes[i].line = -1;
            }
            // The marks only the shapes of the photo reached go with them.
            QRect letters;
            for (size_t i : ofLevel)
                letters = letters.united(shapes[i].box);
            const QRect reach = letters.adjusted(-letterHeight, -letterHeight, letterHeight, letterHeight);
            for (size_t i : trimmed.shapes)
                if (!shapes[i].glyph && !shapes[i].box.intersects(reach))
                    shapes[i].line = -1;
            std::erase_if(trimmed.shapes, [&](size_t i) { return shapes[i].line != int(l); });
            trimmed.box = QRect();
            for (size_t i : trimmed.shapes)
                trimmed.box = trimmed.box.united(shapes[i].box);
            trimmed.count = int(ofLevel.size());
            trimmed.glyphHeight = letterHeight;
            // And the line is laid or dropped as it now stands.
            grounds[l] = groundOf(l);
            --l;
            continue;
        }
        // A word or two is little to go by: its letters stand at the text's one level,
        // where shapes of a photo lined up by chance shade from light to dark. Thin
        // strokes of small text on a plain ground are let be, as above, and so are the
        // letters of one thin stroke there ("l", "i" at 1×), which smoothing leaves grey.
        std::vector<int> letterDepths;
        for (size_t i : line.shapes)
            if (shapes[i].glyph && 2 * shapes[i].box.height() >= line.glyphHeight && !(onPlain && shapes[i].box.width() <= thinStroke))
                letterDepths.push_back(line.light ? shapes[i].level - groundLevel : groundLevel - shapes[i].level);
        const int letterCount = int(letterDepths.size());
        const int deepest = letterDepths.empty() ? 0 : *std::max_element(letterDepths.begin(), letterDepths.end());
        const auto ofInkLevel = std::count_if(letterDepths.begin(), letterDepths.end(), [&](int d) { return 4 * d >= 3 * deepest; });
        if ((!onPlain || line.glyphHeight >= lineCore) && letterCount < fewGlyphs && 4 * ofInkLevel < 3 * letterCount)
            continue;
        // A few shapes on a photo, most of them strokes (a zipper's teeth, a tower's
        // lattice, streaks of hair) or cut off flat where the photo ends on the page, are
        // the photo's: in a word most letters are wider than a stroke, and a letter ends
        // on the ground round it. The page is the picture's most common level; a flat
        // patch of the photo itself (a stripe of a flag) over a letter cuts nothing off.
        if (!onPlain && letterCount < fewGlyphs) {
            int strokes = 0, cutOff = 0;
            auto rowOff = [&](int y, const QRect& box) {
                if (y < 0 || y >= h)
                    return false;
                const uchar* row = grey.constScanLine(y);
                const auto [low, high] = std::minmax_element(row + box.left(), row + box.right() + 1);
                return *high - *low <= plainGround && std::abs((*low + *high) / 2 - groundLevel) >= groundContrast
                    && std::abs((*low + *high) / 2 - common) <= plainGround;
            };
            for (size_t i : line.shapes) {
                const Shape& s = shapes[i];
                if (!s.glyph || 2 * s.box.height() < line.glyphHeight)
                    continue;
                // A stroke: thin for its height, or, twice as tall as wide, hardly wider than
                // the pixels it has in most of its rows (a strand of embroidery, a strut);
                // a letter is wider than its strokes, its rows cross two of them or a gap.
                std::vector<int> across;
                for (int y = s.box.top(); y <= s.box.bottom(); ++y) {
                    int pixels = 0;
                    for (int x = s.box.left(); x <= s.box.right(); ++x)
                        pixels += label[size_t(y) * size_t(w) + size_t(x)] == int(i) + 1;
                    if (pixels > 0)
                        across.push_back(pixels);
                }
                const bool oneStroke = !across.empty() && 2 * s.box.width() <= 3 * median(across) && 2 * s.box.width() < s.box.height();
                strokes += 5 * s.box.width() <= s.box.height() || oneStroke;
                cutOff += rowOff(s.box.bottom() + 1, s.box) || rowOff(s.box.top() - 1, s.box);
            }
            if (2 * strokes >= letterCount || 2 * cutOff > letterCount)
                continue;
        }
        // Letters from lineCore rows up stand apart, each about as wide as tall, a few run
        // together at most; a photo's strip of shade (a horizon, a fold) is a shape many
        // times as wide as tall. A line that is mostly such shapes off a plain ground is
        // the photo's.
        if (!onPlain && line.glyphHeight >= lineCore) {
            int64_t across = 0, strips = 0;
            for (size_t i : line.shapes)
                if (shapes[i].glyph) {
                    const QRect& box = shapes[i].box;
                    across += box.width();
                    strips += box.width() > stripWidth * std::max(box.height(), line.glyphHeight) ? box.width() : 0;
                }
            if (2 * strips > across)
                continue;
        }
        // The letters of a word stand closer than their height, and so do words; a few
        // shapes off a plain ground that mostly stand a height apart and more are specks
        // and streaks of a photo strewn along a row. Beside the words of a line they may
        // be what is left of a word the photo's lights ran into, or marks of the line.
        const bool besideWords = std::any_of(lines.begin(), lines.end(), [&](const Line& other) {
            const int reach = joinGap * other.glyphHeight;
            return &other != &line && kept[size_t(&other - lines.data())] && other.light == line.light && other.count > line.count
                && onOneLine(other.box, line.box) && other.box.adjusted(-reach, 0, reach, 0).intersects(line.box);
        });
        if (!onPlain && letterCount < fewGlyphs && !besideWords) {
            std::vector<QRect> boxes;
            for (size_t i : line.shapes)
                if (shapes[i].glyph)
                    boxes.push_back(shapes[i].box);
            std::sort(boxes.begin(), boxes.end(), [](const QRect& a, const QRect& b) { return a.left() < b.left(); });
            std::vector<int> gaps;
            int right = -1;
            for (const QRect& box : boxes) {
                if (right >= 0)
                    gaps.push_back(box.left() - right - 1);
                right = std::max(right, box.right());
            }
            if (!gaps.empty() && median(gaps) >= line.glyphHeight)
                continue;
        }
        // A few letters on a photo are judged further by what follows.
        const bool flat = flatRing(line.box);
        const bool fewOnPhoto = letterCount < fewGlyphs && !flat;
        // Letters come in a height or two: small ones, and capitals with ascenders; most
        // letters of a word share their height with another. Streaks and stripes of a
        // photo lined up stand each as tall as they happen to be.
        if (fewOnPhoto && letterCount >= leastRow) {
            std::vector<int> heights;
            for (size_t i : line.shapes)
                if (shapes[i].glyph && 2 * shapes[i].box.height() >= line.glyphHeight)
                    heights.push_back(shapes[i].box.height());
            const int near = std::max(2, line.glyphHeight / 8);
            int shared = 0;
            for (size_t k = 0; k < heights.size(); ++k)
                for (size_t j = 0; j < heights.size(); ++j)
                    if (j != k && std::abs(heights[j] - heights[k]) <= near) {
                        ++shared;
                        break;
                    }
            if (2 * shared < int(heights.size()))
                continue;
        }
        // Text of one polarity stands on the ground of the other: a few shapes on a photo
        // across a line of more letters of the other polarity are its texture (or the
        // shadow of its letters), not a word over it.
        if (fewOnPhoto
            && std::any_of(lines.begin(), lines.end(), [&](const Line& other) {
                   const QRect common = other.box.intersected(line.box);
                   const qint64 least = std::min(qint64(other.box.width()) * other.box.height(), qint64(line.box.width()) * line.box.height());
                   const size_t o = size_t(&other - lines.data());
                   // The shadow of the line's own letters: as wide and tall within half a
                   // height, and of the ground's level itself.
                   const int near = line.box.height() / 2;
                   const bool shadow = grounds[o].pocket && std::abs(other.box.left() - line.box.left()) <= near
                       && std::abs(other.box.right() - line.box.right()) <= near && std::abs(other.box.top() - line.box.top()) <= near
                       && std::abs(other.box.bottom() - line.box.bottom()) <= near;
                   return &other != &line && other.light != line.light && other.count > line.count && !common.isEmpty()
                       && 2 * qint64(common.width()) * common.height() >= least && kept[o] && !shadow;
               }))
            continue;
        // Over a photo a word's letters have a core of the text's one colour, a third of
        // their pixels at least; shapes of the photo only peak at a level and shade off.
        // Strokes of a pixel or two have no core: smoothing spreads each over two columns.
        if (fewOnPhoto && line.glyphHeight >= lineCore) {
            int64_t letterPixels = 0, core = 0;
            std::vector<int> strokes;
            for (size_t i : line.shapes) {
                const Shape& s = shapes[i];
                if (!s.glyph || 2 * s.box.height() < line.glyphHeight)
                    continue;
                for (int y = s.box.top(); y <= s.box.bottom(); ++y) {
                    const uchar* row = grey.constScanLine(y);
                    int run = 0;
                    for (int x = s.box.left(); x <= s.box.right() + 1; ++x) {
                        if (x <= s.box.right() && label[size_t(y) * size_t(w) + size_t(x)] == int(i) + 1) {
                            ++letterPixels;
                            core += std::abs(row[x] - inkLevel) <= plainGround;
                            ++run;
                        } else if (run > 0) {
                            strokes.push_back(run);
                            run = 0;
                        }
                    }
                }
            }
            if (!strokes.empty() && median(strokes) <= thinStroke)
                core = letterPixels;
            if (3 * core < letterPixels)
                continue;
        }
        // Over a photo a shape or two lined up by chance is as likely its texture: text
        // there is a word of letters at least. Small signs are judged by the ground
        // between the shapes round them, so that one between two words of code stands on
        // its page.
        if (fewOnPhoto && !onFill && letterCount < 3 && (line.glyphHeight >= lineCore || !plainBetweenShapes(line.box)))
            continue;
        layer.lines.push_back({line.box, line.light, !flat, lone[l]});
        laid.push_back({l, groundLevel, std::abs(inkLevel - groundLevel), onPlain, flat});
    }
    // Words over a photo stand off it more than its texture does: a line on a photo round
    // words of the other polarity that stand further off their ground is the photo's
    // texture round them (the dark grain round white words), not text they interleave with.
    {
        std::vector<bool> texture(laid.size(), false);
        for (size_t a = 0; a < laid.size(); ++a) {
            const Line& line = lines[laid[a].line];
            if (laid[a].plainRing || laid[a].flatRing)
                continue;
            for (size_t b = 0; b < laid.size() && !texture[a]; ++b) {
                const Line& words = lines[laid[b].line];
                texture[a] = words.light != line.light && words.count >= leastRow && inside(words.box, line.box)
                    && line.box.height() >= 2 * words.box.height() && laid[b].depth > laid[a].depth;
            }
        }
        // A few shapes on a photo are a word only where they stand off the photo as the
        // picture's text does: far fainter than its lines of many letters, they are specks
        // of the photo lined up.
        int textDepth = 0;
        for (const Laid& each : laid)
            if (lines[each.line].count >= fewGlyphs && !each.plainRing)
                textDepth = std::max(textDepth, each.depth);
        for (size_t a = 0; a < laid.size(); ++a)
            if (lines[laid[a].line].count < fewGlyphs && !laid[a].plainRing && 2 * laid[a].depth < textDepth)
                texture[a] = true;
        for (size_t a = laid.size(); a-- > 0;)
            if (texture[a]) {
                laid.erase(laid.begin() + qsizetype(a));
                layer.lines.erase(layer.lines.begin() + qsizetype(a));
            }
    }
    // A faint line on a plain ground beside lines twice as deep is raised to their
    // depth: a light grey time under black words falls to the paper's side of the
    // engine's one threshold for the block. On a photo a faint line is as likely its
    // texture, and stays faint; lines of about one depth pass the threshold together
    // as drawn. The ground's own play (the shading of a bubble) is not raised with it:
    // depths within the plain ground's range stay paper.
    int deepest = 0;
    for (const Laid& each : laid)
        deepest = std::max(deepest, each.depth);
    std::vector<uint8_t> ofLine(shapes.size(), 0);
    for (const Laid& each : laid) {
        const Line& line = lines[each.line];
        const int groundLevel = each.groundLevel;
        const bool raised = each.plainRing && 2 * each.depth < deepest;
        const int floor = raised ? plainGround : 0;
        const int toDepth = raised ? deepest : 1, fromDepth = raised ? std::max(each.depth - plainGround, 1) : 1;
        // The line's shapes and the pixels round them, laid on the paper at their own
        // contrast: antialiased edges stay as drawn, while the ground (a button's fill,
        // a photo) and whatever is no part of the line turn to paper.
        for (size_t i : line.shapes)
            ofLine[i] = 1;
        for (size_t i : line.crossing)
            ofLine[i] = 1;
        const QRect area = line.box.adjusted(-halo, -halo, halo, halo).intersected(QRect(0, 0, w, h));
        const int aw = area.width(), ah = area.height();
        // Round a letter cut from the photo its depth is taken from what it stands on and
        // stretched to the line's: that ground turns to paper and the letter keeps its weight.
        const int inkLevel = line.light ? groundLevel + each.depth : groundLevel - each.depth;
        std::vector<int> groundAt(size_t(aw) * size_t(ah), groundLevel);
        for (size_t i : line.shapes) {
            const Shape& s = shapes[i];
            if (s.under < 0 || (line.light ? s.under <= groundLevel || s.under >= inkLevel : s.under >= groundLevel || s.under <= inkLevel))
                continue;
            const QRect near = s.box.adjusted(-halo, -halo, halo, halo).intersected(area);
            for (int y = near.top(); y <= near.bottom(); ++y)
                for (int x = near.left(); x <= near.right(); ++x) {
                    int& at = groundAt[size_t(y - area.top()) * size_t(aw) + size_t(x - area.left())];
                    at = line.light ? std::max(at, s.under) : std::min(at, s.under);
                }
        }
        // The line's own pixels, grown by the halo across then down.
        std::vector<uint8_t> own(size_t(aw) * size_t(ah), 0), grown(own.size(), 0);
        for (int y = 0; y < ah; ++y)
            for (int x = 0; x < aw; ++x) {
                const int id = label[size_t(y + area.top()) * size_t(w) + size_t(x + area.left())];
                if (id && ofLine[size_t(id - 1)])
                    for (int dx = std::max(0, x - halo); dx <= std::min(aw - 1, x + halo); ++dx)
                        own[size_t(y) * size_t(aw) + size_t(dx)] = 1;
            }
        for (int y = 0; y < ah; ++y)
            for (int x = 0; x < aw; ++x)
                if (own[size_t(y) * size_t(aw) + size_t(x)])
                    for (int dy = std::max(0, y - halo); dy <= std::min(ah - 1, y + halo); ++dy)
                        grown[size_t(dy) * size_t(aw) + size_t(x)] = 1;
        // A line in a fill keeps to it: past a selection's edge the page is no ink.
        const int fill = fillOf(line.box);
        int strongest = 0;
        for (size_t i : line.shapes)
            strongest = std::max(strongest, line.light ? shapes[i].level - groundLevel : groundLevel - shapes[i].level);
        // A mark over or under a letter of that colour (the dot of a pink "i") is of it.
        const auto markOfFaint = [&](const Shape& m) {
            return std::any_of(line.shapes.begin(), line.shapes.end(), [&](size_t i) {
                const Shape& g = shapes[i];
                return g.glyph && m.box.left() <= g.box.right() && m.box.right() >= g.box.left()
                    && std::abs(g.level - m.level) <= plainGround * 2;
            });
        };
        for (int y = 0; y < ah; ++y) {
            const uchar* row = grey.constScanLine(y + area.top()) + area.left();
            uchar* out = layer.view.scanLine(y + area.top()) + area.left();
            const uint8_t* near = grown.data() + size_t(y) * size_t(aw);
            for (int x = 0; x < aw; ++x) {
                if (!near[x] || !ofGround(fill, x + area.left(), y + area.top()))
                    continue;
                // What is left of a shape a letter was cut from stays paper.
                if (const int id = label[size_t(y + area.top()) * size_t(w) + size_t(x + area.left())]; id && cut[size_t(id - 1)])
                    continue;
                const int under = groundAt[size_t(y) * size_t(aw) + size_t(x)];
                int depth = under == groundLevel
                    ? ((line.light ? row[x] - groundLevel : groundLevel - row[x]) - floor) * toDepth / fromDepth
                    : (line.light ? row[x] - under : under - row[x]) * each.depth / std::max(1, std::abs(inkLevel - under));
                // On a flat ground a glyph of another colour (a red "M" among grey words) is
                // laid as deep as the line: the engine's one threshold would take it for paper.
                if (const int id = label[size_t(y + area.top()) * size_t(w) + size_t(x + area.left())];
                    id && ofLine[size_t(id - 1)] && each.flatRing && under == groundLevel
                    && !(size_t(id - 1) < frameShape.size() && frameShape[size_t(id - 1)])) {
                    const Shape& s = shapes[size_t(id - 1)];
                    const int own = line.light ? s.level - groundLevel : groundLevel - s.level;
                    if (own > 0 && 5 * own < 2 * strongest && (s.glyph || markOfFaint(s)))
                        depth = depth * each.depth / own;
                }
                out[x] = uchar(std::min(int(out[x]), paper - std::clamp(depth, 0, paper)));
            }
        }
        for (size_t i : line.shapes)
            ofLine[i] = 0;
        for (size_t i : line.crossing)
            ofLine[i] = 0;
    }
    return layer;
}

} // namespace tarnwick::ScreenTextRecognizer::stages
