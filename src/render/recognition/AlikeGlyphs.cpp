#include "render/recognition/AlikeGlyphs.h"

#include "render/recognition/GreyImage.h"
#include "render/recognition/ReadingStages.h"

#include <QByteArray>
#include <QHash>
#include <QStringList>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <numeric>
#include <optional>

namespace tarnwick::ScreenTextRecognizer::detail {

namespace {

using stages::median;

// The ink of one character: its box in pixels of the picture as it was shown, and
// which pixels of the box are ink.
struct Glyph {
    QRect box;
    std::vector<bool> ink;

    bool empty() const { return box.isEmpty(); }
};

// A symbol of a word with the glyph under it.
struct Placed {
    ReadSymbol* symbol = nullptr;
    Glyph glyph;
    size_t glyphOf = 0; // the symbol holding the glyph this one was read on
};

QRect inView(const QRect& box, double scale, const QImage& view)
{
    const QRectF shown(box.x() / scale, box.y() / scale, box.width() / scale, box.height() / scale);
    return shown.toAlignedRect().adjusted(-1, -1, 1, 1).intersected(view.rect());
}

// The ink of a word's area in 8-connected pieces: each pixel's piece (-1 for paper) and
// each piece's box, in pixels of the area.
struct Pieces {
    int width = 0, height = 0;
    std::vector<int> label;
    std::vector<QRect> boxes;

    int at(int x, int y) const { return label[size_t(y) * size_t(width) + size_t(x)]; }
};

// Pixels darker than `threshold` in `area` of the picture, in pieces.
Pieces inkPieces(const QImage& view, const QRect& area, int threshold)
{
    Pieces pieces{area.width(), area.height(), std::vector<int>(size_t(area.width()) * size_t(area.height()), -1), {}};
    const int w = pieces.width, h = pieces.height;
    const auto free = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < w && y < h && pieces.at(x, y) < 0
            && view.constScanLine(area.top() + y)[area.left() + x] < threshold;
    };
    std::vector<QPoint> stack;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (!free(x, y))
                continue;
            const int label = int(pieces.boxes.size());
            QRect box;
            pieces.label[size_t(y) * size_t(w) + size_t(x)] = label;
            stack.assign(1, QPoint(x, y));
            while (!stack.empty()) {
                const QPoint p = stack.back();
                stack.pop_back();
                box |= QRect(p, QSize(1, 1));
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        if (free(p.x() + dx, p.y() + dy)) {
                            pieces.label[size_t(p.y() + dy) * size_t(w) + size_t(p.x() + dx)] = label;
                            stack.emplace_back(p.x() + dx, p.y() + dy);
                        }
            }
            pieces.boxes.push_back(box);
        }
    return pieces;
}

// The ink of an area in pieces, at `share` of the way from the paper to the area's
// darkest pixel (halfway unless told); none where the area is too faint to tell glyphs
// apart.
std::optional<Pieces> areaInk(const QImage& view, const QRect& area, int paper, double share = 0.5)
{
    int darkest = 255;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            darkest = std::min(darkest, int(view.constScanLine(y)[x]));
    if (paper - darkest < 48)
        return std::nullopt;
    return inkPieces(view, area, paper - int(std::lround(share * (paper - darkest))));
}

// The pieces of one character: those standing over one another (a letter and its dots),
// within the columns from `left` to `right` of the area.
struct Column {
    int left = 0, right = -1;
    std::vector<size_t> pieces;

    int width() const { return right - left + 1; }
    bool holds(const Pieces& all, int x, int y) const
    {
        const int label = all.at(x, y);
        return label >= 0 && std::find(pieces.begin(), pieces.end(), size_t(label)) != pieces.end();
    }
};

// The column of ink within the middle third of `column` that holds the least of it: where
// two glyphs run together part.
int leastInkColumn(const Pieces& all, const Column& column)
{
    int cut = column.left, least = std::numeric_limits<int>::max();
    for (int x = column.left + column.width() / 3; x <= column.right - column.width() / 3; ++x) {
        int ink = 0;
        for (int y = 0; y < all.height; ++y)
            ink += column.holds(all, x, y);
        if (ink < least) {
            least = ink;
            cut = x;
        }
    }
    return cut;
}

// The pieces from left to right in columns, one a character. Small terminal fonts join
// neighbours ("li" as one piece): while `characters` are more than the columns, a column
// half as wide again as the word's usual one is cut where it holds the least ink, within
// its middle third.
std::vector<Column> columnsOf(const Pieces& all, size_t characters)
{
    std::vector<size_t> order(all.boxes.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return all.boxes[a].x() < all.boxes[b].x(); });
    std::vector<Column> columns;
    for (size_t i : order) {
        const QRect& box = all.boxes[i];
        // Over one another: the narrower stands at least half within the other.
        const int shared = columns.empty() ? 0 : std::min(columns.back().right, box.right()) - std::max(columns.back().left, box.left()) + 1;
        if (columns.empty() || 2 * shared < std::min(columns.back().width(), box.width()))
            columns.push_back({box.left(), box.right(), {}});
        Column& column = columns.back();
        column.pieces.push_back(i);
        column.left = std::min(column.left, box.left());
        column.right = std::max(column.right, box.right());
    }
    for (size_t excess = characters > columns.size() ? characters - columns.size() : 0; excess > 0 && columns.size() > 1; --excess) {
        std::vector<int> widths;
        for (const Column& column : columns)
            widths.push_back(column.width());
        std::nth_element(widths.begin(), widths.begin() + std::ptrdiff_t(widths.size() - 1) / 2, widths.end());
        const int usual = widths[(widths.size() - 1) / 2];
        const auto widest = std::max_element(columns.begin(), columns.end(),
            [](const Column& a, const Column& b) { return a.width() < b.width(); });
        if (2 * widest->width() < 3 * usual)
            break;
        const int cut = leastInkColumn(all, *widest);
        Column right{cut + 1, widest->right, widest->pieces};
        widest->right = cut;
        columns.insert(widest + 1, std::move(right));
    }
    return columns;
}

// A column's ink, boxed tight, in pixels of the picture.
Glyph glyphOf(const Pieces& all, const Column& column, const QPoint& areaOrigin)
{
    QRect box;
    for (int y = 0; y < all.height; ++y)
        for (int x = column.left; x <= column.right; ++x)
            if (column.holds(all, x, y))
                box |= QRect(x, y, 1, 1);
    Glyph glyph;
    glyph.ink.assign(size_t(box.width()) * size_t(box.height()), false);
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x)
            glyph.ink[size_t(y - box.top()) * size_t(box.width()) + size_t(x - box.left())] = column.holds(all, x, y);
    glyph.box = box.translated(areaOrigin);
    return glyph;
}

