// The readings of one view in each language, merged into the rows and words that read best:
// takes each language's rows, gives one row a line. The row a language reads best is the
// line's; the passes of the files named in MergeStages.h then put in the words, short words
// and name pieces the other languages read better.

#include "render/recognition/MergeStages.h"

#include <QHash>

namespace tarnwick::ScreenTextRecognizer::detail {

using namespace merge;

namespace {

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

// The row of a line read in `language`, or the line's end.
std::vector<WordRun>::iterator rowIn(std::vector<WordRun>& line, int language)
{
    return std::find_if(line.begin(), line.end(), [&](const WordRun& row) { return !row.words.empty() && row.words.front().language == language; });
}

QRect lineBox(const std::vector<WordRun>& line)
{
    QRect box;
    for (const WordRun& row : line)
        box |= row.box;
    return box;
}

// Whether the rows of `from` can go into `line`: one row a language, so a language's row
// there must stand beside its row in `from` (one reading parted the line at a gap, another
// did not), not over it.
bool fits(std::vector<WordRun>& line, const std::vector<WordRun>& from)
{
    return std::all_of(from.begin(), from.end(), [&](const WordRun& row) {
        const auto own = row.words.empty() ? line.end() : rowIn(line, row.words.front().language);
        return own == line.end() || overlap(own->box, row.box) <= 0;
    });
}

void putInto(std::vector<WordRun>& line, std::vector<WordRun>&& from)
{
    for (WordRun& row : from) {
        const auto own = row.words.empty() ? line.end() : rowIn(line, row.words.front().language);
        if (own == line.end()) {
            line.push_back(std::move(row));
            continue;
        }
        own->words.insert(own->words.end(), std::make_move_iterator(row.words.begin()), std::make_move_iterator(row.words.end()));
        std::stable_sort(own->words.begin(), own->words.end(), [](const ReadWord& a, const ReadWord& b) { return a.box.left() < b.box.left(); });
        own->box |= row.box;
        own->respell();
    }
}

// One row per language standing on the same line of the view. A line one language reads
// whole and another in two parts is one line: kept apart, the parts would each be read
// again beside the whole.
std::vector<std::vector<WordRun>> rowsByLine(std::vector<std::vector<WordRun>> readings)
{
    std::vector<std::vector<WordRun>> lines;
    for (size_t language = 0; language < readings.size(); ++language) {
        for (WordRun& row : readings[language]) {
            for (ReadWord& word : row.words)
                word.language = int(language);
            std::vector<WordRun> alone;
            alone.push_back(std::move(row));
            size_t into = size_t(std::find_if(lines.begin(), lines.end(), [&](std::vector<WordRun>& line) {
                return sameRow(line.front().box, alone.front().box) && fits(line, alone);
            }) - lines.begin());
            if (into == lines.size()) {
                lines.push_back(std::move(alone));
                continue;
            }
            putInto(lines[into], std::move(alone));
            // Other lines the row now stands over join it.
            for (size_t other = 0; other < lines.size();) {
                if (other == into || !sameRow(lineBox(lines[into]), lineBox(lines[other])) || !fits(lines[into], lines[other])) {
                    ++other;
                    continue;
                }
                putInto(lines[into], std::move(lines[other]));
                lines.erase(lines.begin() + std::ptrdiff_t(other));
                into -= other < into ? 1 : 0;
            }
        }
    }
    return lines;
}

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
        latinCapitals(row, everyReading);
        row.respell();
        merged.push_back(std::move(row));
    }
    return merged;
}

} // namespace tarnwick::ScreenTextRecognizer::detail
