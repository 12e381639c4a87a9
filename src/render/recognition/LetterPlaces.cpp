// Where each script puts its letters against the small letters of a line: takes the words
// of a line's readings, gives the glyphs standing where the letter read there never does.

#include "render/recognition/MergeStages.h"

#include <functional>

namespace tarnwick::ScreenTextRecognizer::detail::merge {

namespace {

// Small letters that stand between the base line and the x-height, of each script.
const QString& latinMiddle()
{
    static const QString letters = QStringLiteral("acemnorsuvwxz");
    return letters;
}
const QString& cyrillicMiddle()
{
    static const QString letters = QStringLiteral("авгежзиклмнопстхчшъыьэюя");
    return letters;
}

} // namespace

LetterLines letterLines(const std::vector<const ReadWord*>& words)
{
    std::vector<int> tops, bases;
    for (const ReadWord* word : words)
        for (const ReadSymbol& symbol : word->symbols)
            if (symbol.text.size() == 1 && (latinMiddle().contains(symbol.text[0]) || cyrillicMiddle().contains(symbol.text[0]))) {
                tops.push_back(symbol.box.top());
                bases.push_back(symbol.box.top() + symbol.box.height());
            }
    // Fewer small letters than a short word holds place no line.
    if (tops.size() < 5)
        return {};
    std::nth_element(tops.begin(), tops.begin() + qsizetype(tops.size() / 2), tops.end());
    std::nth_element(bases.begin(), bases.begin() + qsizetype(bases.size() / 2), bases.end());
    return {tops[tops.size() / 2], bases[bases.size() / 2]};
}

// The character each symbol of a word starts at, when its symbols spell it; empty otherwise.
std::vector<qsizetype> symbolStarts(const ReadWord& word)
{
    std::vector<qsizetype> starts;
    QString spelt;
    for (const ReadSymbol& symbol : word.symbols) {
        starts.push_back(spelt.size());
        spelt += symbol.text;
    }
    if (word.symbols.empty() || spelt != word.text)
        starts.clear();
    return starts;
}

// The box round a word's symbols from `first` on, `count` of them. The engine boxes a glyph
// over the glyphs it dropped after it ("т" boxed over "т.txt"): no box is taken wider than
// twice the word's usual glyph.
QRect symbolsBox(const ReadWord& word, size_t first, size_t count)
{
    std::vector<int> widths;
    for (const ReadSymbol& symbol : word.symbols)
        widths.push_back(symbol.box.width());
    std::nth_element(widths.begin(), widths.begin() + qsizetype(widths.size() / 2), widths.end());
    const int widest = 2 * widths[widths.size() / 2];
    QRect united;
    for (size_t i = first; i < first + count; ++i) {
        QRect box = word.symbols[i].box;
        box.setWidth(std::min(box.width(), widest));
        united = united.isNull() ? box : united.united(box);
    }
    return united;
}

// The pieces of a word, each with its symbols and their box; empty when the symbols
// do not spell the word.
std::vector<PlacedPiece> placedPieces(const ReadWord& word, size_t index)
{
    const std::vector<qsizetype> starts = symbolStarts(word);
    std::vector<PlacedPiece> pieces;
    if (starts.empty())
        return pieces;
    const std::vector<WordPiece> ranges = wordPieces(word.text);
    for (size_t k = 0; k < ranges.size(); ++k) {
        PlacedPiece piece;
        piece.word = index;
        piece.range = ranges[k];
        for (size_t i = 0; i < starts.size(); ++i) {
            if (starts[i] < ranges[k].from || starts[i] >= ranges[k].from + ranges[k].length)
                continue;
            if (piece.symbolCount == 0)
                piece.firstSymbol = i;
            ++piece.symbolCount;
        }
        if (piece.symbolCount > 0)
            piece.box = symbolsBox(word, piece.firstSymbol, piece.symbolCount);
        piece.known = k < word.knownPieces.size() && word.knownPieces[k];
        if (piece.symbolCount > 0)
            pieces.push_back(piece);
    }
    return pieces;
}

namespace {

bool russianLetter(QChar c)
{
    const QChar small = c.toLower();
    return (small >= u'а' && small <= u'я') || small == u'ё';
}

} // namespace

// How many glyphs of the word's symbols from `first`, `count` of them, stand where the
// letter read there never does: a Cyrillic small letter as tall as an ascender, a Latin
// capital or ascender no taller than the small letters, a descender letter that stops on
// the base line.
int glyphsMisplaced(const ReadWord& word, size_t first, size_t count, const LetterLines& lines)
{
    int misplaced = 0;
    for (size_t i = first; i < first + count && i < word.symbols.size() && lines.known(); ++i) {
        const ReadSymbol& symbol = word.symbols[i];
        if (symbol.text.size() != 1)
            continue;
        const QChar c = symbol.text[0];
        // Where the box stands against the small letters: reaching a quarter of their
        // height above them, no taller than they are, a fifth of it below the base line.
        auto tall = [&](const QRect& box) { return 4 * (lines.top - box.top()) > lines.height(); };
        auto low = [&](const QRect& box) { return 10 * (lines.top - box.top()) < lines.height(); };
        auto descends = [&](const QRect& box) { return 5 * (box.top() + box.height() - lines.base) > lines.height(); };
        // The engine's boxes lag behind the glyphs: a box beside a tall or deep glyph
        // takes some of it, and a glyph's own extent may show in its neighbour's box.
        auto besideAny = [&](const std::function<bool(const QRect&)>& test) {
            return (i > 0 && test(word.symbols[i - 1].box)) || (i + 1 < word.symbols.size() && test(word.symbols[i + 1].box));
        };
        auto tallLetter = [&](size_t k) {
            if (k >= word.symbols.size() || word.symbols[k].text.size() != 1)
                return false;
            const QChar n = word.symbols[k].text[0];
            return n.isUpper() || n.isDigit() || QStringLiteral("бфйёbdfhklti").contains(n);
        };
        const QRect& box = symbol.box;
        // Two symbols boxed over the same columns are one glyph read twice or two glyphs
        // read as one ("fw" for "rw", the "w" boxed over both): neither box is a glyph's own.
        // Nor is one run a third of the way into its neighbour («план», its «н» boxed over
        // the «а» before it and taller than it is).
        const bool shared = std::any_of(word.symbols.begin(), word.symbols.end(), [&](const ReadSymbol& other) {
            return &other != &symbol && 3 * overlap(other.box, box) > std::min(other.box.width(), box.width());
        });
        if (shared)
            continue;
        // A box both tall and deep has taken in its neighbours' glyphs: it tells nothing.
        if (cyrillicMiddle().contains(c) && tall(box) && !descends(box) && !tallLetter(i - 1) && !tallLetter(i + 1))
            ++misplaced;
        else if ((QStringLiteral("ABDEGHKLMNQRTYbdfhkl").contains(c) || (c.isUpper() && c.script() == QChar::Script_Cyrillic))
            && low(box) && !besideAny(tall))
            ++misplaced;
        else if (QStringLiteral("руgpqy").contains(c) && !descends(box) && !besideAny(descends))
            ++misplaced;
    }
    return misplaced;
}

// How much a piece looks like a right reading: a word of the lists counts for it,
// glyphs standing where the script's letters never stand count against it, and so do
// figures between letters and a capital after a small letter, which names seldom hold.
int pieceEvidence(const ReadWord& word, const PlacedPiece& piece, const LetterLines& lines)
{
    const QString text = word.text.mid(piece.range.from, piece.range.length);
    const int letters = letterCount(text);
    if (letters == 0)
        return 0;
    int evidence = piece.known && letters >= 2 ? 2 : 0;
    bool misplaced = glyphsMisplaced(word, piece.firstSymbol, piece.symbolCount, lines) > 0;
    // The Russian model reads Latin letters as letters of other Cyrillic alphabets ("ѕ", "і").
    if (std::any_of(text.begin(), text.end(), [](QChar c) { return c.script() == QChar::Script_Cyrillic && c.isLetter() && !russianLetter(c); }))
        misplaced = true;
    if (misplaced)
        evidence -= 3;
    // Russian small letters with no vowel among them make no Russian word ("срр", "рпд"),
    // where Latin names often have none ("cpp", "png").
    static const QString vowels = QStringLiteral("аеёиоуыэюя");
    if (letters >= 2 && std::all_of(text.begin(), text.end(), [](QChar c) { return !c.isLetter() || (russianLetter(c) && c.isLower()); })
        && std::none_of(text.begin(), text.end(), [](QChar c) { return vowels.contains(c); }))
        evidence -= 2;
    if (figureAmidLetters(text))
        evidence -= 1;
    for (qsizetype i = 1; i < text.size(); ++i)
        if (text[i].isUpper() && text[i - 1].isLower()) {
            evidence -= 1;
            break;
        }
    return evidence;
}

// Marks the words of a line's readings whose glyphs stand where their script's letters
// never do, placed against the small letters of all the readings of the same place:
// items of a bar or badges of a row may stand at heights of their own. A word of the
// lists read with some confidence is left, as is a word of capitals alone (small
// capitals are how some badges and labels are set) and a name of several pieces, which
// is weighed piece by piece.
void markMisplacedGlyphs(std::vector<WordRun>& line)
{
    for (WordRun& reading : line)
        for (ReadWord& word : reading.words) {
            word.misplaced = false;
            if (knownWord(word) || letterCount(word.text) <= shortWord || wordPieces(word.text).size() > 1
                || std::none_of(word.text.begin(), word.text.end(), [](QChar c) { return c.isLower(); }))
                continue;
            std::vector<const ReadWord*> here;
            for (const WordRun& other : line)
                for (const ReadWord& each : other.words)
                    if (overlap(each.box, word.box) > 0)
                        here.push_back(&each);
            const LetterLines lines = letterLines(here);
            word.misplaced = lines.known() && glyphsMisplaced(word, 0, word.symbols.size(), lines) > 0;
        }
}

// Latin capitals and figures whose small letter has the same shape at the small
// letters' height ("xISx" for "xlsx", "0ds" for "ods"): in a name's piece with small
// letters, a capital after a small letter, or a zero, standing no taller than they do is
// the small letter, and an "I" after a small letter is an "l", as names are written. In a
// file's type, which mixes no case and holds no figure amid its letters, so is an "L" or
// a "1" between small letters ("xLsx", "x1sx"): a terminal's "l" is read as either.
void smallLettersOfTheirShape(ReadWord& word, const LetterLines& lines)
{
    static const QString sameShape = QStringLiteral("CcOoSsVvWwXxZz0o");
    const std::vector<qsizetype> starts = symbolStarts(word);
    if (starts.empty() || !lines.known())
        return;
    const std::vector<WordPiece> pieces = wordPieces(word.text);
    for (const WordPiece& piece : pieces) {
        const QString text = word.text.mid(piece.from, piece.length);
        if (!latinLetters(text) || std::none_of(text.begin(), text.end(), [](QChar c) { return c.isLower(); }))
            continue;
        const bool type = &piece == &pieces.back() && piece.from > 0 && word.text[piece.from - 1] == u'.' && typeSized(word.text, piece);
        for (size_t i = 0; i < starts.size(); ++i) {
            const qsizetype at = starts[i];
            if (at < piece.from || at >= piece.from + piece.length || word.symbols[i].text.size() != 1)
                continue;
            const QChar c = word.text[at];
            const qsizetype shape = sameShape.indexOf(c);
            const QRect& box = word.symbols[i].box;
            QChar small = c;
            const bool afterSmall = at > piece.from && word.text[at - 1].isLower();
            if (shape >= 0 && shape % 2 == 0 && 10 * (lines.top - box.top()) < lines.height() && (afterSmall || c == u'0'))
                small = sameShape[shape + 1];
            else if (c == u'I' && afterSmall)
                small = u'l';
            else if ((c == u'L' || c == u'1') && type && afterSmall && at + 1 < piece.from + piece.length && word.text[at + 1].isLower())
                small = u'l';
            word.text[at] = small;
            word.symbols[i].text = QString(small);
        }
    }
}

} // namespace tarnwick::ScreenTextRecognizer::detail::merge
