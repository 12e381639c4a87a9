// Signs read on their glyphs: takes the runs read and the view they were read on, gives
// them with signs read once on two copies of their glyph read twice, waves read as dashes
// read as tildes, two bars read as one read as "=", and a bar on the baseline read as "|"
// read as "I".

#include "render/recognition/GlyphInk.h"

#include "render/recognition/GreyImage.h"
#include "render/recognition/ReadingStages.h"

#include <cmath>

namespace tarnwick::ScreenTextRecognizer::detail::glyphs {

namespace {

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

bool isDash(const ReadSymbol& symbol)
{
    return symbol.text.size() == 1 && QStringView(u"-\u2013\u2014").contains(symbol.text[0]);
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


} // namespace

void readSignsOnTheirGlyphs(std::vector<WordRun>& runs, const QImage& view, double scale, int paper)
{
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
}

} // namespace tarnwick::ScreenTextRecognizer::detail::glyphs