// The glyphs of a word's symbols. The word's pixels darker than halfway between the
// background and its darkest ink are cut into pieces, the pieces into columns, and the
// columns go to the symbols in order, since the engine's boxes lag behind the glyphs.
// A word whose columns and symbols do not pair off keeps no glyphs.
std::vector<Placed> placedSymbols(ReadWord& word, const QImage& view, double scale, int paper)
{
    std::vector<Placed> placed;
    for (ReadSymbol& symbol : word.symbols)
        placed.push_back({&symbol, {}, placed.size()});
    const QRect area = inView(word.box, scale, view);
    if (area.isEmpty() || placed.empty())
        return placed;
    const std::optional<Pieces> ink = areaInk(view, area, paper);
    if (!ink)
        return placed;
    const Pieces& pieces = *ink;

    // A character read twice on one glyph ("1Lib32") leaves a symbol over: of the two
    // symbols nearest together, the second reads the glyph of the first.
    std::vector<double> middles;
    for (const Placed& p : placed)
        middles.push_back(p.symbol->box.center().x() / scale);
    std::vector<size_t> holder(placed.size());
    std::iota(holder.begin(), holder.end(), size_t(0));
    // Only where the two stand much closer than the word's letters do, and both are
    // readings of an upright stroke: elsewhere joined glyphs ("fi") leave one over.
    const auto readTwiceAt = [&](double closer) -> size_t {
        std::vector<double> steps;
        for (size_t k = 1; k < middles.size(); ++k)
            steps.push_back(middles[k] - middles[k - 1]);
        if (steps.empty())
            return 0;
        const size_t twice = size_t(std::min_element(steps.begin(), steps.end()) - steps.begin()) + 1;
        const auto stroke = [&](size_t k) { return placed[k].symbol->text.size() == 1 && QStringView(u"1lLI|").contains(placed[k].symbol->text[0]); };
        return closer * steps[twice - 1] < median(steps) && stroke(twice - 1) && stroke(twice) ? twice : 0;
    };
    // Glyphs are cut for symbols left over only where no glyph was read twice: beside a
    // narrow sign a terminal's "l" is wide enough to cut, and "-l" read "-1l" would give
    // the "1" the stem and the "l" its foot. Glyphs whole as drawn, one short of the
    // symbols, need the two readings only closer than the word's other symbols.
    // The glyph must be one stroke through its middle rows: two strokes joined by their
    // serifs are two letters.
    const auto oneStroke = [&](const Column& column) {
        int top = pieces.height, bottom = -1;
        for (int y = 0; y < pieces.height; ++y)
            for (int x = column.left; x <= column.right; ++x)
                if (column.holds(pieces, x, y))
                    top = std::min(top, y), bottom = std::max(bottom, y);
        for (int y = top + (bottom - top) / 3; y <= bottom - (bottom - top) / 3; ++y) {
            int runs = 0;
            for (int x = column.left; x <= column.right; ++x)
                runs += column.holds(pieces, x, y) && (x == column.left || !column.holds(pieces, x - 1, y));
            if (runs > 1)
                return false;
        }
        return bottom >= 0;
    };
    // It is the glyph a cut would fall in: where another is wider, two letters run
    // together there ("al" of "all") and the cut parts them.
    std::vector<Column> columns = columnsOf(pieces, 0);
    size_t twice = placed.size() == columns.size() + 1 ? readTwiceAt(1) : 0;
    if (twice) {
        const Column& under = columns[twice - 1];
        const bool widest = std::none_of(columns.begin(), columns.end(), [&](const Column& c) { return c.width() > under.width(); });
        if (!widest || !oneStroke(under))
            twice = 0;
    }
    if (!twice) {
        columns = columnsOf(pieces, placed.size());
        twice = placed.size() == columns.size() + 1 ? readTwiceAt(2) : 0;
    }
    if (twice)
        holder[twice] = twice - 1;
    // Columns and symbols that do not pair off leave the word as it was read.
    size_t holders = 0;
    for (size_t k = 0; k < holder.size(); ++k)
        holders += holder[k] == k;
    if (holders != columns.size())
        return placed;
    // The engine's boxes stand about as far from their glyphs all along a word. Where every
    // symbol does so within half the step between columns, all keep their columns' glyphs;
    // elsewhere (glyphs joined in ways not cut above, a box squeezed at the word's end) only
    // those within a third of a step, twice as near their own column as the next, since the
    // others may stand over their neighbours' glyphs (a box beside one stretched over two
    // glyphs pushes it a little off its own).
    std::vector<double> apart, steps;
    for (size_t k = 0, next = 0; k < placed.size(); ++k) {
        const size_t column = next - (holder[k] != k ? 1 : 0);
        next += holder[k] == k;
        apart.push_back(middles[k] - area.x() - (columns[column].left + columns[column].right + 1) / 2.0);
    }
    for (size_t c = 1; c < columns.size(); ++c)
        steps.push_back((columns[c].left + columns[c].right - columns[c - 1].left - columns[c - 1].right) / 2.0);
    std::vector<bool> aligned(placed.size(), true);
    if (!steps.empty()) {
        const double lag = median(apart), step = median(steps);
        const bool wordAligned = std::all_of(apart.begin(), apart.end(), [&](double d) { return 2 * std::abs(d - lag) <= step; });
        for (size_t k = 0; k < placed.size(); ++k)
            aligned[k] = wordAligned || 3 * std::abs(apart[k] - lag) <= step;
        // A glyph read twice is only taken where both readings stand on it.
        for (size_t k = 0; k < placed.size(); ++k)
            if (holder[k] != k && !(aligned[k] && aligned[holder[k]]))
                return placed;
    }
    for (size_t k = 0, next = 0; k < placed.size(); ++k) {
        placed[k].glyphOf = holder[k];
        if (holder[k] != k)
            continue;
        const Column& column = columns[next++];
        if (aligned[k])
            placed[k].glyph = glyphOf(pieces, column, area.topLeft());
    }
    return placed;
}

bool inkAt(const Glyph& g, int x, int y)
{
    return x >= 0 && y >= 0 && x < g.box.width() && y < g.box.height() && g.ink[size_t(y) * size_t(g.box.width()) + size_t(x)];
}

// The same glyph: of one height and at most a pixel apart in width, and laid on each
// other at the best of three offsets, at most one pixel in twenty-five different (a
// glyph cut from its neighbour, or smoothed edges falling a little differently across
// the threshold).
bool same(const Glyph& a, const Glyph& b)
{
    if (std::abs(a.box.width() - b.box.width()) > 1 || a.box.height() != b.box.height())
        return false;
    const int w = std::max(a.box.width(), b.box.width()), h = a.box.height();
    const int allowed = w * h / 25;
    for (int dx = -1; dx <= 1; ++dx) {
        int differ = 0;
        for (int y = 0; y < h && differ <= allowed; ++y)
            for (int x = std::min(0, dx); x < w + std::max(0, dx) && differ <= allowed; ++x)
                differ += inkAt(a, x, y) != inkAt(b, x - dx, y);
        if (differ <= allowed)
            return true;
    }
    return false;
}

