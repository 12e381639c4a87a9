// The pieces of a name or path in each reading, placed, paired and cut alike: takes the
// words of a row and the other readings over them, gives their pieces for the name merge.
//
// A file name or a path mixes the languages inside one word («notes/черновик.md»), so
// neither language's reading of the whole word is right. Each piece between the signs
// is weighed on its own, on what shows a reading to be the other script's letters:
// a piece of the word lists is likely right, and one whose glyphs stand where that
// script's letters never do is wrong: a Cyrillic small letter as tall as an ascender
// ("п" for "h", "а" for "d"), a capital or Latin ascender no taller than the small
// letters ("YepHoBuK", "Ги" for "rw"), a descender letter that stops on the base line.

#include "render/recognition/MergeStages.h"

#include <QHash>

namespace tarnwick::ScreenTextRecognizer::detail::merge {

namespace {

bool overWord(const QRect& a, const QRect& b) { return 2 * overlap(a, b) >= std::min(a.width(), b.width()) && overlap(a, b) > 0; }

} // namespace

std::vector<WordGroup> wordGroups(const WordRun& row, const std::vector<ReadWord>& alternatives)
{
    // Another language's reading of a row word.
    auto reads = [&](size_t j, size_t i) {
        return alternatives[j].language != row.words[i].language && overWord(alternatives[j].box, row.words[i].box);
    };
    std::vector<WordGroup> groups;
    std::vector<bool> taken(alternatives.size(), false);
    for (size_t i = 0; i < row.words.size();) {
        WordGroup group{{i}, {}};
        for (bool grew = true; grew;) {
            grew = false;
            for (size_t j = 0; j < alternatives.size(); ++j)
                if (!taken[j] && std::any_of(group.rowWords.begin(), group.rowWords.end(), [&](size_t k) { return reads(j, k); })) {
                    taken[j] = true;
                    group.otherWords.push_back(j);
                    grew = true;
                }
            const size_t next = group.rowWords.back() + 1;
            if (next < row.words.size()
                && std::any_of(group.otherWords.begin(), group.otherWords.end(), [&](size_t j) { return reads(j, next); })) {
                group.rowWords.push_back(next);
                grew = true;
            }
        }
        std::sort(group.otherWords.begin(), group.otherWords.end(),
            [&](size_t a, size_t b) { return alternatives[a].box.left() < alternatives[b].box.left(); });
        i = group.rowWords.back() + 1;
        groups.push_back(std::move(group));
    }
    return groups;
}

// The pieces of one piece list that stand over each other with a piece of the other,
// each the other's best: pairs of indexes.
std::vector<std::pair<size_t, size_t>> pairedPieces(const std::vector<PlacedPiece>& a, const std::vector<PlacedPiece>& b)
{
    auto best = [](const PlacedPiece& piece, const std::vector<PlacedPiece>& others) {
        size_t found = others.size();
        int most = 0;
        for (size_t k = 0; k < others.size(); ++k) {
            const int common = overlap(piece.box, others[k].box);
            if (2 * common >= std::min(piece.box.width(), others[k].box.width()) && common > most) {
                most = common;
                found = k;
            }
        }
        return found;
    };
    std::vector<std::pair<size_t, size_t>> pairs;
    for (size_t i = 0; i < a.size(); ++i) {
        const size_t k = best(a[i], b);
        if (k < b.size() && best(b[k], a) == i)
            pairs.emplace_back(i, k);
    }
    return pairs;
}

// Neighbouring pieces of one word that stand under one piece of the other reading are
// one piece where the signs between them are none the other reading holds in the name:
// a model cuts a word where it reads glyphs it does not know as signs ("по{е5" for
// "notes"), while a sign both readings hold parts the name in both.
void joinPiecesUnderOne(std::vector<PlacedPiece>& pieces, const std::vector<ReadWord>& words,
    const std::vector<PlacedPiece>& others, const std::vector<ReadWord>& otherWords, const std::vector<size_t>& otherGroup)
{
    QString otherSigns;
    for (size_t j : otherGroup)
        for (QChar c : otherWords[j].text)
            if (!c.isLetterOrNumber() && !c.isMark())
                otherSigns += c;
    auto under = [&](const PlacedPiece& piece) {
        size_t found = others.size();
        int most = 0;
        for (size_t k = 0; k < others.size(); ++k) {
            const int common = overlap(piece.box, others[k].box);
            if (2 * common >= piece.box.width() && common > most) {
                most = common;
                found = k;
            }
        }
        return found;
    };
    std::vector<PlacedPiece> joined;
    for (const PlacedPiece& piece : pieces) {
        if (!joined.empty()) {
            PlacedPiece& last = joined.back();
            const size_t o = last.word == piece.word ? under(piece) : others.size();
            const QString between = o < others.size() ? words[piece.word].text.mid(last.range.from + last.range.length,
                piece.range.from - last.range.from - last.range.length) : QString();
            const bool foreignSigns = std::none_of(between.begin(), between.end(), [&](QChar c) { return otherSigns.contains(c); });
            if (o < others.size() && o == under(last) && foreignSigns) {
                last.range.length = piece.range.from + piece.range.length - last.range.from;
                last.symbolCount = piece.firstSymbol + piece.symbolCount - last.firstSymbol;
                last.box = last.box.united(piece.box);
                last.known = false;
                continue;
            }
        }
        joined.push_back(piece);
    }
    pieces = std::move(joined);
}

// Whether the symbols of a word from `from` to `to` are all ASCII.
bool asciiSigns(const ReadWord& word, size_t from, size_t to)
{
    for (size_t k = from; k < to; ++k)
        for (QChar c : word.symbols[k].text)
            if (c.unicode() > 0x7f)
                return false;
    return true;
}

bool latinLetters(const QString& text)
{
    return letterCount(text) > 0
        && std::all_of(text.begin(), text.end(), [](QChar c) { return !c.isLetter() || c.script() == QChar::Script_Latin; });
}

// Whether `range` of `text` is of a file type's few characters, with at most a sentence's
// signs after it.
bool typeSized(const QString& text, const WordPiece& range)
{
    constexpr int longestType = 4;
    const QStringView after = QStringView(text).mid(range.from + range.length);
    return range.length <= longestType
        && std::all_of(after.begin(), after.end(), [](QChar c) { return QStringView(u",.;:!?)»\"'").contains(c); });
}

// The last piece of a name after its dot, of a few characters: the file's type, which
// is written in Latin letters whatever the language of the name before it. The engines
// may part the type from its name as a word of its own ("отчёт." "pdf"): the dot then
// ends the word before it among the name's words, `group` (in order). A sentence's sign
// may follow the name ("черновик.md, там").
bool fileType(const std::vector<ReadWord>& words, const std::vector<size_t>& group, const PlacedPiece& piece)
{
    const QString& text = words[piece.word].text;
    if (!typeSized(text, piece.range))
        return false;
    if (piece.range.from > 0)
        return text[piece.range.from - 1] == u'.';
    const auto at = std::find(group.begin(), group.end(), piece.word);
    return at != group.begin() && at != group.end() && words[*(at - 1)].text.endsWith(u'.');
}

// A word's last piece whose start is a word of the lists, run on past the dot before the
// file type the other reading holds: the Russian model reads «план работ.txt» as «работ4ж»
// where the English one reads "paéor.txt". The piece is cut where that word ends, before
// the type, so that each half is weighed against its own piece of the other reading;
// whole, it went with the English reading of both.
void cutAtKnownHeads(std::vector<PlacedPiece>& pieces, const std::vector<ReadWord>& words,
    const std::vector<PlacedPiece>& others, const std::vector<ReadWord>& otherWords, const std::vector<size_t>& otherGroup)
{
    std::vector<PlacedPiece> result;
    for (const PlacedPiece& piece : pieces) {
        const ReadWord& word = words[piece.word];
        const std::vector<qsizetype> starts = symbolStarts(word);
        const WordPiece lastPiece = wordPieces(word.text).back();
        const bool last = piece.range.from + piece.range.length == lastPiece.from + lastPiece.length;
        size_t head = piece.firstSymbol;
        while (head < piece.firstSymbol + piece.symbolCount && starts[head] < piece.range.from + word.knownHead)
            ++head;
        if (!last || word.knownHead == 0 || word.knownHead >= piece.range.length || head == piece.firstSymbol
            || head >= piece.firstSymbol + piece.symbolCount || starts[head] != piece.range.from + word.knownHead) {
            result.push_back(piece);
            continue;
        }
        // The other reading's file type over the piece, past where its head ends.
        const int headEnd = word.symbols[head - 1].box.center().x();
        const bool typeAfter = std::any_of(others.begin(), others.end(), [&](const PlacedPiece& other) {
            const QString text = otherWords[other.word].text.mid(other.range.from, other.range.length);
            return latinLetters(text) && fileType(otherWords, otherGroup, other) && overlap(other.box, piece.box) > 0
                && other.box.left() > headEnd;
        });
        if (!typeAfter) {
            result.push_back(piece);
            continue;
        }
        PlacedPiece first = piece, rest = piece;
        first.range.length = word.knownHead;
        first.symbolCount = head - piece.firstSymbol;
        first.known = true;
        rest.range.from = piece.range.from + word.knownHead;
        rest.range.length = piece.range.length - word.knownHead;
        rest.firstSymbol = head;
        rest.symbolCount = piece.firstSymbol + piece.symbolCount - head;
        rest.known = false;
        rest.cut = true;
        first.box = symbolsBox(word, first.firstSymbol, first.symbolCount);
        rest.box = symbolsBox(word, rest.firstSymbol, rest.symbolCount);
        result.push_back(first);
        result.push_back(rest);
    }
    pieces = std::move(result);
}

// A sign past ASCII just before a piece of figures belongs to the piece: a sign one
// model does not know, which the other reads as letters ("Ne17" for "№17").
void withSignsBeforeFigures(std::vector<PlacedPiece>& pieces, const std::vector<ReadWord>& words)
{
    for (PlacedPiece& piece : pieces) {
        const ReadWord& word = words[piece.word];
        const QString text = word.text.mid(piece.range.from, piece.range.length);
        if (piece.range.from == 0 || piece.firstSymbol == 0 || !std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); }))
            continue;
        const QChar sign = word.text[piece.range.from - 1];
        const ReadSymbol& before = word.symbols[piece.firstSymbol - 1];
        if (sign.unicode() <= 0x7f || sign.isSpace() || before.text != QString(sign))
            continue;
        piece.range.from -= 1;
        piece.range.length += 1;
        piece.firstSymbol -= 1;
        piece.symbolCount += 1;
        piece.box = piece.box.united(before.box);
    }
}

