// The readings of one view in each language, merged into the rows and words that read best.

#include "render/recognition/ReadingStages.h"

#include <QHash>

#include <cmath>
#include <functional>
#include <limits>
#include <numeric>
#include <optional>

namespace tarnwick::ScreenTextRecognizer {

namespace {

using namespace stages;

// Small text is read once per language, each engine on its own thread, and the
// readings are merged row by row. Tesseract's own choice between languages goes
// word by word on confidence alone, and at these sizes a Russian reading often
// wins inside an English row ("in" as "т", "s" as "$", "lib32" as "11632"). A row
// takes the language that reads it best as a whole; a word of it changes to
// another language's reading where that one is a dictionary word and this one is
// not ("Code" over "Соде"), or where that one is sure and this one is not, as an
// English file name inside a Russian sentence. Figures and signs belong to every
// language, so a reading without letters never takes over. Words of one or two
// letters are too short for either test ("на" reads as the English "Ha"): they
// follow the language of the words on both sides.
constexpr float unsureWord = 60;
constexpr float sureWord = 85;
constexpr int shortWord = 2; // letters
constexpr float clearlySurer = 5;
constexpr float hopeless = 20;
constexpr float halfSure = 50;

int letterCount(const QString& text)
{
    return int(std::count_if(text.begin(), text.end(), [](QChar c) { return c.isLetter(); }));
}

// The mean confidence of a row's words, weighted by their letters: a model reads
// the other script's letters as figures with confidence, and figures tell no
// language. A row of figures alone weighs all its characters.
double rowConfidence(const WordRun& row)
{
    double sum = 0, weight = 0, all = 0, allWeight = 0;
    for (const ReadWord& word : row.words) {
        sum += double(word.confidence) * letterCount(word.text);
        weight += letterCount(word.text);
        all += double(word.confidence) * double(word.text.size());
        allWeight += double(word.text.size());
    }
    if (weight > 0)
        return sum / weight;
    return allWeight > 0 ? all / allWeight : 0;
}

// A dictionary word read with some confidence: the engines mark some junk as words too.
bool knownWord(const ReadWord& word) { return word.dictionary && word.confidence >= unsureWord; }

// How well a language reads a row: first the letters of the words it knows, then
// its confidence.
std::pair<int, double> rowScore(const WordRun& row)
{
    int known = 0;
    for (const ReadWord& word : row.words)
        known += knownWord(word) ? letterCount(word.text) : 0;
    return {known, rowConfidence(row)};
}

// Readings of the same row: on one line, and over each other.
bool sameRow(const QRect& a, const QRect& b) { return onOneLine(a, b) && overlap(a, b) > 0; }

// The words of `row` that `word` stands over (each at least half under it), when
// together they hold at least half of it; empty otherwise.
std::vector<size_t> coveredWords(const WordRun& row, const ReadWord& word)
{
    std::vector<size_t> covered;
    int held = 0;
    for (size_t i = 0; i < row.words.size(); ++i) {
        const int common = overlap(row.words[i].box, word.box);
        if (2 * common >= row.words[i].box.width()) {
            covered.push_back(i);
            held += common;
        }
    }
    if (2 * held < word.box.width())
        covered.clear();
    return covered;
}

// Signs a model reads letters of the other script as, which no Russian word holds.
const QString lookAlikeSigns = QStringLiteral("\\|{}~^$[]@#");

// Whether `alternative`, a word of more than two letters in another language,
// reads better than the words of the row it covers: a dictionary word over words
// that are none, over a word cut in pieces that the engine is less sure of, or
// over a dictionary word clearly less sure ("page" and "раде" both are words); or
// a sure word over unsure ones that are no dictionary words.
// Cyrillic letters with signs no Russian word holds ("аппа.рего\а", "п9д$.]зоп"), or
// glyphs standing where the word's script never puts them: the other script's letters
// misread, whatever the confidence.
bool lookAlikeJunk(const ReadWord& word)
{
    if (word.misplaced)
        return true;
    const bool cyrillic = std::any_of(word.text.begin(), word.text.end(),
        [](QChar c) { return c.script() == QChar::Script_Cyrillic; });
    return cyrillic && std::any_of(word.text.begin(), word.text.end(), [](QChar c) { return lookAlikeSigns.contains(c); });
}

// A figure between two letters: the other script's letters read as the figures drawn
// like them ("Bpa6ote" for «работе», "HoA6pb"); words seldom hold one.
bool figureAmidLetters(const QString& text)
{
    for (qsizetype i = 1; i + 1 < text.size(); ++i)
        if (text[i].isDigit() && text[i - 1].isLetter() && text[i + 1].isLetter())
            return true;
    return false;
}

// Figures and letters side by side in one word ("99пир", "12o0wu6oK").
bool figuresRunIntoLetters(const QString& text)
{
    for (qsizetype i = 1; i < text.size(); ++i)
        if ((text[i].isDigit() && text[i - 1].isLetter()) || (text[i].isLetter() && text[i - 1].isDigit()))
            return true;
    return false;
}

// Latin letters drawn the same as Cyrillic ones, each at the place of its twin.
const QString latinTwins = QStringLiteral("ABCEHKMOPTXYaceopxy");
const QString cyrillicTwins = QStringLiteral("АВСЕНКМОРТХУасеорху");

// Whether a reading refused the twin of a letter the other reading holds: it spells the
// same glyphs but for a letter drawn like none of the other script's («Б», "R") where the
// other reading holds one drawn like a letter of this script ("B", «В»). Each model has
// only its own script's letters, so the Latin model reads «Б» as its nearest letter, while
// a Latin "B" would have been read as the Cyrillic model's «В»: «КБ» is no "KB". So the
// other way round: the Cyrillic model reads "R" as «В» or «К», while a «В» would have been
// read as the Latin model's "B": "PRO" is no «РВО».
bool refusedTwin(const QString& reading, const QString& other)
{
    if (reading.size() != other.size())
        return false;
    bool refused = false;
    for (qsizetype k = 0; k < reading.size(); ++k) {
        const QChar a = reading[k], b = other[k];
        if (a == b || sameGlyphs(QString(a), QString(b)))
            continue;
        // «м» is drawn as a small "M", never as the arches of an "m": the Latin model reads
        // it as its own small letter, and the Cyrillic model reads an "m" as «т».
        if (a == u'м' && b == u'm') {
            refused = true;
            continue;
        }
        const bool cyrillic = a.script() == QChar::Script_Cyrillic && a.isLetter() && !cyrillicTwins.contains(a) && latinTwins.contains(b);
        const bool latin = a.script() == QChar::Script_Latin && a.isLetter() && !latinTwins.contains(a) && cyrillicTwins.contains(b);
        if (!cyrillic && !latin)
            return false;
        refused = true;
    }
    return refused;
}

// Whether one letter of `word` stands over two letters of `other` that stand apart, each
// at least half under it, where the boxes of `word` stand apart too: a model read two glyphs
// as one letter («Беа» for "beta", its «а» over "ta"). Boxes run over each other tell
// nothing: a wide «Д» is boxed over "Ai" as well.
bool letterOverTwo(const ReadWord& word, const ReadWord& other)
{
    if (word.symbols.size() >= other.symbols.size())
        return false;
    const auto letter = [](const ReadSymbol& symbol) { return symbol.text.size() == 1 && symbol.text[0].isLetter(); };
    for (size_t k = 0; k < word.symbols.size(); ++k) {
        const QRect& box = word.symbols[k].box;
        if (!letter(word.symbols[k]) || (k > 0 && word.symbols[k - 1].box.right() >= box.left())
            || (k + 1 < word.symbols.size() && word.symbols[k + 1].box.left() <= box.right()))
            continue;
        for (size_t j = 0; j + 1 < other.symbols.size(); ++j) {
            const ReadSymbol& a = other.symbols[j];
            const ReadSymbol& b = other.symbols[j + 1];
            if (letter(a) && letter(b) && a.box.right() < b.box.left() && 2 * overlap(a.box, box) >= a.box.width()
                && 2 * overlap(b.box, box) >= b.box.width())
                return true;
        }
    }
    return false;
}

bool readsBetter(const ReadWord& alternative, const std::vector<const ReadWord*>& covered)
{
    if (covered.size() == 1) {
        if (refusedTwin(alternative.text, covered.front()->text))
            return true;
        if (refusedTwin(covered.front()->text, alternative.text))
            return false;
    }
    double sum = 0, weight = 0;
    for (const ReadWord* word : covered) {
        sum += (lookAlikeJunk(*word) ? 0.0 : double(word->confidence)) * double(word->text.size());
        weight += double(word->text.size());
    }
    const double confidence = weight > 0 ? sum / weight : 0;
    // A short word under a long one is no word of its own but a piece of it ("зе" in "settings").
    const bool anyKnown = std::any_of(covered.begin(), covered.end(), [&](const ReadWord* word) {
        return knownWord(*word) && (covered.size() == 1 || letterCount(word->text) > shortWord);
    });
    // Confidences pooled over many copies of the same glyphs waver less than one copy's.
    const int copies = covered.size() == 1 ? std::min(alternative.copies, covered.front()->copies) : 1;
    if (knownWord(alternative))
        return !anyKnown || alternative.confidence > confidence + (covered.size() > 1 ? 0 : clearlySurer / std::sqrt(double(copies)));
    if (alternative.dictionary && !anyKnown) {
        // A dictionary word the engine is unsure of still beats junk it is surer of not.
        if (alternative.confidence >= confidence + clearlySurer)
            return true;
        const ReadWord* only = covered.size() == 1 ? covered.front() : nullptr;
        // A word of figures run into letters is the other script's letters read as figures
        // ("99пир" for "Signup"), unless the engine is clearly surer of it.
        if (only && figuresRunIntoLetters(only->text) && letterCount(alternative.text) == alternative.text.size()
            && alternative.confidence + clearlySurer > confidence)
            return true;
        // Nor does one read with a letter over two of its glyphs stand against it, half sure.
        if (only && alternative.confidence >= halfSure && letterOverTwo(*only, alternative))
            return true;
    }
    // Look-alike junk gives way to any reading the engine is not unsure of.
    if (!anyKnown && !lookAlikeJunk(alternative) && alternative.confidence >= unsureWord
        && std::all_of(covered.begin(), covered.end(), [](const ReadWord* word) { return lookAlikeJunk(*word); }))
        return true;
    // A reading the engine all but gave up on gives way to a wordlike one it half
    // trusts, letters more than signs: "Отчёт_за_ноябрь" over "OTYyéT_3a_HoA6pb" (6). A
    // figure amid letters makes the other script's look-alikes no more wordlike:
    // "CO3BOHMMCA" takes nothing from «Созвонимся».
    if (!anyKnown && !lookAlikeJunk(alternative) && confidence < hopeless && alternative.confidence >= halfSure
        && 2 * letterCount(alternative.text) > alternative.text.size() && !figureAmidLetters(alternative.text))
        return true;
    // A word of the lists read half sure is no junk for a sure reading with figures amid
    // its letters to replace.
    const bool halfSureWord = std::any_of(covered.begin(), covered.end(), [](const ReadWord* word) {
        return word->dictionary && word->confidence >= halfSure && letterCount(word->text) > shortWord;
    });
    return !anyKnown && alternative.confidence >= sureWord && confidence < unsureWord
        && !(halfSureWord && figureAmidLetters(alternative.text));
}

// The language of the nearest words of more than two letters on both sides of a
// short word, when they agree; -1 otherwise. With `phrase`, only words short of a
// column gap count: past it stands the next button or cell.
int neighbourLanguage(const std::vector<ReadWord>& words, size_t index, bool phrase = false)
{
    int language = -1;
    for (int step : {-1, 1}) {
        for (auto i = qsizetype(index) + step; i >= 0 && i < qsizetype(words.size()); i += step) {
            const ReadWord& word = words[size_t(i)];
            const ReadWord& last = words[size_t(i - step)];
            const int gap = step > 0 ? word.box.left() - last.box.right() : last.box.left() - word.box.right();
            if (phrase && columnGap(gap, std::max(word.box.height(), last.box.height())))
                break;
            if (letterCount(word.text) <= shortWord)
                continue;
            if (language >= 0 && word.language != language)
                return -1;
            language = word.language;
            break;
        }
    }
    return language;
}

// One row per language standing on the same line of the view.
std::vector<std::vector<WordRun>> rowsByLine(std::vector<std::vector<WordRun>> readings)
{
    std::vector<std::vector<WordRun>> lines;
    for (size_t language = 0; language < readings.size(); ++language) {
        for (WordRun& row : readings[language]) {
            for (ReadWord& word : row.words)
                word.language = int(language);
            auto same = std::find_if(lines.begin(), lines.end(), [&](const std::vector<WordRun>& line) {
                return sameRow(line.front().box, row.box) && std::none_of(line.begin(), line.end(), [&](const WordRun& other) {
                    return !other.words.empty() && other.words.front().language == int(language);
                });
            });
            if (same == lines.end())
                lines.push_back({std::move(row)});
            else
                same->push_back(std::move(row));
        }
    }
    return lines;
}

// Words the engine parted inside a name, at a sign that parts its pieces ("README." "md"):
// the name is weighed piece by piece, and no single word of the other reading takes
// all of it, the signs and the pieces it did not read with it.
bool partsOfAName(const std::vector<const ReadWord*>& words)
{
    static const QString signs = QStringLiteral("./_-@~");
    for (size_t k = 0; k + 1 < words.size(); ++k) {
        const QString& text = words[k]->text;
        if (!text.isEmpty() && signs.contains(text.back()) && letterCount(text) > 0 && letterCount(words[k + 1]->text) > 0)
            return true;
    }
    return false;
}

// Words of more than two letters from the other readings, surest first, take the
// places of the row's words they read better; a word put in stays.
void putInBetterWords(WordRun& row, int rowLanguage, const std::vector<ReadWord>& alternatives)
{
    for (const ReadWord& alternative : alternatives) {
        if (letterCount(alternative.text) <= shortWord)
            continue;
        const std::vector<size_t> covered = coveredWords(row, alternative);
        std::vector<const ReadWord*> words;
        for (size_t i : covered)
            words.push_back(&row.words[i]);
        if (covered.empty()
            || std::any_of(words.begin(), words.end(), [&](const ReadWord* word) { return word->language != rowLanguage; })
            || partsOfAName(words) || !readsBetter(alternative, words))
            continue;
        // The covered words may reach past the alternative: a number and a word read as
        // one ("12o0wu6oK" over "12 ошибок"). What the alternative's reading holds there
        // comes in with it, or it would be lost.
        QRect span;
        for (const ReadWord* word : words)
            span = span.united(word->box);
        std::vector<const ReadWord*> incoming{&alternative};
        for (const ReadWord& other : alternatives)
            if (&other != &alternative && other.language == alternative.language && overlap(other.box, alternative.box) <= 0
                && 2 * overlap(other.box, span) >= other.box.width() && onOneLine(other.box, alternative.box))
                incoming.push_back(&other);
        std::sort(incoming.begin(), incoming.end(), [](const ReadWord* a, const ReadWord* b) { return a->box.left() < b->box.left(); });
        std::vector<ReadWord> result;
        for (size_t i = 0; i < row.words.size(); ++i) {
            if (i == covered.front())
                for (const ReadWord* word : incoming)
                    result.push_back(*word);
            if (std::find(covered.begin(), covered.end(), i) == covered.end())
                result.push_back(std::move(row.words[i]));
        }
        row.words = std::move(result);
    }
}

// The words of more than two letters of a row in one language.
int wordsIn(const WordRun& row, int language)
{
    return int(std::count_if(row.words.begin(), row.words.end(),
        [&](const ReadWord& word) { return word.language == language && letterCount(word.text) > shortWord; }));
}

} // namespace

namespace stages {

bool sameGlyphs(const QString& a, const QString& b)
{
    const QString& latin = latinTwins;
    const QString& cyrillic = cyrillicTwins;
    if (a.size() != b.size())
        return false;
    for (qsizetype k = 0; k < a.size(); ++k) {
        const qsizetype x = latin.indexOf(a[k]), y = cyrillic.indexOf(b[k]);
        const qsizetype x2 = latin.indexOf(b[k]), y2 = cyrillic.indexOf(a[k]);
        if (a[k] != b[k] && !(x >= 0 && x == y) && !(x2 >= 0 && x2 == y2))
            return false;
    }
    return true;
}

} // namespace stages

namespace {

struct LetterLines;
int glyphsMisplaced(const ReadWord& word, size_t first, size_t count, const LetterLines& lines);

// The same letters but for their case, each the other's or its twin: «ок» and "OK".
bool twinsButCase(const QString& a, const QString& b) { return a != b && sameGlyphs(a.toUpper(), b.toUpper()); }

// Short words take the reading in the language of the words on both sides unless
// their own is sure, or where those languages differ, the surest reading.
void settleShortWords(WordRun& row, const std::vector<ReadWord>& alternatives, const LetterLines& lines)
{
    auto isShort = [](const ReadWord& word) {
        const int letters = letterCount(word.text);
        return letters > 0 && letters <= shortWord;
    };
    for (size_t i = 0; i < row.words.size(); ++i) {
        if (!isShort(row.words[i]))
            continue;
        const ReadWord* pick = &row.words[i];
        for (const ReadWord& alternative : alternatives) {
            const std::vector<size_t> covered = coveredWords(row, alternative);
            if (!isShort(alternative) || covered.size() != 1 || covered.front() != i)
                continue;
            if (refusedTwin(pick->text, alternative.text))
                continue;
            if (refusedTwin(alternative.text, pick->text)) {
                pick = &alternative;
                continue;
            }
            // Letters that differ only in case tell by their height: a small letter standing
            // as tall as the capitals is the capital the other model read ("OK", not «ок»).
            if (twinsButCase(pick->text, alternative.text)) {
                const bool mine = glyphsMisplaced(*pick, 0, pick->symbols.size(), lines) > 0;
                const bool theirs = glyphsMisplaced(alternative, 0, alternative.symbols.size(), lines) > 0;
                if (mine != theirs) {
                    if (mine)
                        pick = &alternative;
                    continue;
                }
            }
            // Where both readings spell the same glyphs («ОК», «OK»), the words round it
            // tell its language only within its own phrase, not across a column gap.
            const int language = neighbourLanguage(row.words, i, sameGlyphs(alternative.text, pick->text));
            // A word of the lists never gives way to one that is none ("и" to "uv").
            if (pick->dictionary && !alternative.dictionary)
                continue;
            // Or a word of the lists surer than a non-word, whatever the neighbours, and
            // where the row holds sentences of that language, surer than a word read unsure:
            // "и" between "Linux" and "Windows" is no English "u" or "uv".
            const bool surerWord = alternative.dictionary && alternative.confidence > pick->confidence
                && (!pick->dictionary || (knownWord(alternative) && !knownWord(*pick) && wordsIn(row, alternative.language) >= 2));
            if ((language >= 0 ? alternative.language == language && pick->language != language && pick->confidence < sureWord
                               : alternative.confidence > pick->confidence)
                || surerWord)
                pick = &alternative;
        }
        if (pick != &row.words[i])
            row.words[i] = *pick;
    }
}

// --- Names and paths, piece by piece ---------------------------------------------------
//
// A file name or a path mixes the languages inside one word («notes/черновик.md»), so
// neither language's reading of the whole word is right. Each piece between the signs
// is weighed on its own, on what shows a reading to be the other script's letters:
// a piece of the word lists is likely right, and one whose glyphs stand where that
// script's letters never do is wrong: a Cyrillic small letter as tall as an ascender
// ("п" for "h", "а" for "d"), a capital or Latin ascender no taller than the small
// letters ("YepHoBuK", "Ги" for "rw"), a descender letter that stops on the base line.

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

// The top and base line of a row's small letters, as the symbols of all its readings
// place them (medians: each reading misplaces some).
struct LetterLines {
    int top = 0, base = 0;
    bool known() const { return base > top; }
    int height() const { return base - top; }
};

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

// A piece of a word placed in the view, with its symbols.
struct PlacedPiece {
    size_t word = 0; // in its list
    WordPiece range;
    size_t firstSymbol = 0, symbolCount = 0;
    QRect box;
    bool known = false;
    bool cut = false; // cut from the piece before it, with no sign between
};

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

bool russianLetter(QChar c)
{
    const QChar small = c.toLower();
    return (small >= u'а' && small <= u'я') || small == u'ё';
}

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

// The row's words and the other readings' words that stand over each other, linked
// through any chain of such pairs: one name or path as each reading cut it.
struct WordGroup {
    std::vector<size_t> rowWords, otherWords;
};

bool overWord(const QRect& a, const QRect& b) { return 2 * overlap(a, b) >= std::min(a.width(), b.width()) && overlap(a, b) > 0; }

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

// Whether a piece is such a sign with figures, and the other reading's piece the same
// figures after a letter or two.
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

bool signReadAsLetters(const QString& signed_, const QString& other)
{
    const QString figures = signed_.mid(1);
    const qsizetype extra = other.size() - figures.size();
    return signed_.size() > 1 && signed_[0].unicode() > 0x7f && !signed_[0].isLetterOrNumber()
        && std::all_of(figures.begin(), figures.end(), [](QChar c) { return c.isDigit(); }) && extra >= 1 && extra <= 2
        && sameFigures(figures, other.right(figures.size())) && letterCount(other.left(extra)) == extra;
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

// Whether a blank between glyphs is a space: wider than twice the usual gap between the
// glyphs round it and than half a glyph.
bool spaceAmong(int gap, const std::vector<int>& gaps, const std::vector<int>& widths)
{
    return !gaps.empty() && !widths.empty() && gap > 2 * std::max(1, median(gaps)) && 2 * gap >= median(widths);
}

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

// Each name or path of the row takes each of its pieces from the reading that reads
// it best; a piece no evidence settles (both readings words of their lists, or none)
// follows the nearest settled pieces of its name, and where none is settled stays as
// the row has it.
void mergePieces(WordRun& row, const std::vector<ReadWord>& alternatives)
{
    std::vector<const ReadWord*> all;
    for (const ReadWord& word : alternatives)
        all.push_back(&word);
    const LetterLines lines = letterLines(all);
    std::vector<ReadWord> result;
    for (const WordGroup& group : wordGroups(row, alternatives)) {
        std::vector<PlacedPiece> mine, theirs;
        bool spelt = true;
        size_t most = 0;
        for (size_t i : group.rowWords) {
            std::vector<PlacedPiece> pieces = placedPieces(row.words[i], i);
            spelt = spelt && !symbolStarts(row.words[i]).empty();
            most = std::max(most, wordPieces(row.words[i].text).size());
            mine.insert(mine.end(), pieces.begin(), pieces.end());
        }
        for (size_t j : group.otherWords) {
            std::vector<PlacedPiece> pieces = placedPieces(alternatives[j], j);
            spelt = spelt && !symbolStarts(alternatives[j]).empty();
            most = std::max(most, wordPieces(alternatives[j].text).size());
            theirs.insert(theirs.end(), pieces.begin(), pieces.end());
        }
        withSignsBeforeFigures(mine, row.words);
        withSignsBeforeFigures(theirs, alternatives);
        // Cut before pieces under one are joined: the name and its type stand under the
        // run-on piece.
        cutAtKnownHeads(mine, row.words, theirs, alternatives, group.otherWords);
        cutAtKnownHeads(theirs, alternatives, mine, row.words, group.rowWords);
        joinPiecesUnderOne(mine, row.words, theirs, alternatives, group.otherWords);
        joinPiecesUnderOne(theirs, alternatives, mine, row.words, group.rowWords);
        const auto pairs = pairedPieces(mine, theirs);
        // Words without signs inside are left to the merge word by word.
        if (!spelt || most < 2 || pairs.empty()) {
            for (size_t i : group.rowWords)
                result.push_back(std::move(row.words[i]));
            continue;
        }
        // +1: the other reading's piece, -1: the row's, 0: not settled.
        std::vector<int> choice(pairs.size(), 0);
        int typeChoice = 0;
        for (size_t p = 0; p < pairs.size(); ++p) {
            const PlacedPiece& a = mine[pairs[p].first];
            const PlacedPiece& b = theirs[pairs[p].second];
            // A word of the lists read short of a letter that its model read as a sign is no
            // evidence: «поте» of «поте$/» over "notes/".
            auto evidence = [&](const ReadWord& word, PlacedPiece piece, const ReadWord& otherWord, const PlacedPiece& other) {
                piece.known = piece.known && !letterReadAsSign(word, piece, otherWord, other);
                return pieceEvidence(word, piece, lines);
            };
            int margin = evidence(alternatives[b.word], b, row.words[a.word], a) - evidence(row.words[a.word], a, alternatives[b.word], b);
            // A model that does not know a script loses some of its glyphs ("по" for "notes").
            const int mineLetters = letterCount(row.words[a.word].text.mid(a.range.from, a.range.length));
            const int theirLetters = letterCount(alternatives[b.word].text.mid(b.range.from, b.range.length));
            if (3 * mineLetters < 2 * theirLetters)
                margin += 2;
            else if (3 * theirLetters < 2 * mineLetters)
                margin -= 2;
            const QString mineText = row.words[a.word].text.mid(a.range.from, a.range.length);
            const QString theirText = alternatives[b.word].text.mid(b.range.from, b.range.length);
            if (signReadAsLetters(mineText, theirText))
                margin = -1;
            else if (signReadAsLetters(theirText, mineText))
                margin = 1;
            // A file's type follows no language of its name: where no evidence settles it,
            // it is read in Latin letters, and it leads no other piece.
            const bool lastPiece = p + 1 == pairs.size() && pairs[p].first + 1 == mine.size() && pairs[p].second + 1 == theirs.size();
            if (margin == 0 && lastPiece) {
                const bool mineType = latinLetters(row.words[a.word].text.mid(a.range.from, a.range.length)) && fileType(row.words, group.rowWords, a);
                const bool theirType = latinLetters(alternatives[b.word].text.mid(b.range.from, b.range.length)) && fileType(alternatives, group.otherWords, b);
                typeChoice = theirType && !mineType ? 1 : mineType && !theirType ? -1 : 0;
            }
            // A piece of the other reading over two of the row's, across a sign the row's
            // word holds between them, read that sign as a letter («згсДагп» over "src/tarn"):
            // it is no reading of either alone.
            const bool overTwo = std::any_of(mine.begin(), mine.end(), [&](const PlacedPiece& m) {
                return &m != &a && m.word == a.word && 2 * overlap(m.box, b.box) >= m.box.width();
            });
            if (overTwo)
                margin = std::min(margin, -1);
            choice[p] = margin > 0 ? 1 : margin < 0 ? -1 : 0;
        }
        // Pieces the other reading holds past the row's last one, where the row has at
        // most signs: glyphs the row's model dropped at the end of a name ("работ." for
        // "работ.txt"). They follow the row's last piece with the other reading's signs.
        size_t trailingTo = 0;
        const PlacedPiece* lastPaired = &theirs[pairs.back().second];
        if (pairs.back().first + 1 == mine.size() && mine.back().word == group.rowWords.back()) {
            for (size_t t = pairs.back().second + 1; t < theirs.size(); ++t) {
                const PlacedPiece& piece = theirs[t];
                const QString text = alternatives[piece.word].text.mid(piece.range.from, piece.range.length);
                if (piece.word != lastPaired->word || piece.box.center().x() <= mine.back().box.right() || letterCount(text) < 2
                    || pieceEvidence(alternatives[piece.word], piece, lines) < 0)
                    break;
                trailingTo = piece.firstSymbol + piece.symbolCount;
            }
            // With the signs that close the word after them ("find(key);"): the row's own
            // signs there stood after its last piece, which is gone.
            const std::vector<ReadSymbol>& closing = alternatives[lastPaired->word].symbols;
            if (trailingTo > 0 && std::all_of(closing.begin() + qsizetype(trailingTo), closing.end(), [](const ReadSymbol& symbol) {
                    return std::none_of(symbol.text.begin(), symbol.text.end(), [](QChar c) { return c.isLetterOrNumber(); });
                }))
                trailingTo = closing.size();
        }
        std::vector<int> settled = choice;
        for (size_t p = 0; p < pairs.size(); ++p) {
            if (choice[p] != 0)
                continue;
            // Pieces the other reading holds past the row's last one are its choice there.
            int left = 0, right = trailingTo > 0 ? 1 : 0;
            for (size_t k = p; k-- > 0;)
                if (choice[k] != 0) {
                    left = choice[k];
                    break;
                }
            for (size_t k = p + 1; k < pairs.size(); ++k)
                if (choice[k] != 0) {
                    right = choice[k];
                    break;
                }
            settled[p] = left == 0 ? right : right == 0 || right == left ? left : 0;
        }
        if (typeChoice != 0)
            settled.back() = typeChoice;
        // All pieces of both readings paired and all the other reading's: its words
        // whole, with their signs and spaces ("README.md" for "ВЕАОМЕ. та"). So too where
        // the other reading's pieces that pair with none stand between pieces it pairs:
        // glyphs the row's model ran into the piece after them ("565,2KB" over «565,2»
        // «КБ», the "2" boxed over the comma).
        const auto [fewestTheirs, mostTheirs] = std::minmax_element(pairs.begin(), pairs.end(),
            [](const auto& a, const auto& b) { return a.second < b.second; });
        if (pairs.size() == mine.size() && fewestTheirs->second == 0
            && mostTheirs->second + 1 == theirs.size()
            && std::all_of(settled.begin(), settled.end(), [](int c) { return c > 0; })) {
            // Parted at a sign inside a name the row's reading holds as one word, they are one.
            for (size_t j : group.otherWords) {
                if (j != group.otherWords.front() && group.rowWords.size() == 1 && partedAtASign(result.back(), alternatives[j]))
                    appendWord(result.back(), alternatives[j]);
                else
                    result.push_back(alternatives[j]);
            }
            continue;
        }
        // Otherwise piece by piece inside the row's words. The signs beside a piece taken
        // from the other reading come from it too where it has the same pieces round them
        // and fewer signs: a model reads letters it does not know as signs ("пое$/" for
        // "notes/"); or as many, where only its signs are the ASCII ones names are written
        // with ("—/" for "~/").
        auto pairOf = [&](size_t m) {
            const auto found = std::find_if(pairs.begin(), pairs.end(), [&](const auto& p) { return p.first == m; });
            return found == pairs.end() ? pairs.size() : size_t(found - pairs.begin());
        };
        auto taken = [&](size_t m) {
            const size_t p = pairOf(m);
            return p < pairs.size() && settled[p] > 0;
        };
        // A word of signs alone that the other reading holds between the middles of two of
        // its pieces ("отчёт" "." "pdf"): the signs round its pieces are not all in their words.
        auto signWordBetween = [&](int left, int right) {
            return std::any_of(group.otherWords.begin(), group.otherWords.end(), [&](size_t j) {
                const ReadWord& other = alternatives[j];
                return wordPieces(other.text).empty() && other.box.center().x() > left && other.box.center().x() < right;
            });
        };
        // The tail of a taken piece past a space the row's model saw: the next row word,
        // with no piece of its own paired, stands over it ("ExportCSV" over «Ехрой» «С5$У»).
        std::vector<ReadSymbol> carried;
        for (size_t g = 0; g < group.rowWords.size(); ++g) {
            const size_t i = group.rowWords[g];
            const ReadWord& word = row.words[i];
            std::vector<size_t> own;
            for (size_t m = 0; m < mine.size(); ++m)
                if (mine[m].word == i)
                    own.push_back(m);
            ReadWord changed = word;
            changed.text.clear();
            changed.symbols.clear();
            if (!carried.empty()) {
                changed.box = QRect();
                for (const ReadSymbol& symbol : carried) {
                    changed.text += symbol.text;
                    changed.box = changed.box.isNull() ? symbol.box : changed.box.united(symbol.box);
                }
                changed.symbols = std::move(carried);
                changed.knownPieces.clear();
                changed.dictionary = false;
                carried.clear();
                result.push_back(std::move(changed));
                continue;
            }
            // The next row word, when all of it stands under the other reading's piece `a`
            // past a space, and none of its pieces is paired: where it starts, `a` is cut.
            auto cutAt = [&](const PlacedPiece& a) {
                if (g + 1 >= group.rowWords.size() || a.firstSymbol + a.symbolCount != alternatives[a.word].symbols.size())
                    return size_t(0);
                const size_t n = group.rowWords[g + 1];
                const ReadWord& next = row.words[n];
                const bool paired = std::any_of(mine.begin(), mine.end(), [&](const PlacedPiece& m) {
                    return m.word == n && pairOf(size_t(&m - mine.data())) < pairs.size();
                });
                if (paired || 2 * overlap(next.box, a.box) < next.box.width() || !spaceBetween(word, next))
                    return size_t(0);
                const int middle = (word.symbols.back().box.right() + next.symbols.front().box.left()) / 2;
                for (size_t k = a.firstSymbol + 1; k < a.firstSymbol + a.symbolCount; ++k)
                    if (alternatives[a.word].symbols[k].box.left() >= middle)
                        return k;
                return size_t(0);
            };
            auto append = [&](const ReadWord& source, size_t from, size_t to) {
                for (size_t k = from; k < to; ++k) {
                    changed.text += source.symbols[k].text;
                    changed.symbols.push_back(source.symbols[k]);
                }
            };
            // The signs before the k-th piece, and after the last one.
            for (size_t k = 0; k <= own.size(); ++k) {
                const size_t from = k == 0 ? 0 : mine[own[k - 1]].firstSymbol + mine[own[k - 1]].symbolCount;
                const size_t to = k == own.size() ? word.symbols.size() : mine[own[k]].firstSymbol;
                const size_t before = k > 0 && pairOf(own[k - 1]) < pairs.size() ? pairs[pairOf(own[k - 1])].second : theirs.size();
                const size_t after = k < own.size() && pairOf(own[k]) < pairs.size() ? pairs[pairOf(own[k])].second : theirs.size();
                const bool beside = (k > 0 && taken(own[k - 1])) || (k < own.size() && taken(own[k]));
                // Between two pieces both taken from the other reading, its signs are read with
                // them, as many as the row's: «потеЛ\уап» is no reading of "home/ivan".
                const bool between = k > 0 && k < own.size() && taken(own[k - 1]) && taken(own[k]);
                const PlacedPiece* b = before < theirs.size() ? &theirs[before] : nullptr;
                const PlacedPiece* a = after < theirs.size() ? &theirs[after] : nullptr;
                // The other reading's signs here, when it has the same pieces round them.
                const ReadWord* source = nullptr;
                size_t otherFrom = 0, otherTo = 0;
                if (beside && b && a && after == before + 1 && a->word == b->word)
                    source = &alternatives[a->word], otherFrom = b->firstSymbol + b->symbolCount, otherTo = a->firstSymbol;
                else if (beside && k == 0 && a && (after == 0 || theirs[after - 1].word != a->word)
                    && !signWordBetween(after == 0 ? std::numeric_limits<int>::min() : theirs[after - 1].box.center().x(), a->box.center().x()))
                    source = &alternatives[a->word], otherFrom = 0, otherTo = a->firstSymbol;
                else if (beside && k == own.size() && b && (before + 1 == theirs.size() || theirs[before + 1].word != b->word)
                    && !signWordBetween(b->box.center().x(), before + 1 == theirs.size() ? std::numeric_limits<int>::max() : theirs[before + 1].box.center().x()))
                    source = &alternatives[b->word], otherFrom = b->firstSymbol + b->symbolCount, otherTo = source->symbols.size();
                // A piece the other reading's model ran on into is no reading of the signs
                // before it: none stand there.
                if (source && a && a->cut && otherFrom == otherTo)
                    source = nullptr;
                // Signs the row's model read before a word's first piece, where the other
                // reading holds its pieces round them in one word and the row's word before
                // already ends on the signs between them («работ.» «{хЕ» over "paoor.txt"):
                // the glyphs of the other reading's signs were read there, and these are more.
                const bool signsRead = k == 0 && g > 0 && source == nullptr && beside && a && after > 0 && theirs[after - 1].word == a->word
                    && !result.empty() && [&] {
                           const ReadWord& other = alternatives[a->word];
                           QString between;
                           for (size_t s = theirs[after - 1].firstSymbol + theirs[after - 1].symbolCount; s < a->firstSymbol; ++s)
                               between += other.symbols[s].text;
                           return !between.isEmpty() && result.back().text.endsWith(between);
                       }();
                if (signsRead) {
                    // None: the word before holds them.
                }
                // Before the first piece, signs the other reading holds where this one holds
                // none come in with its piece: the Russian model drops the "/" of "/home".
                else if (k == own.size() && trailingTo > 0 && i == group.rowWords.back())
                    append(alternatives[lastPaired->word], lastPaired->firstSymbol + lastPaired->symbolCount, trailingTo);
                else if (source && (otherTo - otherFrom < to - from || (otherTo - otherFrom == to - from
                                        && ((asciiSigns(*source, otherFrom, otherTo) && !asciiSigns(word, from, to)) || between))
                                    || (k == 0 && from == to && otherTo > otherFrom && asciiSigns(*source, otherFrom, otherTo))
                                    || (k > 0 && k < own.size() && mine[own[k]].cut && otherTo > otherFrom)))
                    append(*source, otherFrom, otherTo);
                else
                    append(word, from, to);
                if (k == own.size())
                    break;
                const size_t cut = taken(own[k]) && k + 1 == own.size() ? cutAt(*a) : 0;
                if (cut > 0) {
                    const std::vector<ReadSymbol>& symbols = alternatives[a->word].symbols;
                    append(alternatives[a->word], a->firstSymbol, cut);
                    carried.assign(symbols.begin() + qsizetype(cut), symbols.end());
                    append(word, mine[own[k]].firstSymbol + mine[own[k]].symbolCount, word.symbols.size());
                    if (k < changed.knownPieces.size())
                        changed.knownPieces[k] = false;
                    break;
                }
                if (taken(own[k])) {
                    append(alternatives[a->word], a->firstSymbol, a->firstSymbol + a->symbolCount);
                    if (k < changed.knownPieces.size())
                        changed.knownPieces[k] = a->known;
                } else {
                    append(word, mine[own[k]].firstSymbol, mine[own[k]].firstSymbol + mine[own[k]].symbolCount);
                }
            }
            // Words of the row that one word of the other reading spans are one word
            // once a piece of it is put in: an engine parts words at the glyphs it cannot
            // read ("план." "Ех" for "план.txt").
            // So are words the row's engine parted after a sign inside a name ("photo_"
            // "2024." "jpg"), where the other reading holds them as one.
            // And words it parted before such a sign ("photo" "_2024.jpg").
            const bool afterSign = i != group.rowWords.front() && !result.empty() && partedAtASign(result.back(), changed);
            // A word whose run-on piece was cut, its head kept as read, stays a word of its
            // own: «за» «мартхёх» under "3aMapT.xlsx" is «за март.xlsx», no «замарт.xlsx».
            const bool ownStart = !own.empty() && mine[own.front()].range.from == 0 && !taken(own.front()) && own.size() > 1 && mine[own[1]].cut;
            const bool joined = i != group.rowWords.front() && group.otherWords.size() == 1 && !ownStart
                && (afterSign || std::any_of(pairs.begin(), pairs.end(), [&](const auto& p) { return settled[size_t(&p - pairs.data())] > 0; }));
            if (joined) {
                appendWord(result.back(), changed);
            } else {
                result.push_back(std::move(changed));
            }
        }
    }
    for (ReadWord& word : result)
        if (wordPieces(word.text).size() > 1)
            smallLettersOfTheirShape(word, lines);
    row.words = std::move(result);
}

// Words an engine parted where a monospace font leaves room round a sign but no space
// ("map." "find(key);", "отчёт." "pdf"). In such a font every glyph stands in a cell of
// one width: where the row's letters keep to that pitch, the cells between the last
// letter or figure of one word and the first of the next hold the signs between them and
// no blank, and the two are one word, which the merge then weighs piece by piece.
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

void joinWordsOfOneCell(WordRun& row)
{
    auto letter = [](const ReadSymbol& symbol) { return symbol.text.size() == 1 && symbol.text[0].isLetterOrNumber(); };
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
        return;
    std::vector<double> sorted = steps;
    std::nth_element(sorted.begin(), sorted.begin() + qsizetype(sorted.size() / 2), sorted.end());
    const double pitch = sorted[sorted.size() / 2];
    // Three steps in four within a tenth of the pitch, narrow letters among them: a
    // proportional font's letters are of many widths. The engine's boxes of a few
    // letters stray ("fi" at 1×).
    const auto even = std::count_if(steps.begin(), steps.end(), [&](double step) { return std::abs(step - pitch) <= pitch / 10; });
    const bool narrowKept = std::any_of(narrowSteps.begin(), narrowSteps.end(), [&](double step) { return std::abs(step - pitch) <= pitch / 10; });
    if (pitch <= 0 || 4 * even < 3 * qsizetype(steps.size()) || !narrowKept)
        return;
    // And a blank between two words is a whole cell: a proportional font's space is about
    // half a letter.
    for (size_t i = 1; i < row.words.size(); ++i) {
        const ReadWord& a = row.words[i - 1];
        const ReadWord& b = row.words[i];
        if (a.symbols.empty() || b.symbols.empty() || !letter(a.symbols.back()) || !letter(b.symbols.front()))
            continue;
        const double cells = (b.symbols.front().box.center().x() - a.symbols.back().box.center().x()) / pitch;
        if (std::abs(cells - std::round(cells)) > 0.25 || cells < 1.5)
            return;
    }
    // Words of signs alone between two words ("отчёт" "." "pdf") stand in the cells between.
    auto signsAlone = [&](const ReadWord& word) { return std::none_of(word.symbols.begin(), word.symbols.end(), letter); };
    std::vector<ReadWord> result;
    for (size_t i = 0; i < row.words.size(); ++i) {
        size_t next = i;
        while (next < row.words.size() && signsAlone(row.words[next]))
            ++next;
        bool joined = false;
        if (!result.empty() && next < row.words.size()) {
            ReadWord& last = result.back();
            const ReadWord& word = row.words[next];
            const auto lastLetter = std::find_if(last.symbols.rbegin(), last.symbols.rend(), letter);
            const auto firstLetter = std::find_if(word.symbols.begin(), word.symbols.end(), letter);
            bool spelt = !symbolStarts(last).empty();
            qsizetype between = 0;
            for (size_t k = i; k <= next; ++k)
                spelt = spelt && !symbolStarts(row.words[k]).empty();
            for (size_t k = i; k < next; ++k)
                between += qsizetype(row.words[k].symbols.size());
            const bool signBetween = !last.text.isEmpty() && !word.text.isEmpty()
                && (between > 0 || !last.text.back().isLetterOrNumber() || !word.text.front().isLetterOrNumber());
            // Signs names and code are written with; the ones an engine reads for a letter it
            // does not know («\», «№») leave the cells uncounted.
            static const QString misread = QStringLiteral("\\|{}~^$[]@#");
            auto written = [&](const ReadSymbol& symbol) {
                return symbol.text.size() == 1 && symbol.text[0].unicode() < 0x80 && !misread.contains(symbol.text[0]);
            };
            if (lastLetter != last.symbols.rend() && firstLetter != word.symbols.end()) {
                spelt = spelt && std::all_of(last.symbols.rbegin(), lastLetter, written) && std::all_of(word.symbols.begin(), firstLetter, written);
                for (size_t k = i; k < next; ++k)
                    spelt = spelt && std::all_of(row.words[k].symbols.begin(), row.words[k].symbols.end(), written);
            }
            // Two letters within one cell are one glyph read twice ("1l" on the "l" of
            // "ls -l"): their boxes share the cell, and the cells up to them do not count.
            auto oneCell = [&](const ReadSymbol& a, const ReadSymbol& b) {
                return letter(a) && letter(b) && 2 * std::abs(b.box.center().x() - a.box.center().x()) < pitch;
            };
            if (lastLetter != last.symbols.rend() && firstLetter != word.symbols.end())
                spelt = spelt && !(lastLetter + 1 != last.symbols.rend() && oneCell(*(lastLetter + 1), *lastLetter))
                    && !(firstLetter + 1 != word.symbols.end() && oneCell(*firstLetter, *(firstLetter + 1)));
            if (spelt && signBetween && lastLetter != last.symbols.rend() && firstLetter != word.symbols.end()) {
                const auto signs = (lastLetter - last.symbols.rbegin()) + between + (firstLetter - word.symbols.begin());
                const double cells = (firstLetter->box.center().x() - lastLetter->box.center().x()) / pitch;
                joined = std::lround(cells) == signs + 1;
            }
        }
        if (!joined) {
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

} // namespace

namespace stages {

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

} // namespace stages

namespace detail {

namespace {

// The words two readings of a line give the same place: each stands over the other alone.
template <typename Visit>
void forEachPair(std::vector<WordRun>& line, Visit visit)
{
    for (size_t a = 0; a < line.size(); ++a)
        for (size_t b = a + 1; b < line.size(); ++b)
            for (ReadWord& first : line[a].words) {
                const std::vector<size_t> under = coveredWords(line[b], first);
                if (under.size() != 1)
                    continue;
                ReadWord& second = line[b].words[under.front()];
                const std::vector<size_t> back = coveredWords(line[a], second);
                if (back.size() == 1 && &line[a].words[back.front()] == &first)
                    visit(first, second);
            }
}

QString pairKey(const ReadWord& first, const ReadWord& second)
{
    return QString::number(first.language) + u'\x1f' + first.text + u'\x1f' + QString::number(second.language) + u'\x1f' + second.text;
}

} // namespace

RecurringReadings recurringReadings(const std::vector<std::vector<std::vector<WordRun>>>& parts)
{
    RecurringReadings recurring;
    for (const std::vector<std::vector<WordRun>>& readings : parts) {
        if (readings.size() < 2)
            continue;
        for (std::vector<WordRun>& line : rowsByLine(readings))
            forEachPair(line, [&](const ReadWord& first, const ReadWord& second) {
                RecurringReadings::Pooled& pooled = recurring.pairs[pairKey(first, second)];
                pooled.first += double(first.confidence);
                pooled.second += double(second.confidence);
                ++pooled.copies;
            });
    }
    return recurring;
}

std::vector<WordRun> mergedReadings(std::vector<std::vector<WordRun>> readings)
{
    const RecurringReadings recurring = recurringReadings({readings});
    return mergedReadings(std::move(readings), recurring);
}

std::vector<WordRun> mergedReadings(std::vector<std::vector<WordRun>> readings, const RecurringReadings& recurring)
{
    std::vector<WordRun> merged;
    for (std::vector<WordRun>& line : rowsByLine(std::move(readings))) {
        // Symbols read on no glyph of their own go before anything weighs the words they
        // stand in.
        if (line.size() > 1)
            dropSymbolsOnNoGlyph(line);
        // Each reading's words parted where the figures before a word stand apart.
        for (size_t i = 0; i < line.size() && line.size() > 1; ++i) {
            std::vector<ReadWord> others;
            for (size_t j = 0; j < line.size(); ++j)
                if (j != i)
                    others.insert(others.end(), line[j].words.begin(), line[j].words.end());
            joinWordsOfOneCell(line[i]);
            partFiguresFromWords(line[i], others);
        }
        markMisplacedGlyphs(line);
        // On a tie the earlier language wins.
        size_t best = 0;
        for (size_t i = 1; i < line.size(); ++i)
            if (rowScore(line[i]) > rowScore(line[best]))
                best = i;
        // Within the row so chosen, each copy of a pair of readings that recurs weighs
        // as all of them do.
        forEachPair(line, [&](ReadWord& first, ReadWord& second) {
            const auto found = recurring.pairs.constFind(pairKey(first, second));
            if (found == recurring.pairs.cend() || found->copies < 2)
                return;
            first.confidence = float(found->first / found->copies);
            second.confidence = float(found->second / found->copies);
            first.copies = second.copies = found->copies;
        });
        WordRun row = std::move(line[best]);
        if (row.words.empty()) {
            merged.push_back(std::move(row));
            continue;
        }
        std::vector<ReadWord> alternatives, everyReading;
        for (size_t i = 0; i < line.size(); ++i) {
            if (i != best)
                alternatives.insert(alternatives.end(), line[i].words.begin(), line[i].words.end());
            const std::vector<ReadWord>& words = i == best ? row.words : line[i].words;
            everyReading.insert(everyReading.end(), words.begin(), words.end());
        }
        std::stable_sort(alternatives.begin(), alternatives.end(),
            [](const ReadWord& a, const ReadWord& b) { return a.confidence > b.confidence; });
        putInBetterWords(row, row.words.front().language, alternatives);
        std::vector<const ReadWord*> all;
        for (const ReadWord& word : everyReading)
            all.push_back(&word);
        settleShortWords(row, alternatives, letterLines(all));
        mergePieces(row, everyReading);
        row.respell();
        merged.push_back(std::move(row));
    }
    return merged;
}

} // namespace detail

} // namespace tarnwick::ScreenTextRecognizer