// Two drawings of one sign at different fractions of a pixel: of about one size, and laid
// on each other at the best of nine offsets, differing in under a third of their ink.
bool drawnAlike(const Glyph& a, const Glyph& b)
{
    if (std::abs(a.box.width() - b.box.width()) > 1 || std::abs(a.box.height() - b.box.height()) > 1)
        return false;
    const int ink = int(std::max(std::count(a.ink.begin(), a.ink.end(), true), std::count(b.ink.begin(), b.ink.end(), true)));
    const int w = std::max(a.box.width(), b.box.width()) + 1, h = std::max(a.box.height(), b.box.height()) + 1;
    int least = std::numeric_limits<int>::max();
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            int differ = 0;
            for (int y = -1; y < h; ++y)
                for (int x = -1; x < w; ++x)
                    differ += inkAt(a, x, y) != inkAt(b, x - dx, y - dy);
            least = std::min(least, differ);
        }
    return 3 * least < ink;
}

// The glyph's size and ink, as a key for its exact copies.
QByteArray bitmap(const Glyph& glyph)
{
    QByteArray key = QByteArray::number(glyph.box.width()) + 'x' + QByteArray::number(glyph.box.height()) + ':';
    for (bool ink : glyph.ink)
        key += ink ? '#' : '.';
    return key;
}

// A character read alone, a letter or a figure.
QChar single(const ReadSymbol& symbol)
{
    return symbol.text.size() == 1 && symbol.text[0].isLetterOrNumber() ? symbol.text[0] : QChar();
}

// Latin letters and figures, Cyrillic letters, or neither (-1).
int script(QChar c)
{
    if (c.isDigit() || c.script() == QChar::Script_Latin)
        return 0;
    return c.script() == QChar::Script_Cyrillic ? 1 : -1;
}

// Whether a reading may change into another on the evidence of alike glyphs: within
// one script, and never between the pairs many fonts draw alike.
bool mayBecome(QChar from, QChar to)
{
    const auto pair = [&](char a, char b) { return (from == a && to == b) || (from == b && to == a); };
    return from != to && script(from) >= 0 && script(from) == script(to) && !pair('I', 'l') && !pair('O', '0');
}

// Whether every row of a glyph holds ink: one stroke from top to bottom, not a stroke
// and a dot apart ("!", "i", ":").
bool unbroken(const Glyph& glyph)
{
    for (int y = 0; y < glyph.box.height(); ++y) {
        bool ink = false;
        for (int x = 0; x < glyph.box.width() && !ink; ++x)
            ink = inkAt(glyph, x, y);
        if (!ink)
            return false;
    }
    return true;
}

// Whether a glyph wider than tall is a wave, not a bar: the middle of its ink moves up or
// down from column to column. A tilde at 1× is two rows tall, its left half a row above
// its right; a dash, wherever smoothing puts it, keeps one middle across.
bool wavy(const QRect& box, const QImage& view, int paper)
{
    if (box.width() < 2 * box.height() || box.width() < 4)
        return false;
    // Each column's middle, weighed by depth, over the glyph's rows and one on each side.
    const QRect area = box.adjusted(0, -1, 0, 1).intersected(view.rect());
    std::vector<double> middles, weights;
    for (int x = area.left(); x <= area.right(); ++x) {
        double sum = 0, weight = 0;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            const int depth = std::max(0, paper - int(view.constScanLine(y)[x]));
            sum += double(depth) * y;
            weight += depth;
        }
        middles.push_back(weight > 0 ? sum / weight : 0);
        weights.push_back(weight);
    }
    // The faint ends of a stroke are its smoothed edge, not its course.
    const double heaviest = *std::max_element(weights.begin(), weights.end());
    double low = std::numeric_limits<double>::max(), high = std::numeric_limits<double>::lowest();
    for (size_t k = 0; k < middles.size(); ++k)
        if (2 * weights[k] >= heaviest) {
            low = std::min(low, middles[k]);
            high = std::max(high, middles[k]);
        }
    return heaviest > 0 && high - low >= 0.4;
}

// A sign a straight stroke of a letter may be read for.
bool bracket(const QString& text)
{
    return text.size() == 1 && QStringView(u"[]()").contains(text[0]);
}

bool isDash(const ReadSymbol& symbol)
{
    return symbol.text.size() == 1 && QStringView(u"-\u2013\u2014").contains(symbol.text[0]);
}

// The word's text from its symbols, after they changed.
void spellFromSymbols(ReadWord& word)
{
    word.text.clear();
    for (const ReadSymbol& symbol : word.symbols)
        word.text += symbol.text;
}

// The word read as `text`, each of its symbols too (one sign on its one glyph).
void readAs(ReadWord& word, const QString& text)
{
    word.text = text;
    for (ReadSymbol& symbol : word.symbols)
        symbol.text = text;
}

// Whether a word's symbols spell it: only then do they stand for its characters one by one.
bool symbolsSpell(const ReadWord& word)
{
    QString spelt;
    for (const ReadSymbol& symbol : word.symbols)
        spelt += symbol.text;
    return !word.symbols.empty() && spelt == word.text;
}

// A sign read once on two copies of its glyph side by side ("&" on "&&", "=" on "=="):
// the engine's line model gives a repeated character only where it sees a gap between
// the two, and tight code glyphs leave none. Where a word's glyphs are one more than its
// symbols, and one sign stands over two neighbouring glyphs drawn alike, with no other
// symbol over either, that sign is read twice. Whether the word changed.
bool readRepeatedSignsTwice(ReadWord& word, const QImage& view, double scale, int paper)
{
    // Quotes are two marks side by side of their own.
    const auto sign = [](const ReadSymbol& symbol) {
        return symbol.text.size() == 1 && !symbol.text[0].isLetterOrNumber() && !symbol.text[0].isSpace()
            && !QStringView(u"«»\"„“”'‘’").contains(symbol.text[0]);
    };
    const QRect area = inView(word.box, scale, view);
    if (area.isEmpty() || std::none_of(word.symbols.begin(), word.symbols.end(), sign))
        return false;
    const std::optional<Pieces> ink = areaInk(view, area, paper);
    if (!ink)
        return false;
    const Pieces& pieces = *ink;
    const std::vector<Column> columns = columnsOf(pieces, word.symbols.size());
    if (columns.size() != word.symbols.size() + 1)
        return false;
    // How much of a column a symbol's box covers, in columns of the area.
    const auto covers = [&](const ReadSymbol& symbol, const Column& column) {
        const QRectF box(symbol.box.x() / scale - area.x(), 0, symbol.box.width() / scale, 1);
        const double shared = std::min(box.right(), column.right + 1.0) - std::max(box.left(), double(column.left));
        return std::max(0.0, shared) / column.width();
    };
    for (size_t k = 0; k < word.symbols.size(); ++k) {
        const ReadSymbol& symbol = word.symbols[k];
        if (!sign(symbol))
            continue;
        const Column& first = columns[k];
        const Column& second = columns[k + 1];
        // Two characters stand at least half their height apart, not the halves of one mark.
        const Glyph a = glyphOf(pieces, first, area.topLeft()), b = glyphOf(pieces, second, area.topLeft());
        if (second.left + second.right - first.left - first.right < std::max(a.box.height(), b.box.height()))
            continue;
        if (2 * covers(symbol, first) < 1 || 2 * covers(symbol, second) < 1)
            continue;
        const bool others = std::any_of(word.symbols.begin(), word.symbols.end(), [&](const ReadSymbol& other) {
            return &other != &symbol && (3 * covers(other, first) > 1 || 3 * covers(other, second) > 1);
        });
        if (others || !drawnAlike(a, b))
            continue;
        ReadSymbol again = symbol;
        const int middle = int(std::lround((area.x() + (first.right + second.left + 1) / 2.0) * scale));
        word.symbols[k].box.setRight(std::max(symbol.box.left(), middle - 1));
        again.box.setLeft(std::min(again.box.right(), middle));
        word.symbols.insert(word.symbols.begin() + std::ptrdiff_t(k) + 1, std::move(again));
        spellFromSymbols(word);
        return true;
    }
    return false;
}