namespace {

// The figures as the other model read them, each the figure or a letter drawn like it
// ("l7" for "17").
bool sameFigures(const QString& figures, const QString& read)
{
    static const QHash<QChar, QString> alike{{u'1', QStringLiteral("lI|")}, {u'0', QStringLiteral("Oo")}};
    if (figures.size() != read.size())
        return false;
    for (qsizetype k = 0; k < figures.size(); ++k)
        if (figures[k] != read[k] && !alike.value(figures[k]).contains(read[k]))
            return false;
    return true;
}

} // namespace

// Whether a piece is such a sign with figures, and the other reading's piece the same
// figures after a letter or two.
bool signReadAsLetters(const QString& signed_, const QString& other)
{
    const QString figures = signed_.mid(1);
    const qsizetype extra = other.size() - figures.size();
    return signed_.size() > 1 && signed_[0].unicode() > 0x7f && !signed_[0].isLetterOrNumber()
        && std::all_of(figures.begin(), figures.end(), [](QChar c) { return c.isDigit(); }) && extra >= 1 && extra <= 2
        && sameFigures(figures, other.right(figures.size())) && letterCount(other.left(extra)) == extra;
}

// Whether a piece's reading holds, just before or after it, a sign where the other
// reading's piece holds a letter on the same glyph ("поте$/" over "notes/"): a model reads
// a letter it does not know as the sign nearest it, and its piece lost that letter.
bool letterReadAsSign(const ReadWord& word, const PlacedPiece& piece, const ReadWord& otherWord, const PlacedPiece& other)
{
    auto readAsSign = [&](size_t k) {
        if (k >= word.symbols.size() || word.symbols[k].text.size() != 1 || !lookAlikeSigns.contains(word.symbols[k].text[0]))
            return false;
        // The same glyph: boxes over each other for two thirds of the wider.
        const QRect& sign = word.symbols[k].box;
        for (size_t j = other.firstSymbol; j < other.firstSymbol + other.symbolCount && j < otherWord.symbols.size(); ++j) {
            const ReadSymbol& symbol = otherWord.symbols[j];
            if (symbol.text.size() == 1 && symbol.text[0].isLetter()
                && 3 * overlap(symbol.box, sign) >= 2 * std::max(symbol.box.width(), sign.width()))
                return true;
        }
        return false;
    };
    return (piece.firstSymbol > 0 && readAsSign(piece.firstSymbol - 1)) || readAsSign(piece.firstSymbol + piece.symbolCount);
}

