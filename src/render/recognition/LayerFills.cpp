// The ink of a grey picture: takes its levels, gives each pixel's polarity against the mean
// round it, and the fills (badges, buttons, selections) whose labels are judged against the
// fill alone.

#include "render/recognition/TextLayerStages.h"

#include "render/recognition/GreyImage.h"

#include <cmath>

namespace tarnwick::ScreenTextRecognizer::stages::layer {

namespace {

// Levels a plain patch takes within itself.
constexpr int plainStep = 12;
// The antialiased rim round a fill is part of its edge, not ink.
constexpr int fillRim = 2;
// A badge or a button holds a few words between its padding; a wider patch (a bar, a
// selected row) is taken by the signs it holds, padded or not.
constexpr int widestFill = 8;

// The polarity of each pixel of a `bw` × `bh` area whose `in` pixels count, against the
// mean of the square round it over them; `level(x, y)` gives a pixel's level, `judge`
// whether it is asked at all, `set` takes the answer.
template <typename Level, typename In, typename Judge, typename Set>
void byMeanAround(int bw, int bh, const Level& level, const In& in, const Judge& judge, const Set& set)
{
    std::vector<int64_t> sums(size_t(bw + 1) * size_t(bh + 1), 0);
    std::vector<int32_t> counts(sums.size(), 0);
    const auto at = [&](const auto& table, int x, int y) { return table[size_t(y) * size_t(bw + 1) + size_t(x)]; };
    for (int y = 0; y < bh; ++y) {
        int64_t run = 0;
        int32_t countRun = 0;
        for (int x = 0; x < bw; ++x) {
            const bool counted = in(x, y);
            run += counted ? level(x, y) : 0;
            countRun += counted;
            sums[size_t(y + 1) * size_t(bw + 1) + size_t(x + 1)] = at(sums, x + 1, y) + run;
            counts[size_t(y + 1) * size_t(bw + 1) + size_t(x + 1)] = at(counts, x + 1, y) + countRun;
        }
    }
    for (int y = 0; y < bh; ++y) {
        const int y0 = std::max(0, y - surround), y1 = std::min(bh, y + surround + 1);
        for (int x = 0; x < bw; ++x) {
            if (!judge(x, y))
                continue;
            const int x0 = std::max(0, x - surround), x1 = std::min(bw, x + surround + 1);
            const int64_t area = at(counts, x1, y1) - at(counts, x0, y1) - at(counts, x1, y0) + at(counts, x0, y0);
            const int64_t sum = at(sums, x1, y1) - at(sums, x0, y1) - at(sums, x1, y0) + at(sums, x0, y0);
            const int64_t v = int64_t(level(x, y)) * area;
            set(x, y, uint8_t(v < sum - inkContrast * area ? 1 : v > sum + inkContrast * area ? 2 : 0));
        }
    }
}

// A plain patch of one level (a badge, a pill, a button, the page).
struct Patch {
    QRect box;
    int level = 0;
    bool border = false; // runs to the picture's edge: the page itself, a panel cut off
    bool padded = false; // solid columns before its label and after it
    int rim = fillRim;   // how far its edge reaches: no further than what stands next to it
};

class FillFinder {
public:
    explicit FillFinder(const QImage& grey)
        : grey_(grey)
        , w_(grey.width())
        , h_(grey.height())
        , page_(mostCommonGrey(grey))
        , patch_(size_t(w_) * size_t(h_), -1)
    {
        result_.ink.assign(patch_.size(), unheld);
        flood();
    }

    FillInk fills()
    {
        // Larger fills first, so that a button on a panel is judged by the button.
        std::vector<size_t> order;
        for (size_t f = 0; f < patches_.size(); ++f)
            if (candidate(f))
                order.push_back(f);
        std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            const QRect &ba = patches_[a].box, &bb = patches_[b].box;
            return qint64(ba.width()) * ba.height() > qint64(bb.width()) * bb.height();
        });
        for (size_t f : order) {
            const int page = pageRound(f);
            if (page < 0)
                continue;
            markOutside(f, page);
            if (holdsALabel(f))
                judgeWithin(f);
        }
        return std::move(result_);
    }

private:
    int levelAt(int x, int y) const { return grey_.constScanLine(y)[x]; }
    bool own(size_t f, int x, int y) const { return patch_[size_t(y) * size_t(w_) + size_t(x)] == int(f); }