// A dash read on two bars one over the other is an equals sign: read alone, the engine
// takes the two thin strokes of a code font's "=" for one. The area reaches above and
// below the word's box, which may hold one bar only. Whether the word changed.
bool readTwoBarsAsEquals(ReadWord& word, const QImage& view, double scale, int paper)
{
    if (word.text.size() != 1 || word.symbols.size() > 1 || !QStringView(u"-\u2013\u2014~").contains(word.text[0]))
        return false;
    const QRect box = inView(word.box, scale, view);
    const QRect area = box.adjusted(0, -std::max(2, box.width() / 2), 0, std::max(2, box.width() / 2)).intersected(view.rect());
    if (area.isEmpty())
        return false;
    // A bar of a pixel or two smoothed over two rows falls short of halfway to the
    // darkest ink.
    const std::optional<Pieces> ink = areaInk(view, area, paper, 1.0 / 3);
    if (!ink)
        return false;
    std::vector<QRect> bars;
    for (const QRect& piece : ink->boxes) {
        if (piece.width() < 2 && piece.height() < 2)
            continue;
        // Cut by the area's edge: a glyph of the line above or below.
        if (piece.top() == 0 || piece.bottom() == area.height() - 1)
            return false;
        bars.push_back(piece);
    }
    if (bars.size() != 2)
        return false;
    std::sort(bars.begin(), bars.end(), [](const QRect& a, const QRect& b) { return a.top() < b.top(); });
    const QRect& upper = bars[0];
    const QRect& lower = bars[1];
    const int thick = std::max(upper.height(), lower.height());
    const int shared = std::min(upper.right(), lower.right()) - std::max(upper.left(), lower.left()) + 1;
    const int gap = lower.top() - upper.bottom() - 1;
    if (std::min(upper.width(), lower.width()) < 2 * thick || 4 * shared < 3 * std::max(upper.width(), lower.width())
        || gap < 1 || gap > 3 * thick)
        return false;
    readAs(word, QStringLiteral("="));
    return true;
}


// Dashes read on a wave are a tilde: "—/Музыка" or "—-/Музыка" for "~/Музыка". The
// engine's boxes of a run of dashes together stand over the one glyph. Whether the word
// changed; only for a word whose symbols spell it.
bool readWavesAsTildes(ReadWord& word, const QImage& view, double scale, int paper)
{
    bool changed = false;
    for (size_t k = 0; k < word.symbols.size(); ++k) {
        if (!isDash(word.symbols[k]))
            continue;
        size_t end = k + 1;
        QRect box = word.symbols[k].box;
        while (end < word.symbols.size() && isDash(word.symbols[end]))
            box |= word.symbols[end++].box;
        const QRect shown = inView(box, scale, view);
        const QRect area = shown.adjusted(0, -std::max(2, shown.height()), 0, std::max(2, shown.height())).intersected(view.rect());
        const std::optional<Pieces> ink = area.isEmpty() ? std::nullopt : areaInk(view, area, paper, 1.0 / 3);
        // The pieces under the boxes, not in the pixel of margin round them: the stroke of a
        // "/" after the wave.
        std::vector<QRect> glyphs;
        const QRect inner = shown.adjusted(1, 0, -1, 0);
        if (ink)
            for (const QRect& piece : ink->boxes) {
                const QRect glyph = piece.translated(area.topLeft());
                const int under = std::min(glyph.right(), inner.right()) - std::max(glyph.left(), inner.left()) + 1;
                if ((glyph.width() >= 2 || glyph.height() >= 2) && 2 * under > glyph.width())
                    glyphs.push_back(glyph);
            }
        if (glyphs.size() != 1 || !wavy(glyphs.front(), view, paper)) {
            k = end - 1;
            continue;
        }
        word.symbols[k].text = QStringLiteral("~");
        word.symbols[k].box = box;
        word.symbols.erase(word.symbols.begin() + std::ptrdiff_t(k) + 1, word.symbols.begin() + std::ptrdiff_t(end));
        changed = true;
    }
    if (changed)
        spellFromSymbols(word);
    return changed;
}

// A sign of code read once as a word of its own where it stands twice ("0 & y" for
// "0 && y"): the engine boxed one of the two or both as one, and the other stands in the
// gap after it or within its box. Whether the run changed.
bool readDoubledSignsTwice(WordRun& run, const QImage& view, double scale, int paper)
{
    bool changed = false;
    for (size_t k = 0; k + 1 < run.words.size(); ++k) {
        ReadWord& word = run.words[k];
        if (word.text.size() != 1 || !QStringView(u"&|=+-<>*/").contains(word.text[0]) || word.symbols.size() > 1)
            continue;
        const QRect own = inView(word.box, scale, view), next = inView(run.words[k + 1].box, scale, view);
        // The word's glyph and what follows it up to the next word, one more glyph's width.
        const QRect area = QRect(QPoint(own.left(), std::min(own.top(), next.top())),
                                 QPoint(std::min(next.left() - 1, own.right() + 2 * own.width()), std::max(own.bottom(), next.bottom())))
                               .intersected(view.rect());
        const std::optional<Pieces> ink = area.width() <= own.width() ? std::nullopt : areaInk(view, area, paper);
        if (!ink)
            continue;
        std::vector<Column> columns = columnsOf(*ink, 2);
        // Two signs of a code font run together ("&&" of bowls that touch) are one piece
        // wider than tall, where one such sign is taller than wide: it is cut where it
        // holds the least ink within its middle third.
        if (columns.size() == 1 && QStringView(u"&<>*").contains(word.text[0])) {
            const Column whole = columns.front();
            const Glyph both = glyphOf(*ink, whole, area.topLeft());
            if (const int cut = leastInkColumn(*ink, whole); 5 * both.box.width() >= 6 * both.box.height() && cut > whole.left)
                columns = {{whole.left, cut - 1, whole.pieces}, {cut, whole.right, whole.pieces}};
        }
        if (columns.size() != 2)
            continue;
        const Glyph a = glyphOf(*ink, columns[0], area.topLeft()), b = glyphOf(*ink, columns[1], area.topLeft());
        // The second short of the next word's box.
        if (b.box.right() >= next.left() || !drawnAlike(a, b))
            continue;
        const QRect second(int(std::lround(b.box.left() * scale)), word.box.top(), int(std::lround(b.box.width() * scale)), word.box.height());
        word.text += word.text;
        if (!word.symbols.empty()) {
            word.symbols.push_back(word.symbols.front());
            word.symbols.back().box = second;
        }
        word.box = word.box.united(second);
        changed = true;
    }
    return changed;
}

