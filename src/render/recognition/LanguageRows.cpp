// Words another language reads better take their places in the row a language read best:
// takes the row and the other readings' words of its line, gives the row with them put in.

#include "render/recognition/MergeStages.h"

#include <cmath>

namespace tarnwick::ScreenTextRecognizer::stages {

namespace {

// Latin letters drawn the same as Cyrillic ones, each at the place of its twin.
const QString latinTwins = QStringLiteral("ABCEHKMOPTXYaceopxy");
const QString cyrillicTwins = QStringLiteral("АВСЕНКМОРТХУасеорху");

} // namespace

bool sameGlyphs(const QString& a, const QString& b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype k = 0; k < a.size(); ++k) {
        const qsizetype x = latinTwins.indexOf(a[k]), y = cyrillicTwins.indexOf(b[k]);
        const qsizetype x2 = latinTwins.indexOf(b[k]), y2 = cyrillicTwins.indexOf(a[k]);
        if (a[k] != b[k] && !(x >= 0 && x == y) && !(x2 >= 0 && x2 == y2))
            return false;
    }
    return true;
}

bool capitalTwins(const QString& latin, const QString& cyrillic)
{
    return latin.size() == 1 && cyrillic.size() == 1 && latin[0].isUpper() && latin[0].script() == QChar::Script_Latin
        && cyrillic[0].script() == QChar::Script_Cyrillic && sameGlyphs(latin, cyrillic);
}

} // namespace tarnwick::ScreenTextRecognizer::stages