    // Patches are flooded a run of a row at a time: a page is one large patch.
    void flood()
    {
        std::vector<std::pair<int, int>> runs;
        for (size_t start = 0; start < patch_.size(); ++start) {
            if (patch_[start] >= 0)
                continue;
            Patch p;
            p.level = levelAt(int(start % size_t(w_)), int(start / size_t(w_)));
            const int id = int(patches_.size());
            auto joins = [&](int x, int y) { return patch_[size_t(y) * size_t(w_) + size_t(x)] < 0 && std::abs(levelAt(x, y) - p.level) <= plainStep; };
            int minX = w_, maxX = -1, minY = h_, maxY = -1;
            runs.assign(1, {int(start % size_t(w_)), int(start / size_t(w_))});
            while (!runs.empty()) {
                const auto [x, y] = runs.back();
                runs.pop_back();
                if (!joins(x, y))
                    continue;
                int left = x, right = x;
                while (left > 0 && joins(left - 1, y))
                    --left;
                while (right + 1 < w_ && joins(right + 1, y))
                    ++right;
                std::fill_n(patch_.begin() + qsizetype(y) * w_ + left, right - left + 1, id);
                minX = std::min(minX, left), maxX = std::max(maxX, right), minY = std::min(minY, y), maxY = std::max(maxY, y);
                for (const int ny : {y - 1, y + 1})
                    for (int nx = left; ny >= 0 && ny < h_ && nx <= right; ++nx)
                        if (joins(nx, ny) && (nx == left || !joins(nx - 1, ny)))
                            runs.emplace_back(nx, ny);
            }
            p.box = QRect(QPoint(minX, minY), QPoint(maxX, maxY));
            p.border = minX == 0 || minY == 0 || maxX == w_ - 1 || maxY == h_ - 1;
            patches_.push_back(p);
        }
    }

    // A fill is solid across two stretches of columns a quarter of its height wide at
    // least: the padding before its label and after it. A letter's strokes, even a bold
    // one's, are thinner, and a letter with a hollow has at most one stem. A column is solid
    // through its middle third as well: a label a third of a tall pill's height leaves two
    // thirds of each of its columns to the fill. Without padding, only a flat patch: a band
    // of a gradient (a button's sheen) spreads over all the levels a patch takes.
    bool candidate(size_t f)
    {
        Patch& p = patches_[f];
        const QRect& box = p.box;
        if (p.border || box.height() < 2 * leastGlyph || box.height() > tallestGlyph || box.width() < box.height() / 2)
            return false;
        const int wide = std::max(4, box.height() / 4);
        const int middleTop = box.top() + box.height() / 3, middleBottom = box.bottom() - box.height() / 3;
        int run = 0, stretches = 0;
        for (int x = box.left(); x <= box.right() && stretches < 2; ++x) {
            int covered = 0, middle = 0;
            for (int y = box.top(); y <= box.bottom(); ++y) {
                covered += own(f, x, y);
                middle += own(f, x, y) && y >= middleTop && y <= middleBottom;
            }
            run = 3 * covered >= 2 * box.height() && middle == middleBottom - middleTop + 1 ? run + 1 : 0;
            stretches += run == wide;
        }
        p.padded = stretches >= 2 && box.width() <= widestFill * box.height();
        if (p.padded)
            return true;
        int owned = 0, flat = 0;
        for (int y = box.top(); y <= box.bottom(); ++y)
            for (int x = box.left(); x <= box.right(); ++x)
                if (own(f, x, y)) {
                    ++owned;
                    flat += std::abs(levelAt(x, y) - p.level) <= plainStep / 4;
                }
        return 5 * flat >= 4 * owned;
    }

    // The level of the page round a fill set off from it on every side, as a badge is from
    // its page past its antialiased edge; -1 where it is not (a band of a gradient, beside
    // the next band). A side is taken past the rim, or within it where the rim is the edge
    // of what stands next to the fill (a field's focus frame a pixel off its selection); but
    // not for a patch of the page's own level, which a grid's lines part into cells.
    int pageRound(size_t f)
    {
        Patch& p = patches_[f];
        if (!QRect(0, 0, w_, h_).contains(p.box.adjusted(-fillRim, -fillRim, fillRim, fillRim)))
            return -1;
        // The levels of one side (top, bottom, left, right) of the frame `d` pixels off the fill.
        const auto sideAt = [&](int side, int d) {
            const QRect frame = p.box.adjusted(-d, -d, d, d);
            std::vector<int> levels;
            if (side < 2)
                for (int x = frame.left(); x <= frame.right(); ++x)
                    levels.push_back(levelAt(x, side == 0 ? frame.top() : frame.bottom()));
            else
                for (int y = frame.top(); y <= frame.bottom(); ++y)
                    levels.push_back(levelAt(side == 2 ? frame.left() : frame.right(), y));
            return levels;
        };
        const int nearest = std::abs(p.level - page_) < inkContrast ? fillRim : 1;
        std::vector<int> all;
        for (int side = 0; side < 4; ++side) {
            int d = fillRim;
            std::vector<int> levels = sideAt(side, d);
            while (std::abs(median(levels) - p.level) < inkContrast) {
                if (--d < nearest)
                    return -1;
                levels = sideAt(side, d);
            }
            p.rim = std::min(p.rim, d);
            all.insert(all.end(), levels.begin(), levels.end());
        }
        return median(all);
    }