// A bar read as a word of its own beside a Latin word, standing on the line's baseline, is
// the pronoun "I" ("| agree to the terms"): a "|" reaches below the baseline as far as
// a descender. The baseline is the next word's, or the word's before at a row's end.
// Whether the run changed.
bool readBarsOnTheBaselineAsI(WordRun& run, const QImage& view, double scale, int paper)
{
    const auto latin = [](QChar c) { return c.isLetter() && c.script() == QChar::Script_Latin; };
    bool changed = false;
    for (size_t k = 0; k < run.words.size(); ++k) {
        ReadWord& word = run.words[k];
        if (word.text != QStringLiteral("|"))
            continue;
        const ReadWord* beside = nullptr;
        if (k + 1 < run.words.size() && !run.words[k + 1].text.isEmpty() && run.words[k + 1].text[0].isLower()
            && latin(run.words[k + 1].text[0]))
            beside = &run.words[k + 1];
        else if (k + 1 == run.words.size() && k > 0 && !run.words[k - 1].text.isEmpty() && latin(run.words[k - 1].text.back()))
            beside = &run.words[k - 1];
        if (!beside)
            continue;
        const QRect bar = inView(word.box, scale, view), after = inView(beside->box, scale, view);
        const QRect area = bar.united(after).adjusted(0, -bar.height() / 2, 0, bar.height() / 2).intersected(view.rect());
        const std::optional<Pieces> ink = area.isEmpty() ? std::nullopt : areaInk(view, area, paper);
        if (!ink)
            continue;
        // The bar: the tallest piece under the word's box. The baseline: where the highest
        // ending letter of the word beside it ends; descenders end lower, and letters run
        // together at 1× ("re" of "grep") make too few pieces to count.
        std::optional<QRect> stroke;
        std::optional<int> baseline;
        for (const QRect& piece : ink->boxes) {
            const QRect glyph = piece.translated(area.topLeft());
            const int middle = glyph.left() + glyph.width() / 2;
            if (middle >= bar.left() && middle <= bar.right() && (!stroke || glyph.height() > stroke->height()))
                stroke = glyph;
            else if (middle >= after.left() && middle <= after.right() && 3 * glyph.height() >= bar.height())
                baseline = std::min(baseline.value_or(glyph.bottom()), glyph.bottom());
        }
        if (!stroke || !baseline || stroke->height() < 3 * stroke->width() || stroke->bottom() > *baseline)
            continue;
        readAs(word, QStringLiteral("I"));
        changed = true;
    }
    return changed;
}

// A word whose symbols spell it, with the glyph under each symbol.
struct PlacedWord {
    ReadWord* word;
    WordRun* run;
    std::vector<Placed> symbols;
};

// Letters drawn alike in both cases but for their height. The engine takes their case
// from its word lists and the words round them: «общие» for «Общие» heading a form,
// «СНИМКОВ» for «снимков» after «Редактор».
bool caseTwin(QChar c)
{
    return QStringView(u"ВГЖЗИКЛМНОПСТХШЪЫЬЭЮЯвгжзиклмнопстхшъыьэюяCOSVWXZcosvwxz").contains(c);
}

// The case of each twin letter (`texts`, a symbol's reading each) from its glyph's height
// against small letters and capitals: a twin as tall as the capitals starting a word is a
// capital, one as low as the small letters is small. The word's own letters weigh first:
// a bar's items stand beside a brand name in larger, bolder letters.
void caseByHeight(const std::vector<PlacedWord>& words, std::vector<std::vector<QString>>& texts)
{
    // Small letters of the x-height alone, and capitals drawn unlike their small letters.
    const auto small = [](QChar c) { return QStringView(u"авгежзиклмнопстхчшъыьэюяacemnorsuvwxz").contains(c); };
    const auto capital = [](QChar c) { return c.isDigit() || QStringView(u"АБЕРУABDEFGHKLMNPRTUY").contains(c); };
    struct Heights {
        std::vector<double> small, capitals;
    };
    const auto letterAt = [&](size_t i, size_t k) {
        return texts[i][k].size() == 1 && !words[i].symbols[k].glyph.empty() ? texts[i][k][0] : QChar();
    };
    const auto add = [&](Heights& into, size_t i, size_t k) {
        const QChar c = letterAt(i, k);
        const double height = words[i].symbols[k].glyph.box.height();
        if (small(c))
            into.small.push_back(height);
        else if (capital(c))
            into.capitals.push_back(height);
    };
    std::map<const WordRun*, Heights> lines;
    for (size_t i = 0; i < words.size(); ++i)
        for (size_t k = 0; k < words[i].symbols.size(); ++k)
            add(lines[words[i].run], i, k);
    for (size_t i = 0; i < words.size(); ++i) {
        // A name or a path pairs its glyphs with its symbols least surely: the engine
        // reads its signs twice or not at all ("—-/Музыка" for "~/Музыка").
        if (stages::wordPieces(words[i].word->text).size() > 1)
            continue;
        const Heights& line = lines[words[i].run];
        Heights own;
        for (size_t k = 0; k < words[i].symbols.size(); ++k)
            add(own, i, k);
        const std::vector<double>& smalls = own.small.size() >= 2 ? own.small : line.small;
        const std::vector<double>& capitals = !own.capitals.empty() ? own.capitals : line.capitals;
        if (smalls.empty())
            continue;
        // The capitals of the usual screen fonts stand a third taller than their small
        // letters; closer than that the two cannot be told apart, and capitals half as
        // tall again are of other text in the line (a heading, a brand name).
        const double low = median(smalls);
        const double measured = capitals.empty() ? 0 : median(capitals);
        const double tall = measured >= 1.15 * low && measured <= 1.6 * low ? measured : 1.35 * low;
        if (!capitals.empty() && measured < 1.15 * low)
            continue;
        bool first = true;
        for (size_t k = 0; k < words[i].symbols.size(); ++k) {
            const QChar c = letterAt(i, k);
            if (c.isNull() || !c.isLetter()) {
                first = first && !c.isLetterOrNumber() && !texts[i][k].isEmpty() && !texts[i][k][0].isLetterOrNumber();
                continue;
            }
            const double height = words[i].symbols[k].glyph.box.height();
            // Round letters overshoot the small letters' height by a pixel.
            if (caseTwin(c) && c.isLower() && first && 2 * height >= low + tall && height >= low + 2)
                texts[i][k] = QString(c.toUpper());
            else if (caseTwin(c) && c.isUpper() && 4 * height <= 3 * low + tall)
                texts[i][k] = QString(c.toLower());
            first = false;
        }
    }
}

} // namespace