namespace {

// Whether a blank between glyphs is a space: wider than twice the usual gap between the
// glyphs round it and than half a glyph.
bool spaceAmong(int gap, const std::vector<int>& gaps, const std::vector<int>& widths)
{
    return !gaps.empty() && !widths.empty() && gap > 2 * std::max(1, median(gaps)) && 2 * gap >= median(widths);
}

} // namespace

// Whether the boxes of two words of one reading show a space between them. An engine also
// parts words at glyphs it cannot read, with no more room between them than between letters.
bool spaceBetween(const ReadWord& a, const ReadWord& b)
{
    if (a.symbols.empty() || b.symbols.empty())
        return false;
    std::vector<int> gaps, widths;
    for (const ReadWord* word : {&a, &b})
        for (size_t k = 0; k < word->symbols.size(); ++k) {
            widths.push_back(word->symbols[k].box.width());
            if (k > 0)
                gaps.push_back(word->symbols[k].box.left() - word->symbols[k - 1].box.right());
        }
    return spaceAmong(b.symbols.front().box.left() - a.symbols.back().box.right(), gaps, widths);
}

// Whether an engine parted `word` from the one before it at a sign inside a name: after
// a sign that parts its pieces ("photo_" "2024." "jpg"), or before one ("photo" "_2024.jpg").
bool partedAtASign(const ReadWord& before, const ReadWord& word)
{
    return !before.text.isEmpty() && !word.text.isEmpty() && !wordPieces(before.text).empty() && !wordPieces(word.text).empty()
        && (QStringLiteral("._/").contains(before.text.back()) || QStringLiteral("._").contains(word.text.front()));
}

} // namespace tarnwick::ScreenTextRecognizer::detail::merge
