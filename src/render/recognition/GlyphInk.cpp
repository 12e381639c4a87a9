// The glyphs under a word's characters: takes a word read on a view, gives each of its
// symbols with the glyph it stands over, and tells glyphs drawn alike.

#include "render/recognition/GlyphInk.h"

#include "render/recognition/GreyImage.h"
#include "render/recognition/ReadingStages.h"

#include <QTransform>

#include <cmath>
#include <map>

namespace tarnwick::ScreenTextRecognizer::detail::glyphs {

QRect inView(const QRect& box, double scale, const QImage& view)
{
    const QRectF shown(box.x() / scale, box.y() / scale, box.width() / scale, box.height() / scale);
    return shown.toAlignedRect().adjusted(-1, -1, 1, 1).intersected(view.rect());
}
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
std::optional<Pieces> areaInk(const QImage& view, const QRect& area, int paper, double share)
{
    int darkest = 255;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            darkest = std::min(darkest, int(view.constScanLine(y)[x]));
    if (paper - darkest < 48)
        return std::nullopt;
    return inkPieces(view, area, paper - int(std::lround(share * (paper - darkest))));
}
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
        Column right{cut + 1, widest->right, widest->pieces, true};
        widest->right = cut;
        widest->cut = true;
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

namespace {

// The glyph must be one stroke through its middle rows: two strokes joined by their
// serifs are two letters.
bool oneStroke(const Pieces& pieces, const Column& column)
{
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
}

} // namespace

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
    // The glyph must be one stroke through its middle rows.
    // It is the glyph a cut would fall in: where another is wider, two letters run
    // together there ("al" of "all") and the cut parts them.
    std::vector<Column> columns = columnsOf(pieces, 0);
    size_t twice = placed.size() == columns.size() + 1 ? readTwiceAt(1) : 0;
    if (twice) {
        const Column& under = columns[twice - 1];
        const bool widest = std::none_of(columns.begin(), columns.end(), [&](const Column& c) { return c.width() > under.width(); });
        if (!widest || !oneStroke(pieces, under))
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
    // A cut made where the engine read one wide letter halves it ("m" into an "r" and a
    // stem) and leaves the letters after it on their neighbours' glyphs.
    for (size_t k = 0, next = 0; k < placed.size(); ++k) {
        const QString& text = placed[k].symbol->text;
        if (holder[k] == k && columns[next++].cut && text.size() == 1 && QStringView(u"mwMWмшщжюМШЩЖЮ").contains(text[0]))
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

// A sign a straight stroke of a letter may be read for.
bool bracket(const QString& text)
{
    return text.size() == 1 && QStringView(u"[]()").contains(text[0]);
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


} // namespace tarnwick::ScreenTextRecognizer::detail::glyphs