    // What the fill closes in: pixels of its box that reach the box's edge through no pixel
    // of the fill lie outside it. The flood starts from pixels of its edge nearer the page's
    // level than the fill's only: a letter a selection hugs touches its edge through smoothed
    // pixels of the fill's level, while the page round a pill's ends is the page's; along its
    // top and bottom only as far as a pill's round ends reach, where a descender touching a
    // selected row's foot is no page.
    void markOutside(size_t f, int page)
    {
        const Patch& p = patches_[f];
        const QRect& box = p.box;
        const int bw = box.width(), bh = box.height();
        outside_.assign(size_t(bw) * size_t(bh), 0);
        std::vector<size_t> stack;
        const auto seed = [&](int x, int y, bool fromPage) {
            if (own(f, x + box.left(), y + box.top()) || outside_[size_t(y) * size_t(bw) + size_t(x)])
                return;
            outside_[size_t(y) * size_t(bw) + size_t(x)] = 1;
            const int v = levelAt(x + box.left(), y + box.top());
            if (fromPage && std::abs(v - page) < std::abs(v - p.level))
                stack.push_back(size_t(y) * size_t(bw) + size_t(x));
        };
        for (int x = 0; x < bw; ++x)
            for (int y : {0, bh - 1})
                seed(x, y, 2 * std::min(x, bw - 1 - x) <= bh);
        for (int y = 0; y < bh; ++y)
            for (int x : {0, bw - 1})
                seed(x, y, true);
        while (!stack.empty()) {
            const int px = int(stack.back() % size_t(bw)), py = int(stack.back() / size_t(bw));
            stack.pop_back();
            for (int ny = std::max(py - 1, 0); ny <= std::min(py + 1, bh - 1); ++ny)
                for (int nx = std::max(px - 1, 0); nx <= std::min(px + 1, bw - 1); ++nx) {
                    const size_t n = size_t(ny) * size_t(bw) + size_t(nx);
                    if (!outside_[n] && !own(f, nx + box.left(), ny + box.top())) {
                        outside_[n] = 1;
                        stack.push_back(n);
                    }
                }
        }
    }

    // What it holds: pieces of pixels off its level, side by side. A patch that closes in
    // little of its box is a frame or a stroke; one that holds fewer than three pieces may be
    // a letter round its hollows. Without padding, a fill is a selection that hugs its label:
    // it holds signs side by side (a third of its height, within it), where a letter's
    // hollows stand over each other and a band of a gradient cuts the letters across it.
    bool holdsALabel(size_t f) const
    {
        const Patch& p = patches_[f];
        const QRect& box = p.box;
        const int bw = box.width(), bh = box.height();
        int closed = 0, held = 0;
        std::vector<uint8_t> seen(outside_.size(), 0);
        std::vector<std::pair<int, int>> spans; // the columns of each sign
        const auto strong = [&](int x, int y) {
            return !outside_[size_t(y) * size_t(bw) + size_t(x)] && std::abs(levelAt(x + box.left(), y + box.top()) - p.level) > inkContrast;
        };
        std::vector<size_t> stack;
        for (int y = 0; y < bh; ++y)
            for (int x = 0; x < bw; ++x) {
                closed += !outside_[size_t(y) * size_t(bw) + size_t(x)];
                if (seen[size_t(y) * size_t(bw) + size_t(x)] || !strong(x, y))
                    continue;
                ++held;
                seen[size_t(y) * size_t(bw) + size_t(x)] = 1;
                stack.assign(1, size_t(y) * size_t(bw) + size_t(x));
                QRect piece(x, y, 1, 1);
                while (!stack.empty()) {
                    const int px = int(stack.back() % size_t(bw)), py = int(stack.back() / size_t(bw));
                    stack.pop_back();
                    piece = piece.united(QRect(px, py, 1, 1));
                    for (const auto& [nx, ny] : {std::pair{px - 1, py}, std::pair{px + 1, py}, std::pair{px, py - 1}, std::pair{px, py + 1}})
                        if (nx >= 0 && ny >= 0 && nx < bw && ny < bh && !seen[size_t(ny) * size_t(bw) + size_t(nx)] && strong(nx, ny)) {
                            seen[size_t(ny) * size_t(bw) + size_t(nx)] = 1;
                            stack.push_back(size_t(ny) * size_t(bw) + size_t(nx));
                        }
                }
                if (3 * piece.height() >= bh && piece.top() > 0 && piece.bottom() < bh - 1)
                    spans.emplace_back(piece.left(), piece.right());
            }
        std::sort(spans.begin(), spans.end());
        int columns = 0;
        for (size_t k = 0, reach = 0; k < spans.size(); ++k) {
            if (k == 0 || spans[k].first > int(reach))
                ++columns;
            reach = size_t(std::max(int(reach), spans[k].second));
        }
        return 4 * closed >= 3 * bw * bh && held >= 3 && (p.padded || columns >= 3);
    }