void readAlikeGlyphsAlike(std::vector<WordRun>& runs, const QImage& view, double scale)
{
    if (view.isNull() || view.format() != QImage::Format_Grayscale8 || scale <= 0)
        return;
    const int paper = mostCommonGrey(view);

    for (WordRun& run : runs) {
        bool changed = readBarsOnTheBaselineAsI(run, view, scale, paper);
        changed = readDoubledSignsTwice(run, view, scale, paper) || changed;
        for (ReadWord& word : run.words)
            if ((symbolsSpell(word) && (readRepeatedSignsTwice(word, view, scale, paper) || readWavesAsTildes(word, view, scale, paper)))
                || readTwoBarsAsEquals(word, view, scale, paper))
                changed = true;
        if (changed)
            run.respell();
    }

    // The symbols of each word whose symbols spell it.
    std::vector<PlacedWord> words;
    for (WordRun& run : runs)
        for (ReadWord& word : run.words)
            if (symbolsSpell(word))
                words.push_back({&word, &run, placedSymbols(word, view, scale, paper)});

    // Readings inside words, where the engine had letters on both sides to go by, and in
    // runs of three letters and figures and more, where it had two on one side at least
    // ("int"; "+41" read on "++i" gives too little). Copies of one bitmap are compared
    // once: a screen of text holds a few hundred different glyphs.
    struct Copies {
        const Glyph* glyph;
        std::map<QChar, int> readings;
    };
    struct Table {
        std::vector<Copies> copies;
        QHash<QByteArray, size_t> byBitmap;
        std::map<std::pair<int, int>, std::vector<size_t>> bySize;

        void add(const Glyph& glyph, QChar reading)
        {
            const QByteArray key = bitmap(glyph);
            auto found = byBitmap.find(key);
            if (found == byBitmap.end()) {
                found = byBitmap.insert(key, copies.size());
                copies.push_back({&glyph, {}});
                bySize[{glyph.box.width(), glyph.box.height()}].push_back(*found);
            }
            ++copies[*found].readings[reading];
        }
    };
    Table inside, beside, paired, brackets;
    const auto lettered = [](const std::vector<Placed>& symbols, size_t k) {
        return k < symbols.size() && !single(*symbols[k].symbol).isNull();
    };
    for (const PlacedWord& word : words)
        for (size_t k = 0; k < word.symbols.size(); ++k) {
            const Placed& p = word.symbols[k];
            const bool readTwice = std::any_of(word.symbols.begin(), word.symbols.end(),
                [&](const Placed& q) { return &q != &p && q.glyphOf == k; });
            if (!p.glyph.empty() && !readTwice && bracket(p.symbol->text))
                brackets.add(p.glyph, p.symbol->text[0]);
            if (p.glyph.empty() || readTwice || single(*p.symbol).isNull())
                continue;
            // The letters and figures read in one run with this one.
            size_t from = k, to = k + 1;
            while (from > 0 && lettered(word.symbols, from - 1))
                --from;
            while (lettered(word.symbols, to))
                ++to;
            if (to - from >= 3)
                beside.add(p.glyph, single(*p.symbol));
            if (to - from >= 2)
                paired.add(p.glyph, single(*p.symbol));
            if (from < k && to > k + 1)
                inside.add(p.glyph, single(*p.symbol));
        }

    // The reading most copies of a glyph in `table` have: `least` at least, three in
    // four of them one way (with `most`, more than half).
    const auto agreedIn = [&](const Table& table, int least, QHash<QByteArray, QChar>& known, const Glyph& glyph, bool most = false) {
        const QByteArray key = bitmap(glyph);
        if (const auto found = known.constFind(key); found != known.cend())
            return *found;
        std::map<QChar, int> votes;
        int all = 0;
        for (int dw = -1; dw <= 1; ++dw)
            if (const auto found = table.bySize.find({glyph.box.width() + dw, glyph.box.height()}); found != table.bySize.end())
                for (size_t i : found->second)
                    if (same(glyph, *table.copies[i].glyph))
                        for (const auto& [reading, copies] : table.copies[i].readings) {
                            votes[reading] += copies;
                            all += copies;
                        }
        const auto best = std::max_element(votes.begin(), votes.end(),
            [](const auto& a, const auto& b) { return a.second < b.second; });
        const bool agree = most ? 2 * best->second > all : 4 * best->second >= 3 * all;
        const QChar reading = best == votes.end() || best->second < least || !agree ? QChar() : best->first;
        known.insert(key, reading);
        return reading;
    };
    // Inside words two copies at least must agree: a word's edge is read less surely
    // ("1ib32", "Lib64"), so one copy could be such a misreading. A glyph read with no
    // letter or figure beside it ("int 1", "++1") had nothing to go by, and its readings
    // alone are not evidence, since the same pixels read alone come out the same each
    // time: one copy read beside letters outweighs them.
    // A glyph read twice with no letter beside it ("-1l" on the "l" of "ls -l") needs even
    // less: the engine could not tell which of two strokes it saw, and copies read beside
    // one letter ("ls"), most of them one way, tell it.
    QHash<QByteArray, QChar> agreedInside, agreedBeside, agreedPaired, agreedBrackets;
    const auto agreed = [&](const Glyph& glyph, bool alone, bool readTwice) {
        QChar reading = agreedIn(inside, 2, agreedInside, glyph);
        if (reading.isNull() && alone)
            reading = agreedIn(beside, 1, agreedBeside, glyph);
        return reading.isNull() && alone && readTwice ? agreedIn(paired, 1, agreedPaired, glyph, true) : reading;
    };

    // Decided on the readings as they came, then written: an empty text drops a symbol.
    std::vector<std::vector<QString>> texts(words.size());
    for (size_t i = 0; i < words.size(); ++i) {
        const std::vector<Placed>& symbols = words[i].symbols;
        std::vector<QString>& out = texts[i];
        for (const Placed& p : symbols)
            out.push_back(p.symbol->text);
        for (size_t k = 0; k < symbols.size(); ++k) {
            const Placed& p = symbols[k];
            // An "!" read on one unbroken stroke after a small Latin letter is the "l" an
            // engine reads so at a word's end ("index.htm!"), and so is an "i", whose dot
            // stands apart from its stem ("март.xisx").
            if ((p.symbol->text == QStringLiteral("!") || p.symbol->text == QStringLiteral("i")) && !p.glyph.empty() && unbroken(p.glyph) && k > 0
                && symbols[k - 1].symbol->text.size() == 1 && symbols[k - 1].symbol->text[0].isLower()
                && symbols[k - 1].symbol->text[0].script() == QChar::Script_Latin) {
                out[k] = QStringLiteral("l");
                continue;
            }
            const QChar now = single(*p.symbol);
            if (p.glyph.empty() || now.isNull())
                continue;
            // The neighbours of the glyph, past a second reading of it ("1l" on an "l").
            size_t next = k + 1;
            while (next < symbols.size() && symbols[next].glyphOf == k)
                ++next;
            const bool alone = !(k > 0 && lettered(symbols, k - 1)) && !lettered(symbols, next);
            const QChar reading = agreed(p.glyph, alone, next > k + 1);
            // A bracket read as the stroke of a letter ("w[il;" for "w[i];"), where copies of
            // its glyph read as that bracket and none as a letter.
            if (reading.isNull() && QStringView(u"lI1|").contains(now) && unbroken(p.glyph))
                if (const QChar sign = agreedIn(brackets, 2, agreedBrackets, p.glyph); !sign.isNull()) {
                    out[k] = QString(sign);
                    continue;
                }
            // A letter alone takes the other script's letter its copies inside words are read
            // as, where the two are drawn apart («п» and "n" of "i != n;"): a model reads a
            // letter of the other script as its own nearest one.
            const bool acrossScripts = alone && script(now) >= 0 && script(reading) >= 0 && script(now) != script(reading)
                && now.isLetter() && reading.isLetter() && !stages::sameGlyphs(QString(now), QString(reading));
            if (reading.isNull() || (reading != now && !mayBecome(now, reading) && !acrossScripts))
                continue;
            out[k] = QString(reading);
            // A character read a second time on the same glyph goes.
            for (size_t j = 0; j < symbols.size(); ++j)
                if (j != k && symbols[j].glyphOf == k)
                    out[j].clear();
        }
    }

    caseByHeight(words, texts);

    for (size_t i = 0; i < words.size(); ++i) {
        const QString text = texts[i].empty() ? QString() : std::accumulate(texts[i].begin(), texts[i].end(), QString());
        if (text == words[i].word->text || text.isEmpty())
            continue;
        words[i].word->text = text;
        words[i].run->respell();
    }
}