namespace tarnwick::ScreenTextRecognizer::detail::merge {

// A dictionary word read with some confidence: the engines mark some junk as words too.
bool knownWord(const ReadWord& word) { return word.dictionary && word.confidence >= unsureWord; }

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

const QString lookAlikeSigns = QStringLiteral("\\|{}~^$[]@#");

namespace {

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

} // namespace

// A figure between two letters: the other script's letters read as the figures drawn
// like them ("Bpa6ote" for «работе», "HoA6pb"); words seldom hold one.
bool figureAmidLetters(const QString& text)
{
    for (qsizetype i = 1; i + 1 < text.size(); ++i)
        if (text[i].isDigit() && text[i - 1].isLetter() && text[i + 1].isLetter())
            return true;
    return false;
}

namespace {

// Figures and letters side by side in one word ("99пир", "12o0wu6oK").
bool figuresRunIntoLetters(const QString& text)
{
    for (qsizetype i = 1; i < text.size(); ++i)
        if ((text[i].isDigit() && text[i - 1].isLetter()) || (text[i].isLetter() && text[i - 1].isDigit()))
            return true;
    return false;
}

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

// Whether `alternative`, a word of more than two letters in another language,
// reads better than the words of the row it covers: a dictionary word over words
// that are none, over a word cut in pieces that the engine is less sure of, or
// over a dictionary word clearly less sure ("page" and "раде" both are words); or
// a sure word over unsure ones that are no dictionary words.
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
    // Nor across the end of a sentence, a sign that ends it before a capital: "you turn it
    // off. Установите пакет" (not "README. md").
    const auto sentenceEnd = [](const ReadWord& before, const ReadWord& after) {
        return !before.text.isEmpty() && QStringView(u".!?").contains(before.text.back()) && !after.text.isEmpty() && after.text.front().isUpper();
    };
    int language = -1;
    for (int step : {-1, 1}) {
        for (auto i = qsizetype(index) + step; i >= 0 && i < qsizetype(words.size()); i += step) {
            const ReadWord& word = words[size_t(i)];
            const ReadWord& last = words[size_t(i - step)];
            const int gap = step > 0 ? word.box.left() - last.box.right() : last.box.left() - word.box.right();
            if ((phrase && columnGap(gap, std::max(word.box.height(), last.box.height()))) || (step > 0 ? sentenceEnd(last, word) : sentenceEnd(word, last)))
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

} // namespace

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

namespace {

// The words of more than two letters of a row in one language.
int wordsIn(const WordRun& row, int language)
{
    return int(std::count_if(row.words.begin(), row.words.end(),
        [&](const ReadWord& word) { return word.language == language && letterCount(word.text) > shortWord; }));
}

// The same letters but for their case, each the other's or its twin: «ок» and "OK".
bool twinsButCase(const QString& a, const QString& b) { return a != b && sameGlyphs(a.toUpper(), b.toUpper()); }

} // namespace

namespace {

// Whether `alternative` reads the row's word `index` and none other: it stands over that word
// alone, though the word may hold only a part of it (a model that read the "i" of "it" as a
// letter of its own and left the "t" unread).
bool readsInPlaceOf(const WordRun& row, const ReadWord& alternative, size_t index)
{
    const std::vector<size_t> covered = coveredWords(row, alternative);
    if (!covered.empty())
        return covered.size() == 1 && covered.front() == index;
    const QRect& word = row.words[index].box;
    if (2 * overlap(word, alternative.box) < word.width() || !onOneLine(word, alternative.box))
        return false;
    for (size_t k = 0; k < row.words.size(); ++k)
        if (k != index && overlap(row.words[k].box, alternative.box) > 0)
            return false;
    return true;
}

} // namespace

// Short words take the reading in the language of the words on both sides unless
// their own is sure, or where those languages differ, the surest reading.
void settleShortWords(WordRun& row, const std::vector<ReadWord>& alternatives, const LetterLines& lines)
{
    auto isShort = [](const ReadWord& word) {
        const int letters = letterCount(word.text);
        return letters > 0 && letters <= shortWord;
    };
    // A sign alone where a word stands: one model's reading of a short word of the other
    // script ("&" or "®" for "it").
    auto loneSign = [](const ReadWord& word) { return word.text.size() == 1 && !word.text[0].isLetterOrNumber(); };
    // Signs read surely, sign for sign, where the row read figures unsure: "??" for "2?".
    auto surerSigns = [&](size_t i, const ReadWord& alternative) {
        const ReadWord& word = row.words[i];
        return word.confidence < unsureWord && letterCount(word.text) == 0 && letterOrFigureCount(alternative.text) == 0
            && alternative.text.size() == word.text.size() && alternative.confidence >= sureWord && readsInPlaceOf(row, alternative, i);
    };
    for (size_t i = 0; i < row.words.size(); ++i) {
        if (const auto signs = std::find_if(alternatives.begin(), alternatives.end(), [&](const ReadWord& a) { return surerSigns(i, a); });
            signs != alternatives.end()) {
            row.words[i] = *signs;
            continue;
        }
        if (!isShort(row.words[i]) && !loneSign(row.words[i]))
            continue;
        const ReadWord* pick = &row.words[i];
        const int around = neighbourLanguage(row.words, i);
        for (const ReadWord& alternative : alternatives) {
            if (!readsInPlaceOf(row, alternative, i))
                continue;
            // A word of the lists in the language of the words round it, read surer, whether
            // or not the row's word is one too («Бу» for "by", «ой.» for "off."): the other
            // model reads a short word of this script as a word of its own.
            if (around >= 0 && alternative.language == around && pick->language != around && knownWord(alternative)
                && alternative.confidence > pick->confidence && letterCount(alternative.text) <= shortWord + 1) {
                pick = &alternative;
                continue;
            }
            if (!isShort(alternative))
                continue;
            if (loneSign(*pick)) {
                if (knownWord(alternative) && alternative.confidence >= sureWord
                    && neighbourLanguage(row.words, i, true) == alternative.language)
                    pick = &alternative;
                continue;
            }
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
            // Where both readings spell the same glyphs («ОК», «OK», or «ок» the heights did not
            // settle), the words round it tell its language only within its own phrase, not
            // across a column gap.
            const bool alike = sameGlyphs(alternative.text, pick->text) || twinsButCase(alternative.text, pick->text);
            const int language = neighbourLanguage(row.words, i, alike);
            // A word of the lists never gives way to one that is none ("и" to "uv").
            if (pick->dictionary && !alternative.dictionary)
                continue;
            // Or a word of the lists surer than a non-word, whatever the neighbours, and
            // where the row holds sentences of that language, surer than a word read unsure:
            // "и" between "Linux" and "Windows" is no English "u" or "uv".
            const bool surerWord = alternative.dictionary && alternative.confidence > pick->confidence
                && (!pick->dictionary || (knownWord(alternative) && !knownWord(*pick) && wordsIn(row, alternative.language) >= 2));
            // However sure, one letter over two of a word the words round it share the language
            // of is those two letters misread as one ("К" for "it").
            const bool twoAsOne = language == alternative.language && knownWord(alternative)
                && alternative.confidence > pick->confidence && letterOverTwo(*pick, alternative);
            if ((language >= 0 ? alternative.language == language && pick->language != language && pick->confidence < sureWord
                               : alternative.confidence > pick->confidence)
                || surerWord || twoAsOne)
                pick = &alternative;
        }
        if (pick != &row.words[i])
            row.words[i] = *pick;
    }
}

void latinCapitals(WordRun& row, const std::vector<ReadWord>& readings)
{
    // A word of letters Latin draws alike («ВЕАОМЕ») may be Latin read as Cyrillic.
    const auto cyrillic = [](const ReadWord& word) {
        return std::any_of(word.text.begin(), word.text.end(), [](QChar c) { return c.script() == QChar::Script_Cyrillic && !cyrillicTwins.contains(c); });
    };
    for (size_t i = 0; i < row.words.size(); ++i) {
        ReadWord& word = row.words[i];
        const auto latin = std::find_if(readings.begin(), readings.end(), [&](const ReadWord& reading) {
            return capitalTwins(reading.text, word.text) && reading.confidence >= sureLetter && readsInPlaceOf(row, reading, i);
        });
        if (latin == readings.end())
            continue;
        // The nearest word of some letters on each side.
        bool russian = false;
        for (int step : {-1, 1})
            for (auto k = qsizetype(i) + step; k >= 0 && k < qsizetype(row.words.size()); k += step)
                if (letterCount(row.words[size_t(k)].text) > shortWord) {
                    russian = russian || cyrillic(row.words[size_t(k)]);
                    break;
                }
        if (!russian)
            word = *latin;
    }
}

} // namespace tarnwick::ScreenTextRecognizer::detail::merge
