// Words a monospace grid joins, symbols read on no glyph of their own, and figures a space
// parts from the word after them: takes a line's readings, gives them joined, cleaned, parted.

#include "render/recognition/MergeStages.h"

#include <QHash>
#include <cmath>
#include <numeric>
#include <optional>

namespace tarnwick::ScreenTextRecognizer::stages {

std::vector<WordPiece> wordPieces(const QString& text)
{
    auto inPiece = [&](qsizetype k) { return text[k].isLetterOrNumber() || text[k].isMark(); };
    std::vector<WordPiece> pieces;
    for (qsizetype i = 0; i < text.size();) {
        if (!inPiece(i)) {
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end < text.size() && inPiece(end))
            ++end;
        pieces.push_back({i, end - i});
        i = end;
    }
    return pieces;
}

void appendWord(ReadWord& last, const ReadWord& word)
{
    last.text += word.text;
    last.box = last.box.united(word.box);
    last.symbols.insert(last.symbols.end(), word.symbols.begin(), word.symbols.end());
    last.knownPieces.insert(last.knownPieces.end(), word.knownPieces.begin(), word.knownPieces.end());
    last.knownHead = 0;
}

ReadWord partOf(const ReadWord& word, const std::vector<size_t>& indices)
{
    ReadWord part = word;
    part.text.clear();
    part.symbols.clear();
    part.box = QRect();
    part.dictionary = false;
    part.knownPieces.clear();
    part.knownHead = 0;
    for (size_t k : indices) {
        const ReadSymbol& symbol = word.symbols[k];
        part.text += symbol.text;
        part.symbols.push_back(symbol);
        part.box = part.box.isNull() ? symbol.box : part.box.united(symbol.box);
    }
    return part;
}

} // namespace tarnwick::ScreenTextRecognizer::stages