void spaceOnTheCells(std::vector<WordRun>& runs, const QImage& view, double scale)
{
    if (view.isNull() || view.format() != QImage::Format_Grayscale8 || scale <= 0)
        return;
    const int paper = mostCommonGrey(view);
    for (WordRun& run : runs) {
        if (run.words.size() < 2)
            continue;
        const QRect area = inView(run.box, scale, view);
        if (area.isEmpty())
            continue;
        const std::optional<Pieces> ink = areaInk(view, area, paper);
        if (!ink)
            continue;
        const Pieces& pieces = *ink;
        const std::vector<Column> columns = columnsOf(pieces, 0);
        if (columns.size() < 10)
            continue;
        std::vector<double> middles;
        for (const Column& column : columns)
            middles.push_back((column.left + column.right + 1) / 2.0);
        // The cell width and where the cells start: of the widths from two fifths to
        // seventeen twentieths of the line's height (a fixed pitch sets about 0.6 em, and a
        // row without descenders stands about 0.76 em tall), the one that puts the most
        // glyphs within a fifth of a cell of their cell's middle. Glyphs of a fixed pitch
        // nearly all stand so; proportional letters drift off any such grid within a few
        // glyphs.
        double pitch = 0, origin = 0;
        size_t best = 0;
        for (double width = 0.4 * area.height(); width <= 0.85 * area.height(); width += 0.05) {
            for (size_t anchor = 0; anchor < std::min<size_t>(middles.size(), 4); ++anchor) {
                size_t on = 0;
                for (double middle : middles) {
                    const double cells = (middle - middles[anchor]) / width;
                    on += 5 * std::abs(cells - std::round(cells)) <= 1;
                }
                if (on > best) {
                    best = on;
                    pitch = width;
                    origin = middles[anchor];
                }
            }
        }
        if (pitch < 3)
            continue;
        std::vector<long> cells(middles.size());
        // Narrow glyphs ("i", ".", ";") tell the fonts apart: a fixed pitch sets them in the
        // middle of a whole cell, a proportional font closes up round them.
        size_t onGrid = 0, narrow = 0, narrowOff = 0;
        for (size_t i = 0; i < middles.size(); ++i) {
            cells[i] = std::lround((middles[i] - origin) / pitch);
            const bool on = 5 * std::abs(middles[i] - origin - double(cells[i]) * pitch) <= pitch;
            onGrid += on;
            if (9 * columns[i].width() <= 4 * pitch) {
                ++narrow;
                narrowOff += !on;
            }
        }
        const bool oneEach = std::adjacent_find(cells.begin(), cells.end(), [](long a, long b) { return b <= a; }) == cells.end();
        // Most glyphs stand in the cell next to the last one, one glyph a cell.
        size_t next = 0;
        for (size_t i = 1; i < cells.size(); ++i)
            next += cells[i] - cells[i - 1] == 1;
        if (20 * onGrid < 19 * middles.size() || narrow < 2 || narrowOff > 0 || !oneEach || 2 * next < cells.size())
            continue;

        // Each glyph to the narrowest word whose box holds its middle: an engine boxes a
        // word over the sign and the word after it ("README" over "README.md").
        const auto glyphsOf = [](const QString& text) {
            return std::count_if(text.begin(), text.end(), [](QChar c) { return !c.isSpace(); });
        };
        std::vector<std::vector<long>> cellsOf(run.words.size());
        std::vector<size_t> unheld;
        std::map<long, QRect> underscores; // by cell, in pixels of the view
        const auto offBox = [&](size_t w, double x) {
            const QRectF box(run.words[w].box.x() / scale, 0, run.words[w].box.width() / scale, 1);
            return std::max({box.left() - pitch / 4 - x, x - box.right() - pitch / 4, 0.0});
        };
        for (size_t i = 0; i < middles.size(); ++i) {
            const double x = area.x() + middles[i];
            size_t holder = run.words.size();
            for (size_t w = 0; w < run.words.size(); ++w)
                if (offBox(w, x) == 0 && (holder == run.words.size() || run.words[w].box.width() < run.words[holder].box.width()))
                    holder = w;
            if (holder < run.words.size())
                cellsOf[holder].push_back(cells[i]);
            else
                unheld.push_back(i);
        }
        // A glyph no box holds, its box lagging behind (the ")" of "find(key)" before ";"),
        // goes to the nearest word within a cell that reads a character more than it holds
        // glyphs. A glyph neither engine read ("_" under the boxes) stays apart.
        for (size_t i : unheld) {
            const double x = area.x() + middles[i];
            size_t nearest = run.words.size();
            for (size_t w = 0; w < run.words.size(); ++w)
                if (offBox(w, x) < pitch && qsizetype(cellsOf[w].size()) < glyphsOf(run.words[w].text)
                    && (nearest == run.words.size() || offBox(w, x) < offBox(nearest, x)))
                    nearest = w;
            if (nearest < run.words.size()) {
                cellsOf[nearest].push_back(cells[i]);
                std::sort(cellsOf[nearest].begin(), cellsOf[nearest].end());
                continue;
            }
            // A flat bar at the foot of its cell, a cell wide, is an underscore: both models
            // drop the "_" of «photo_2024.jpg» in a terminal, and read the words round it apart.
            QRect ink;
            for (size_t piece : columns[i].pieces)
                ink |= pieces.boxes[piece];
            if (ink.height() <= std::max(2.0, pitch / 5) && 2 * ink.width() >= pitch && ink.width() <= 1.2 * pitch
                && 3 * ink.top() >= 2 * area.height())
                underscores.emplace(cells[i], ink.translated(area.topLeft()));
        }
        std::vector<ReadWord> words;
        bool changed = false;
        for (size_t w = 0; w < run.words.size(); ++w) {
            ReadWord word = run.words[w];
            const std::vector<long>& own = cellsOf[w];
            const bool counted = !own.empty() && qsizetype(own.size()) == glyphsOf(word.text);
            // Glyphs in neighbouring cells, or with an underscore between: one word with the
            // one before.
            const long step = w > 0 && !own.empty() && !cellsOf[w - 1].empty() ? own.front() - cellsOf[w - 1].back() : 0;
            const auto underscore = step == 2 ? underscores.find(own.front() - 1) : underscores.end();
            if (step == 1 || underscore != underscores.end()) {
                ReadWord& before = words.back();
                if (underscore != underscores.end()) {
                    const QRect box = QTransform::fromScale(scale, scale).mapRect(QRectF(underscore->second)).toAlignedRect();
                    before.text += u'_';
                    before.box = before.box.united(box);
                    if (!before.symbols.empty())
                        before.symbols.push_back({QStringLiteral("_"), box});
                }
                stages::appendWord(before, word);
                before.confidence = std::min(before.confidence, word.confidence);
                before.dictionary = false;
                before.knownPieces.clear();
                changed = true;
                continue;
            }
            // An empty cell inside a word whose glyphs each have a cell: two words.
            size_t from = 0;
            for (size_t k = 1; counted && k < own.size(); ++k) {
                if (own[k] - own[k - 1] < 2)
                    continue;
                const int cut = int(std::lround((origin + (double(own[k - 1]) + 1) * pitch + area.x()) * scale));
                ReadWord head = word;
                head.text = word.text.left(qsizetype(k - from));
                head.box.setRight(std::max(word.box.left(), cut - 1));
                head.symbols.clear();
                head.dictionary = false;
                head.knownPieces.clear();
                words.push_back(std::move(head));
                word.text = word.text.mid(qsizetype(k - from));
                word.box.setLeft(std::min(word.box.right(), cut + int(pitch * scale)));
                word.symbols.clear();
                word.dictionary = false;
                word.knownPieces.clear();
                from = k;
                changed = true;
            }
            words.push_back(std::move(word));
        }
        if (!changed)
            continue;
        run.words = std::move(words);
        run.respell();
    }
}