    // Within the fill, pixels of its level are ground; the rest are judged by the mean of
    // the square round them over the fill and what it closes in, as on a page of their own
    // (a lighter patch of the active item on a bar is no ink). The rim outside next to the
    // fill is no ink either.
    void judgeWithin(size_t f)
    {
        const Patch& p = patches_[f];
        const QRect& box = p.box;
        const int bw = box.width();
        if (result_.holder.empty())
            result_.holder.assign(patch_.size(), -1);
        const auto in = [&](int x, int y) { return !outside_[size_t(y) * size_t(bw) + size_t(x)]; };
        const auto index = [&](int x, int y) { return size_t(y + box.top()) * size_t(w_) + size_t(x + box.left()); };
        byMeanAround(bw, box.height(), [&](int x, int y) { return levelAt(x + box.left(), y + box.top()); }, in,
            [&](int x, int y) {
                if (!in(x, y))
                    return false;
                result_.holder[index(x, y)] = int(f);
                if (std::abs(levelAt(x + box.left(), y + box.top()) - p.level) > plainStep)
                    return true;
                result_.ink[index(x, y)] = 0;
                return false;
            },
            [&](int x, int y, uint8_t polarity) { result_.ink[index(x, y)] = polarity; });
        const QRect rim = box.adjusted(-p.rim, -p.rim, p.rim, p.rim).intersected(QRect(0, 0, w_, h_));
        for (int y = rim.top(); y <= rim.bottom(); ++y)
            for (int x = rim.left(); x <= rim.right(); ++x) {
                if ((box.contains(x, y) && in(x - box.left(), y - box.top())) || own(f, x, y))
                    continue;
                bool near = false;
                for (int ny = std::max(y - p.rim, box.top()); ny <= std::min(y + p.rim, box.bottom()) && !near; ++ny)
                    for (int nx = std::max(x - p.rim, box.left()); nx <= std::min(x + p.rim, box.right()) && !near; ++nx)
                        near = own(f, nx, ny);
                if (near)
                    result_.ink[size_t(y) * size_t(w_) + size_t(x)] = 0;
            }
    }

    const QImage& grey_;
    const int w_, h_;
    const int page_;
    std::vector<int> patch_;
    std::vector<Patch> patches_;
    std::vector<uint8_t> outside_;
    FillInk result_;
};

} // namespace

std::vector<uint8_t> inkMap(const QImage& grey, std::vector<uint8_t> ink)
{
    // Only the pixels no fill holds count: the page round a badge is judged by the page alone.
    const int w = grey.width();
    const auto index = [&](int x, int y) { return size_t(y) * size_t(w) + size_t(x); };
    byMeanAround(w, grey.height(), [&](int x, int y) { return int(grey.constScanLine(y)[x]); },
        [&](int x, int y) { return ink[index(x, y)] == unheld; }, [&](int x, int y) { return ink[index(x, y)] == unheld; },
        [&](int x, int y, uint8_t polarity) { ink[index(x, y)] = polarity; });
    return ink;
}

FillInk fillInk(const QImage& grey) { return FillFinder(grey).fills(); }

} // namespace tarnwick::ScreenTextRecognizer::stages::layer
