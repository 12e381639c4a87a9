// The readings of one view in each language, merged into the rows and words that read best.

#include "render/recognition/ReadingStages.h"

#include <QHash>

#include <limits>

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

// Whether `alternative`, a word of more than two letters in another language,
// reads better than the words of the row it covers: a dictionary word over words
// that are none, over a word cut in pieces that the engine is less sure of, or
// over a dictionary word clearly less sure ("page" and "раде" both are words); or
// a sure word over unsure ones that are no dictionary words.
// Cyrillic letters with signs no Russian word holds ("аппа.рего\а", "п9д$.]зоп"):
// the Russian model's reading of Latin letters, whatever its confidence.
bool lookAlikeJunk(const ReadWord& word)
{
    static const QString signs = QStringLiteral("\\|{}~^$[]@#");
    const bool cyrillic = std::any_of(word.text.begin(), word.text.end(),
        [](QChar c) { return c.script() == QChar::Script_Cyrillic; });
    return cyrillic && std::any_of(word.text.begin(), word.text.end(), [](QChar c) { return signs.contains(c); });
}

bool readsBetter(const ReadWord& alternative, const std::vector<const ReadWord*>& covered)
{
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
    if (knownWord(alternative))
        return !anyKnown || alternative.confidence > confidence + (covered.size() > 1 ? 0 : clearlySurer);
    // A dictionary word the engine is unsure of still beats junk it is surer of not.
    if (alternative.dictionary && !anyKnown && alternative.confidence >= confidence + clearlySurer)
        return true;
    // Look-alike junk gives way to any reading the engine is not unsure of.
    if (!anyKnown && !lookAlikeJunk(alternative) && alternative.confidence >= unsureWord
        && std::all_of(covered.begin(), covered.end(), [](const ReadWord* word) { return lookAlikeJunk(*word); }))
        return true;
    // A reading the engine all but gave up on gives way to a wordlike one it half
    // trusts, letters more than signs: "Отчёт_за_ноябрь" over "OTYyéT_3a_HoA6pb" (6).
    if (!anyKnown && !lookAlikeJunk(alternative) && confidence < hopeless && alternative.confidence >= halfSure
        && 2 * letterCount(alternative.text) > alternative.text.size())
        return true;
    return !anyKnown && alternative.confidence >= sureWord && confidence < unsureWord;
}

