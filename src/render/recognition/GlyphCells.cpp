// Words on a monospace font's cells and blanks inside a word's ink: takes the runs read and
// the view, gives words joined where their glyphs fill neighbouring cells, and parted where a
// blank shows inside one.

#include "render/recognition/AlikeGlyphs.h"

#include "render/recognition/GlyphInk.h"

#include "render/recognition/GreyImage.h"
#include "render/recognition/ReadingStages.h"

#include <cmath>
#include <map>
#include <numeric>

namespace tarnwick::ScreenTextRecognizer::detail {

using namespace glyphs;

namespace {

// A monospace font's cells along a row: their width, where they start, and each glyph's
// middle and cell.
struct CellGrid {
    double pitch = 0, origin = 0;
    std::vector<double> middles;
    std::vector<long> cells;
};

// The row's glyphs on a grid of cells, where they stand so; none where they drift off it.
std::optional<CellGrid> cellGrid(const std::vector<Column>& columns, int height)
{
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
    for (double width = 0.4 * height; width <= 0.85 * height; width += 0.05) {
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
        return std::nullopt;
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
        return std::nullopt;
    return CellGrid{pitch, origin, std::move(middles), std::move(cells)};
}

// Glyphs a reading holds: its characters but spaces.
qsizetype glyphsOf(const QString& text)
{
    return std::count_if(text.begin(), text.end(), [](QChar c) { return !c.isSpace(); });
}

// Each glyph's cell, by the word that holds it, and the underscores no word read.
struct CellsOfWords {
    std::vector<std::vector<long>> cellsOf;
    std::map<long, QRect> underscores; // by cell, in pixels of the view
};

CellsOfWords cellsOfWords(const WordRun& run, const CellGrid& grid, const Pieces& pieces, const std::vector<Column>& columns,
    const QRect& area, double scale)
{
    const double pitch = grid.pitch;
    const std::vector<double>& middles = grid.middles;
    const std::vector<long>& cells = grid.cells;
    // Each glyph to the narrowest word whose box holds its middle: an engine boxes a
    // word over the sign and the word after it ("README" over "README.md").
    CellsOfWords result{std::vector<std::vector<long>>(run.words.size()), {}};
    std::vector<std::vector<long>>& cellsOf = result.cellsOf;
    std::vector<size_t> unheld;
    std::map<long, QRect>& underscores = result.underscores;
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
    return result;
}

// The run's words joined where their glyphs fill neighbouring cells and parted at an empty
// cell; false where none changed.
bool wordsOnTheCells(WordRun& run, const CellGrid& grid, const CellsOfWords& held, const QRect& area, double scale)
{
    const double pitch = grid.pitch, origin = grid.origin;
    const std::vector<std::vector<long>>& cellsOf = held.cellsOf;
    const std::map<long, QRect>& underscores = held.underscores;
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
        return false;
    run.words = std::move(words);
    return true;
}

} // namespace

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
        const std::vector<Column> columns = columnsOf(*ink, 0);
        if (columns.size() < 10)
            continue;
        const std::optional<CellGrid> grid = cellGrid(columns, area.height());
        if (grid && wordsOnTheCells(run, *grid, cellsOfWords(run, *grid, *ink, columns, area, scale), area, scale))
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