namespace tarnwick::ScreenTextRecognizer::detail::merge {

namespace {

bool letter(const ReadSymbol& symbol) { return symbol.text.size() == 1 && symbol.text[0].isLetterOrNumber(); }

// Whether the lists hold each piece of a word: as asked, or for a word of one piece,
// the word's own answer.
std::vector<bool> knownPiecesOf(const ReadWord& word)
{
    const size_t pieces = wordPieces(word.text).size();
    if (word.knownPieces.size() == pieces)
        return word.knownPieces;
    if (pieces == 1)
        return {word.dictionary};
    std::vector<bool> known = word.knownPieces;
    known.resize(pieces, false);
    return known;
}

// The pitch of a row's letters when they keep one, as a monospace font's do; 0 otherwise.
double monospacePitch(const WordRun& row)
{
    // Letters a proportional font draws narrow: in a monospace one they keep the pitch too.
    static const QString narrow = QStringLiteral("fijlrtI1");
    std::vector<double> steps, narrowSteps;
    for (const ReadWord& word : row.words)
        for (size_t k = 1; k < word.symbols.size(); ++k)
            if (letter(word.symbols[k - 1]) && letter(word.symbols[k])) {
                steps.push_back(word.symbols[k].box.center().x() - word.symbols[k - 1].box.center().x());
                if (narrow.contains(word.symbols[k - 1].text[0]) || narrow.contains(word.symbols[k].text[0]))
                    narrowSteps.push_back(steps.back());
            }
    constexpr size_t fewestSteps = 6;
    if (steps.size() < fewestSteps)
        return 0;
    const double pitch = median(steps);
    // Three steps in four within a tenth of the pitch, narrow letters among them: a
    // proportional font's letters are of many widths. The engine's boxes of a few
    // letters stray ("fi" at 1×).
    const auto even = std::count_if(steps.begin(), steps.end(), [&](double step) { return std::abs(step - pitch) <= pitch / 10; });
    const bool narrowKept = std::any_of(narrowSteps.begin(), narrowSteps.end(), [&](double step) { return std::abs(step - pitch) <= pitch / 10; });
    if (pitch <= 0 || 4 * even < 3 * qsizetype(steps.size()) || !narrowKept)
        return 0;
    // And a blank between two words is a whole cell: a proportional font's space is about
    // half a letter.
    for (size_t i = 1; i < row.words.size(); ++i) {
        const ReadWord& a = row.words[i - 1];
        const ReadWord& b = row.words[i];
        if (a.symbols.empty() || b.symbols.empty() || !letter(a.symbols.back()) || !letter(b.symbols.front()))
            continue;
        const double cells = (b.symbols.front().box.center().x() - a.symbols.back().box.center().x()) / pitch;
        if (std::abs(cells - std::round(cells)) > 0.25 || cells < 1.5)
            return 0;
    }
    return pitch;
}

// Whether `last` and the row's words from `i` to `next` (words of signs alone before
// it) stand in cells of `pitch` with the signs between their letters and no blank.
bool oneWordInCells(const ReadWord& last, const WordRun& row, size_t i, size_t next, double pitch)
{
    const ReadWord& word = row.words[next];
    const auto lastLetter = std::find_if(last.symbols.rbegin(), last.symbols.rend(), letter);
    const auto firstLetter = std::find_if(word.symbols.begin(), word.symbols.end(), letter);
    if (lastLetter == last.symbols.rend() || firstLetter == word.symbols.end() || symbolStarts(last).empty())
        return false;
    qsizetype between = 0;
    for (size_t k = i; k <= next; ++k)
        if (symbolStarts(row.words[k]).empty())
            return false;
    for (size_t k = i; k < next; ++k)
        between += qsizetype(row.words[k].symbols.size());
    const bool signBetween = !last.text.isEmpty() && !word.text.isEmpty()
        && (between > 0 || !last.text.back().isLetterOrNumber() || !word.text.front().isLetterOrNumber());
    // Signs names and code are written with; the ones an engine reads for a letter it
    // does not know («\», «№») leave the cells uncounted.
    auto written = [&](const ReadSymbol& symbol) {
        return symbol.text.size() == 1 && symbol.text[0].unicode() < 0x80 && !lookAlikeSigns.contains(symbol.text[0]);
    };
    bool spelt = std::all_of(last.symbols.rbegin(), lastLetter, written) && std::all_of(word.symbols.begin(), firstLetter, written);
    for (size_t k = i; k < next; ++k)
        spelt = spelt && std::all_of(row.words[k].symbols.begin(), row.words[k].symbols.end(), written);
    // Two letters within one cell are one glyph read twice ("1l" on the "l" of
    // "ls -l"): their boxes share the cell, and the cells up to them do not count.
    auto oneCell = [&](const ReadSymbol& a, const ReadSymbol& b) {
        return letter(a) && letter(b) && 2 * std::abs(b.box.center().x() - a.box.center().x()) < pitch;
    };
    spelt = spelt && !(lastLetter + 1 != last.symbols.rend() && oneCell(*(lastLetter + 1), *lastLetter))
        && !(firstLetter + 1 != word.symbols.end() && oneCell(*firstLetter, *(firstLetter + 1)));
    if (!spelt || !signBetween)
        return false;
    const auto signs = (lastLetter - last.symbols.rbegin()) + between + (firstLetter - word.symbols.begin());
    const double cells = (firstLetter->box.center().x() - lastLetter->box.center().x()) / pitch;
    return std::lround(cells) == signs + 1;
}

} // namespace

// Words an engine parted where a monospace font leaves room round a sign but no space
// ("map." "find(key);", "отчёт." "pdf"). In such a font every glyph stands in a cell of
// one width: where the row's letters keep to that pitch, the cells between the last
// letter or figure of one word and the first of the next hold the signs between them and
// no blank, and the two are one word, which the merge then weighs piece by piece.
void joinWordsOfOneCell(WordRun& row)
{
    const double pitch = monospacePitch(row);
    if (pitch <= 0)
        return;
    // Words of signs alone between two words ("отчёт" "." "pdf") stand in the cells between.
    auto signsAlone = [&](const ReadWord& word) { return std::none_of(word.symbols.begin(), word.symbols.end(), letter); };
    std::vector<ReadWord> result;
    for (size_t i = 0; i < row.words.size(); ++i) {
        size_t next = i;
        while (next < row.words.size() && signsAlone(row.words[next]))
            ++next;
        if (result.empty() || next >= row.words.size() || !oneWordInCells(result.back(), row, i, next, pitch)) {
            result.push_back(std::move(row.words[i]));
            continue;
        }
        ReadWord& last = result.back();
        // Only the pieces' own answers stand: a name of two words is none of the lists.
        last.knownPieces = knownPiecesOf(last);
        last.knownHead = row.words[next].knownHead;
        double sum = double(last.confidence) * letterCount(last.text), letters = letterCount(last.text);
        for (size_t k = i; k <= next; ++k) {
            const ReadWord& word = row.words[k];
            const std::vector<bool> known = knownPiecesOf(word);
            last.knownPieces.insert(last.knownPieces.end(), known.begin(), known.end());
            last.text += word.text;
            last.box = last.box.united(word.box);
            last.symbols.insert(last.symbols.end(), word.symbols.begin(), word.symbols.end());
            sum += double(word.confidence) * letterCount(word.text);
            letters += letterCount(word.text);
        }
        if (letters > 0)
            last.confidence = float(sum / letters);
        last.dictionary = false;
        i = next;
    }
    row.words = std::move(result);
    row.respell();
}

// Symbols an engine read on no glyph of their own. Signs no other reading holds there: a
// box a quarter as wide as the symbol whose columns it stands within ("=PRO", its "=" a
// pixel wide on the "P"; "..md", a second dot boxed over the first). The edge of a badge,
// or a glyph read twice. A sign the other reading holds as often there is a glyph whose
// box the engine gave its neighbour ("!=", the "=" boxed over both). And letters read a
// second time in the other case, below.
void dropSymbolsOnNoGlyph(std::vector<WordRun>& line)
{
    auto sign = [](const ReadSymbol& symbol) {
        return symbol.text.size() == 1 && !symbol.text[0].isLetterOrNumber() && !symbol.text[0].isSpace();
    };
    // How many symbols read as `text` the other readings hold over `box` (`others`), or
    // the reading `self` holds within it.
    auto held = [&](size_t self, const QString& text, const QRect& box, bool others) {
        int count = 0;
        for (size_t r = 0; r < line.size(); ++r)
            if ((r != self) == others)
                for (const ReadWord& word : line[r].words)
                    for (const ReadSymbol& symbol : word.symbols)
                        count += symbol.text == text
                            && (others ? overlap(symbol.box, box) > 0 : symbol.box.left() >= box.left() && symbol.box.right() <= box.right());
        return count;
    };
    std::vector<std::vector<std::vector<bool>>> drop(line.size());
    for (size_t r = 0; r < line.size(); ++r)
        for (const ReadWord& word : line[r].words) {
            std::vector<bool>& dropped = drop[r].emplace_back(word.symbols.size(), false);
            if (symbolStarts(word).empty())
                continue;
            for (size_t k = 0; k < word.symbols.size(); ++k) {
                const ReadSymbol& symbol = word.symbols[k];
                const auto within = std::find_if(word.symbols.begin(), word.symbols.end(), [&](const ReadSymbol& other) {
                    return &other != &symbol && !other.text.isEmpty() && 4 * symbol.box.width() <= other.box.width()
                        && symbol.box.left() >= other.box.left() && symbol.box.right() <= other.box.right();
                });
                dropped[k] = sign(symbol) && within != word.symbols.end()
                    && held(r, symbol.text, within->box, true) < held(r, symbol.text, within->box, false);
                // A letter read again on the glyph beside it in the other case ("vaLlue",
                // "Nn;", "xlsSx"): its box stands half and more within that letter's, which is
                // the wider of the two.
                for (const size_t j : {k - 1, k + 1}) {
                    if (j >= word.symbols.size() || dropped[k])
                        continue;
                    const ReadSymbol& other = word.symbols[j];
                    const int shared = overlap(symbol.box, other.box);
                    dropped[k] = symbol.text.size() == 1 && other.text.size() == 1 && symbol.text[0].isLetter()
                        && symbol.text != other.text && symbol.text.toLower() == other.text.toLower()
                        && 2 * shared >= symbol.box.width() && other.box.width() > symbol.box.width();
                }
            }
        }
    for (size_t r = 0; r < line.size(); ++r) {
        bool changed = false;
        for (size_t w = 0; w < line[r].words.size(); ++w) {
            ReadWord& word = line[r].words[w];
            std::vector<ReadSymbol> kept;
            QString text;
            for (size_t k = 0; k < word.symbols.size(); ++k)
                if (!drop[r][w][k]) {
                    kept.push_back(word.symbols[k]);
                    text += word.symbols[k].text;
                }
            // The pieces the lists were asked about stay as they were.
            if (kept.size() == word.symbols.size() || wordPieces(text).size() != wordPieces(word.text).size())
                continue;
            word.text = text;
            word.symbols = std::move(kept);
            changed = true;
        }
        if (changed)
            line[r].respell();
    }
}

// Figures joined to the word after them over a space that the word's own boxes show
// ("0ошибок" for «0 ошибок»), and figures read as the letters drawn like them ("З" for
// "3") where the other reading holds a word of figures alone a space before its next
// word ("3" "HoBbIx" under «Зновых»): the word is parted at the space, the figures as the
// other reading gives them where it read them as letters.
void partFiguresFromWords(WordRun& row, const std::vector<ReadWord>& alternatives)
{
    static const QHash<QChar, QString> alike{
        {u'0', QStringLiteral("ОоOo")}, {u'1', QStringLiteral("lI|")}, {u'3', QStringLiteral("Зз")}, {u'6', QStringLiteral("б")}};
    auto figures = [](const QString& text) {
        return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
    };
    std::vector<ReadWord> result;
    for (ReadWord& word : row.words) {
        std::vector<size_t> shown; // the symbols with characters
        for (size_t k = 0; k < word.symbols.size(); ++k)
            if (!word.symbols[k].text.isEmpty())
                shown.push_back(k);
        const bool spelt = !symbolStarts(word).empty() && shown.size() >= 3;
        // The figures the word starts with, as its own reading has them.
        size_t n = 0;
        while (spelt && n < shown.size() && word.symbols[shown[n]].text.size() == 1 && word.symbols[shown[n]].text[0].isDigit())
            ++n;
        std::optional<ReadWord> figure;
        if (spelt && n == 0)
            for (const ReadWord& whole : alternatives) {
                if (whole.language == word.language || !onOneLine(whole.box, word.box))
                    continue;
                // The other reading may have joined the figures to the word as well ("3xHoBbix"):
                // its leading figures, each on a symbol of its own, stand for them, and the
                // word's own boxes must show the space.
                ReadWord other = whole;
                const bool joinedToo = !figures(other.text);
                if (joinedToo) {
                    size_t digits = 0;
                    while (digits < size_t(other.text.size()) && other.text[qsizetype(digits)].isDigit())
                        ++digits;
                    if (digits == 0 || digits >= size_t(other.text.size()) || !other.text[qsizetype(digits)].isLetter()
                        || other.symbols.size() != size_t(other.text.size()))
                        continue;
                    std::vector<size_t> leading(digits);
                    std::iota(leading.begin(), leading.end(), size_t(0));
                    other = partOf(whole, leading);
                }
                if (other.box.right() >= word.box.right())
                    continue;
                const QRect& first = word.symbols[shown.front()].box;
                if (2 * std::abs(other.box.left() - first.left()) > first.width())
                    continue;
                size_t under = 0;
                while (under < shown.size() && word.symbols[shown[under]].box.center().x() < other.box.right())
                    ++under;
                if (under != size_t(other.text.size()))
                    continue;
                bool drawnAlike = true;
                for (size_t k = 0; k < under; ++k) {
                    const QString& letter = word.symbols[shown[k]].text;
                    drawnAlike = drawnAlike && letter.size() == 1 && alike.value(other.text[qsizetype(k)]).contains(letter[0]);
                }
                // The other reading's next word starts past the figure: it saw a space there.
                const bool spaced = joinedToo || std::any_of(alternatives.begin(), alternatives.end(), [&](const ReadWord& next) {
                    return next.language == other.language && &next != &whole && onOneLine(next.box, other.box)
                        && next.box.left() > other.box.right() && overlap(next.box, word.box) > 0;
                });
                if (drawnAlike && spaced) {
                    figure = std::move(other);
                    n = under;
                    break;
                }
            }
        bool part = n > 0 && shown.size() - n >= 2 && letterCount(word.text.mid(qsizetype(n))) >= 2;
        if (part) {
            // A space of the word's own boxes: wider than twice the usual gap between its
            // letters and than half a letter.
            std::vector<int> gaps, widths;
            for (size_t k = n + 1; k < shown.size(); ++k)
                gaps.push_back(word.symbols[shown[k]].box.left() - word.symbols[shown[k - 1]].box.right());
            for (size_t k : shown)
                widths.push_back(word.symbols[k].box.width());
            std::nth_element(gaps.begin(), gaps.begin() + qsizetype(gaps.size() / 2), gaps.end());
            std::nth_element(widths.begin(), widths.begin() + qsizetype(widths.size() / 2), widths.end());
            const int gap = word.symbols[shown[n]].box.left() - word.symbols[shown[n - 1]].box.right();
            part = gap > 2 * std::max(1, gaps[gaps.size() / 2]) && 2 * gap >= widths[widths.size() / 2];
        }
        if (!part) {
            result.push_back(std::move(word));
            continue;
        }
        auto wordOf = [&](size_t from, size_t to) {
            return partOf(word, std::vector<size_t>(shown.begin() + qsizetype(from), shown.begin() + qsizetype(to)));
        };
        ReadWord number = figure ? *figure : wordOf(0, n);
        number.language = word.language;
        ReadWord rest = wordOf(n, shown.size());
        result.push_back(std::move(number));
        result.push_back(std::move(rest));
    }
    row.words = std::move(result);
    row.respell();
}

} // namespace tarnwick::ScreenTextRecognizer::detail::merge