// The language of the nearest words of more than two letters on both sides of a
// short word, when they agree; -1 otherwise.
int neighbourLanguage(const std::vector<ReadWord>& words, size_t index)
{
    int language = -1;
    for (int step : {-1, 1}) {
        for (auto i = qsizetype(index) + step; i >= 0 && i < qsizetype(words.size()); i += step) {
            const ReadWord& word = words[size_t(i)];
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
            || !readsBetter(alternative, words))
            continue;
        std::vector<ReadWord> result;
        for (size_t i = 0; i < row.words.size(); ++i) {
            if (i == covered.front())
                result.push_back(alternative);
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

// Short words take the reading in the language of the words on both sides unless
// their own is sure, or where those languages differ, the surest reading.
void settleShortWords(WordRun& row, const std::vector<ReadWord>& alternatives)
{
    auto isShort = [](const ReadWord& word) {
        const int letters = letterCount(word.text);
        return letters > 0 && letters <= shortWord;
    };
    for (size_t i = 0; i < row.words.size(); ++i) {
        if (!isShort(row.words[i]))
            continue;
        const int language = neighbourLanguage(row.words, i);
        const ReadWord* pick = &row.words[i];
        for (const ReadWord& alternative : alternatives) {
            const std::vector<size_t> covered = coveredWords(row, alternative);
            if (!isShort(alternative) || covered.size() != 1 || covered.front() != i)
                continue;
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

// Latin letters drawn the same as Cyrillic ones, and the Cyrillic small letter each
// stands for. Cyrillic small letters such as н, в, к, м and т are small capitals,
// which an engine reads as the Latin capitals.
const QHash<QChar, QChar>& cyrillicLookAlikes()
{
    static const QHash<QChar, QChar> table{
        {u'A', u'а'}, {u'a', u'а'}, {u'B', u'в'}, {u'C', u'с'}, {u'c', u'с'}, {u'E', u'е'}, {u'e', u'е'},
        {u'H', u'н'}, {u'K', u'к'}, {u'M', u'м'}, {u'O', u'о'}, {u'o', u'о'}, {u'P', u'р'}, {u'p', u'р'},
        {u'T', u'т'}, {u'X', u'х'}, {u'x', u'х'}, {u'y', u'у'}, {u'Y', u'у'},
    };
    return table;
}

// A word read in Latin letters whose capital stands no taller than the small letters
// beside it: no Latin word is written so ("Ha" for "на"), so it is the Cyrillic word
// of the same shapes.
bool smallCapitalWord(const ReadWord& word)
{
    if (word.symbols.size() != size_t(word.text.size()) || word.text.size() < 2)
        return false;
    const QHash<QChar, QChar>& table = cyrillicLookAlikes();
    int smallTop = std::numeric_limits<int>::max(), smallHeight = 0;
    bool anyCapital = false;
    for (qsizetype i = 0; i < word.text.size(); ++i) {
        const QChar c = word.text[i];
        if (!table.contains(c))
            return false;
        if (c.isUpper()) {
            anyCapital = true;
        } else if (c != u'p' && c != u'y') { // their tops stand at the small letters' height as well
            smallTop = std::min(smallTop, word.symbols[size_t(i)].box.top());
            smallHeight = std::max(smallHeight, word.symbols[size_t(i)].box.height());
        }
    }
    if (!anyCapital || smallHeight == 0)
        return false;
    for (qsizetype i = 0; i < word.text.size(); ++i)
        if (word.text[i].isUpper() && word.symbols[size_t(i)].box.top() < smallTop - smallHeight / 5)
            return false;
    return true;
}

} // namespace

namespace stages {

void readSmallCapitalsAsCyrillic(std::vector<WordRun>& rows)
{
    for (WordRun& row : rows) {
        bool changed = false;
        for (size_t k = 0; k < row.words.size(); ++k) {
            ReadWord& word = row.words[k];
            // Short words only, beside Cyrillic words: engines place letters too
            // loosely for the test to hold over longer words ("Exec" is no "ехес").
            auto cyrillic = [&](size_t i) {
                return i < row.words.size() && std::any_of(row.words[i].text.begin(), row.words[i].text.end(),
                    [](QChar c) { return c.script() == QChar::Script_Cyrillic; });
            };
            if (letterCount(word.text) > shortWord || !(cyrillic(k - 1) || cyrillic(k + 1)) || !smallCapitalWord(word))
                continue;
            for (QChar& c : word.text)
                c = cyrillicLookAlikes().value(c);
            for (size_t i = 0; i < word.symbols.size(); ++i)
                word.symbols[i].text = word.text.mid(qsizetype(i), 1);
            changed = true;
        }
        if (!changed)
            continue;
        QStringList texts;
        for (const ReadWord& word : row.words)
            texts.append(word.text);
        row.text = texts.join(u' ');
    }
}

} // namespace stages

namespace detail {

std::vector<WordRun> mergedReadings(std::vector<std::vector<WordRun>> readings)
{
    std::vector<WordRun> merged;
    for (std::vector<WordRun>& line : rowsByLine(std::move(readings))) {
        // On a tie the earlier language wins.
        size_t best = 0;
        for (size_t i = 1; i < line.size(); ++i)
            if (rowScore(line[i]) > rowScore(line[best]))
                best = i;
        WordRun row = std::move(line[best]);
        if (row.words.empty()) {
            merged.push_back(std::move(row));
            continue;
        }
        std::vector<ReadWord> alternatives;
        for (size_t i = 0; i < line.size(); ++i)
            if (i != best)
                alternatives.insert(alternatives.end(), line[i].words.begin(), line[i].words.end());
        std::stable_sort(alternatives.begin(), alternatives.end(),
            [](const ReadWord& a, const ReadWord& b) { return a.confidence > b.confidence; });
        putInBetterWords(row, row.words.front().language, alternatives);
        settleShortWords(row, alternatives);
        QStringList texts;
        for (const ReadWord& word : row.words)
            texts.append(word.text);
        row.text = texts.join(u' ');
        merged.push_back(std::move(row));
    }
    return merged;
}

} // namespace detail

} // namespace tarnwick::ScreenTextRecognizer