void partWordsAtBlanks(std::vector<WordRun>& runs, const QImage& view, double scale)
{
    if (view.isNull() || view.format() != QImage::Format_Grayscale8 || scale <= 0)
        return;
    const int paper = mostCommonGrey(view);
    for (WordRun& run : runs) {
        std::vector<ReadWord> words;
        bool parted = false;
        for (ReadWord& word : run.words) {
            const size_t n = word.symbols.size();
            const bool letters = n >= 4 && symbolsSpell(word) && std::all_of(word.symbols.begin(), word.symbols.end(), [](const ReadSymbol& symbol) {
                return symbol.text.size() == 1 && symbol.text[0].isLetter();
            });
            const QRect area = letters ? inView(word.box, scale, view) : QRect();
            const std::optional<Pieces> ink = area.isEmpty() ? std::nullopt : areaInk(view, area, paper);
            // The blanks between the word's columns of ink, and the widest one's middle.
            std::vector<int> blanks;
            int widest = 0;
            double widestMiddle = 0;
            if (ink) {
                int reach = -1;
                for (const Column& column : columnsOf(*ink, 0)) {
                    const int blank = column.left - reach - 1;
                    if (reach >= 0 && blank > 0) {
                        if (blank > widest)
                            widest = blank, widestMiddle = reach + 1 + blank / 2.0;
                        blanks.push_back(blank);
                    }
                    reach = std::max(reach, column.right);
                }
            }
            // Letters of one word stand a pixel or two apart; a space between words is as
            // wide as a narrow letter. A fixed pitch leaves wide blanks round its narrow
            // letters, but as wide round each of them.
            std::sort(blanks.begin(), blanks.end());
            if (blanks.size() < 3 || 2 * blanks.back() < 5 * std::max(1, median(blanks)) || blanks.back() < 2 * blanks[blanks.size() - 2]
                || 3 * blanks.back() < area.height()) {
                words.push_back(std::move(word));
                continue;
            }
            // The symbols on each side of the blank's middle, in the run's pixels.
            const double middle = (area.left() + widestMiddle) * scale;
            std::vector<size_t> head, tail;
            for (size_t k = 0; k < n; ++k)
                (word.symbols[k].box.center().x() < middle ? head : tail).push_back(k);
            // A capital O standing apart before a word, no wider than the word's small o, is
            // the figure zero of a count («0 ошибок» read «Оошибок»): a capital O is the wider.
            bool zero = false;
            if (head.size() == 1 && head.front() == 0 && QStringView(u"ОO").contains(word.text.front())) {
                int smallO = 0;
                for (size_t k = 1; k < n; ++k)
                    if (word.symbols[k].text.size() == 1 && QStringView(u"оo").contains(word.symbols[k].text[0]))
                        smallO = std::max(smallO, word.symbols[k].box.width());
                zero = smallO > 0 && word.symbols.front().box.width() <= smallO;
            }
            if ((head.size() < 2 && !zero) || tail.size() < 2 || head.back() + 1 != tail.front()) {
                words.push_back(std::move(word));
                continue;
            }
            ReadWord first = stages::partOf(word, head);
            if (zero)
                readAs(first, QStringLiteral("0"));
            words.push_back(std::move(first));
            words.push_back(stages::partOf(word, tail));
            parted = true;
        }
        run.words = std::move(words);
        if (parted)
            run.respell();
    }
}

} // namespace tarnwick::ScreenTextRecognizer::detail
