// Lines: pieces of rows cut at column gaps and joined across views, and reading order.

#include "render/recognition/ReadingStages.h"

#include <QDebug>
#include <cmath>
#include <iterator>
#include <limits>

namespace tarnwick::ScreenTextRecognizer {

namespace {

// Reading order keys with non-finite values sorted to the end, so the order stays strict.
double heightKey(const RecognizedTextLine& line)
{
    const double mid = line.bounds.y() + line.bounds.height() / 2;
    return std::isnan(mid) ? -std::numeric_limits<double>::infinity() : mid;
}

double leftKey(const RecognizedTextLine& line)
{
    const double x = line.bounds.x();
    return std::isnan(x) ? std::numeric_limits<double>::infinity() : x;
}

// A line's letters as a font sets them, in ems above the base line: capitals and
// ascenders, small letters, and descenders below it.
constexpr double capitalHeight = 0.73;
constexpr double smallHeight = 0.53;
constexpr double descent = 0.23;
// The middle of a line of text as a layout places it, above the base line.
constexpr double middleHeight = 0.35;
// Lines stand in one row when their middles are closer than about half an em of the
// smaller text.
constexpr double sameRow = 0.52;

// Where a line's text stands, whatever letters it holds: its ink box alone puts a line
// of small letters lower than a line of capitals beside it, and one with descenders
// lower still. The letters that reach above the small ones and below the base line
// give its base line and its em.
struct LineMetrics {
    double middle = 0; // recogniser space, up
    double em = 0;
};

LineMetrics lineMetrics(const RecognizedTextLine& line)
{
    static const QString ascenders = QStringLiteral("bdfhkltбйё/()[]{}«»\"'!?|");
    static const QString descenders = QStringLiteral("руфдцщДЦЩgjpqy");
    const bool tall = std::any_of(line.text.begin(), line.text.end(),
        [](QChar c) { return c.isUpper() || c.isDigit() || ascenders.contains(c); });
    const bool low = std::any_of(line.text.begin(), line.text.end(), [](QChar c) { return descenders.contains(c); });
    const double above = tall ? capitalHeight : smallHeight, below = low ? descent : 0;
    const double em = line.bounds.height() / (above + below);
    // Recogniser space runs up from the picture's foot: the box's y is its bottom.
    const double baseLine = line.bounds.y() + below * em;
    return {baseLine + middleHeight * em, em};
}

} // namespace

std::vector<RecognizedTextLine> readingOrder(std::vector<RecognizedTextLine> lines)
{
    std::stable_sort(lines.begin(), lines.end(), [](const RecognizedTextLine& a, const RecognizedTextLine& b) {
        const double ay = heightKey(a);
        const double by = heightKey(b);
        if (ay == by)
            return leftKey(a) < leftKey(b);
        return ay > by;
    });

    // A row: the lines whose middles stand near its first line's.
    std::vector<std::vector<RecognizedTextLine>> rows;
    std::vector<LineMetrics> anchors;
    for (RecognizedTextLine& line : lines) {
        const LineMetrics metrics = lineMetrics(line);
        auto anchor = std::find_if(anchors.begin(), anchors.end(), [&](const LineMetrics& first) {
            return std::abs(first.middle - metrics.middle) <= sameRow * std::min(first.em, metrics.em);
        });
        if (anchor == anchors.end()) {
            anchors.push_back(metrics);
            rows.push_back({std::move(line)});
        } else {
            rows[size_t(anchor - anchors.begin())].push_back(std::move(line));
        }
    }

    std::vector<RecognizedTextLine> ordered;
    ordered.reserve(lines.size());
    for (auto& row : rows) {
        std::stable_sort(row.begin(), row.end(), [](const RecognizedTextLine& a, const RecognizedTextLine& b) {
            return leftKey(a) < leftKey(b);
        });
        for (auto& line : row)
            ordered.push_back(std::move(line));
    }
    return ordered;
}

namespace stages {

QRectF recognizerBox(const QRect& box, int w, int h)
{
    const double W = w;
    const double H = h;
    return QRectF(box.x() / W, 1.0 - (box.y() + box.height()) / H, box.width() / W, box.height() / H);
}

QRectF pixelBox(const QRectF& box, int w, int h)
{
    return QRectF(box.x() * w, (1.0 - (box.y() + box.height())) * h, box.width() * w, box.height() * h);
}

std::vector<WordRun> splitAtColumnGaps(std::vector<WordRun> lines)
{
    std::vector<WordRun> pieces;
    for (WordRun& line : lines) {
        if (line.words.size() < 2) {
            pieces.push_back(std::move(line));
            continue;
        }
        const int height = line.box.height();
        WordRun run;
        for (ReadWord& word : line.words) {
            if (!run.words.empty() && columnGap(word.box.x() - run.box.right(), height)) {
                pieces.push_back(std::move(run));
                run = WordRun();
            }
            run.text += run.text.isEmpty() ? word.text : u' ' + word.text;
            run.box = run.box.isNull() ? word.box : run.box.united(word.box);
            run.words.push_back(std::move(word));
        }
        pieces.push_back(std::move(run));
    }
    return pieces;
}

// The next piece joins a line when it starts within one and a half heights of the
// end of the line's rightmost piece.
std::vector<WordRun> joinedLines(std::vector<WordRun> pieces)
{
    std::stable_sort(pieces.begin(), pieces.end(), [](const WordRun& a, const WordRun& b) { return a.box.x() < b.box.x(); });
    std::vector<WordRun> lines;
    std::vector<QRect> lastPiece; // the rightmost piece of each line
    for (WordRun& piece : pieces) {
        const QRect& box = piece.box;
        size_t target = lines.size();
        for (size_t i = 0; i < lines.size(); ++i) {
            const QRect& last = lastPiece[i];
            const int gap = box.x() - (last.x() + last.width());
            const int height = std::max(last.height(), box.height());
            if (onOneLine(last, box) && gap >= -height / 2 && !columnGap(gap, height)) {
                target = i;
                break;
            }
        }
        if (target == lines.size()) {
            lastPiece.push_back(box);
            lines.push_back(std::move(piece));
            continue;
        }
        WordRun& line = lines[target];
        line.text += u' ' + piece.text;
        line.box = line.box.united(box);
        for (auto& word : piece.words)
            line.words.push_back(std::move(word));
        lastPiece[target] = box;
    }
    return lines;
}

namespace {

// Cells of one table row (a listing, a form) are one line, the blanks between them
// kept: pieces on one row, of one size of text, none further from the next than a
// tab stop of eight characters (and the blank the glyphs' bearings leave either side of
// it: `diff`'s dates a whole tab after a name). Wider gaps part things standing side by
// side (columns of text, a label beside a heading), which stay lines of their own.
constexpr double tabStop = 8;
// A glyph's ink is narrower than its advance by about a quarter of a character.
constexpr double bearings = 0.25;
constexpr double sameHeight = 1.8;
constexpr double samePitch = 1.5;

// The advance of one character over the words' boxes; 0 without characters.
double characterPitch(const std::vector<ReadWord>& words)
{
    double width = 0, characters = 0;
    for (const ReadWord& word : words) {
        if (word.text.isEmpty())
            continue;
        width += word.box.width();
        characters += double(word.text.size()) - bearings;
    }
    return characters > 0 ? width / characters : 0;
}

// A piece's words, or the piece as one word when the engine gave none.
std::vector<ReadWord> wordsOf(const WordRun& piece)
{
    if (!piece.words.empty())
        return piece.words;
    ReadWord word;
    word.text = piece.text;
    word.box = piece.box;
    return {word};
}

bool sameSize(const WordRun& a, const WordRun& b)
{
    const double high = std::max(a.box.height(), b.box.height()), low = std::max(1, std::min(a.box.height(), b.box.height()));
    if (high > sameHeight * low)
        return false;
    if (a.text.size() < 3 || b.text.size() < 3)
        return true;
    const double pa = characterPitch(wordsOf(a)), pb = characterPitch(wordsOf(b));
    return pa > 0 && pb > 0 && std::max(pa, pb) <= samePitch * std::min(pa, pb);
}

// The text of a line from its words, with as many blanks between two words as
// characters fit in the gap: the padding of a listing's columns comes back, while
// ordinary word spaces, narrower than a character, stay one blank.
void spaceByGaps(WordRun& line, double pitch = 0)
{
    if (line.words.size() < 2)
        return;
    if (pitch <= 0)
        pitch = characterPitch(line.words);
    if (pitch <= 0)
        return;
    QString text;
    for (size_t k = 0; k < line.words.size(); ++k) {
        if (k > 0) {
            const QRect& before = line.words[k - 1].box;
            const double gap = line.words[k].box.x() - (before.x() + before.width());
            text += QString(std::max(1, int(std::lround(gap / pitch - bearings))), u' ');
        }
        text += line.words[k].text;
    }
    line.text = text;
}

} // namespace

std::vector<WordRun> withoutSpecks(std::vector<WordRun> lines)
{
    // Edges of buttons and panels, the corners of rounded boxes, read as ".", "=" or a
    // lone letter: a line without a letter or figure, or of one or two of them in a
    // box much lower than the lines around it, is no text.
    std::vector<int> heights;
    for (const WordRun& line : lines)
        if (letterOrFigureCount(line.text) > 2)
            heights.push_back(line.box.height());
    int typical = 0;
    if (!heights.empty()) {
        std::nth_element(heights.begin(), heights.begin() + qsizetype(heights.size() / 2), heights.end());
        typical = heights[heights.size() / 2];
    }
    // A brace or a bracket read surely is code closing a block («}», «});»), never an edge.
    const auto closesABlock = [](const WordRun& line) {
        return std::any_of(line.text.begin(), line.text.end(), [](QChar c) { return QStringView(u"{}[]").contains(c); })
            && std::all_of(line.text.begin(), line.text.end(), [](QChar c) { return QStringView(u"{}[](); ,").contains(c); })
            && std::all_of(line.words.begin(), line.words.end(), [](const ReadWord& word) { return word.confidence >= sureLetter; });
    };
    std::vector<WordRun> kept;
    for (WordRun& line : lines) {
        const int signs = letterOrFigureCount(line.text);
        if (signs == 0 && line.text.size() <= 3 && !closesABlock(line))
            continue;
        if (signs <= 2 && 5 * line.box.height() < 3 * typical)
            continue;
        kept.push_back(std::move(line));
    }
    return kept;
}

namespace {

// The glyph alone a word stands on; -1 for none.
int loneGlyphOf(const ReadWord& word, const std::vector<QRect>& loneGlyphs)
{
    const auto glyph = std::find_if(loneGlyphs.begin(), loneGlyphs.end(), [&](const QRect& box) { return box.contains(word.box.center()); });
    return glyph == loneGlyphs.end() ? -1 : int(glyph - loneGlyphs.begin());
}

// Whether a reading of a glyph alone is surer than `than`. A capital both scripts draw alike
// is taken as Latin wherever a language reads it so surely: alone it is a sheet's column, a
// size, a key, seldom a Russian word.
bool surer(const ReadWord& word, const ReadWord& than)
{
    if (capitalTwins(word.text, than.text) && word.confidence >= sureLetter)
        return true;
    if (capitalTwins(than.text, word.text) && than.confidence >= sureLetter)
        return false;
    return word.confidence > than.confidence;
}

// `word` cut to the marks read beside the glyph alone it stands on (the dot of «.и»: the line
// of the glyph took it in), symbols under half as tall and as wide as the tallest; whether any
// was.
bool toItsMarks(ReadWord& word)
{
    QString text;
    for (const ReadSymbol& symbol : word.symbols)
        text += symbol.text;
    if (word.symbols.empty() || text != word.text)
        return false;
    QSize tallest;
    for (const ReadSymbol& symbol : word.symbols)
        if (symbol.box.height() > tallest.height())
            tallest = symbol.box.size();
    ReadWord marks = word;
    marks.text.clear();
    marks.box = QRect();
    marks.symbols.clear();
    for (const ReadSymbol& symbol : word.symbols)
        if (2 * symbol.box.height() < tallest.height() && 2 * symbol.box.width() < tallest.width() && letterOrFigureCount(symbol.text) == 0) {
            marks.text += symbol.text;
            marks.box = marks.box.united(symbol.box);
            marks.symbols.push_back(symbol);
        }
    if (marks.text.isEmpty())
        return false;
    word = std::move(marks);
    return true;
}

} // namespace

std::vector<ReadWord> surestLoneReadings(const std::vector<std::vector<std::vector<WordRun>>>& read, const std::vector<QRect>& loneGlyphs)
{
    std::vector<ReadWord> surest(loneGlyphs.size());
    for (const auto& part : read)
        for (const auto& reading : part)
            for (const WordRun& row : reading)
                for (const ReadWord& word : row.words)
                    if (const int glyph = loneGlyphOf(word, loneGlyphs); glyph >= 0 && surer(word, surest[size_t(glyph)]))
                        surest[size_t(glyph)] = word;
    return surest;
}

std::vector<WordRun> withoutUnsureLoneGlyphs(std::vector<WordRun> rows, const std::vector<QRect>& loneGlyphs,
    const std::vector<ReadWord>& surest)
{
    for (WordRun& row : rows) {
        bool changed = false;
        for (auto word = row.words.begin(); word != row.words.end();) {
            const int glyph = loneGlyphOf(*word, loneGlyphs);
            if (glyph < 0) {
                ++word;
                continue;
            }
            const ReadWord& sure = surest[size_t(glyph)];
            changed = true;
            if (sure.confidence < sureLetter || sure.text.size() > 2) {
                if (!toItsMarks(*word))
                    word = row.words.erase(word);
                else
                    ++word;
                continue;
            }
            word->text = sure.text;
            word->confidence = sure.confidence;
            ++word;
        }
        if (!changed)
            continue;
        row.box = QRect();
        for (const ReadWord& word : row.words)
            row.box = row.box.united(word.box);
        row.respell();
    }
    std::erase_if(rows, [](const WordRun& row) { return row.words.empty(); });
    return rows;
}

std::vector<WordRun> withoutPhotoTexture(std::vector<WordRun> rows, const std::vector<QRect>& photoLines)
{
    // Both models read a word over a photo with confidence, whatever the photo round it:
    // the rows of its text reach 60 and more. Its texture reads as words of a few letters
    // the engine all but gave up on ("bees ‘oman! : am" on a launch pad's lights).
    constexpr float leastConfidence = 35;
    std::erase_if(rows, [&](const WordRun& row) {
        const QPoint middle = row.box.center();
        if (std::none_of(photoLines.begin(), photoLines.end(), [&](const QRect& line) { return line.contains(middle); }))
            return false;
        bool lettered = false;
        for (const ReadWord& word : row.words) {
            if (letterOrFigureCount(word.text) < 2)
                continue;
            if (word.confidence >= leastConfidence)
                return false;
            lettered = true;
        }
        return lettered;
    });
    return rows;
}

std::vector<WordRun> tableRows(std::vector<WordRun> lines)
{
    std::stable_sort(lines.begin(), lines.end(), [](const WordRun& a, const WordRun& b) { return a.box.x() < b.box.x(); });
    std::vector<std::vector<size_t>> rows;
    for (size_t i = 0; i < lines.size(); ++i) {
        auto row = std::find_if(rows.begin(), rows.end(), [&](const std::vector<size_t>& r) {
            const WordRun& last = lines[r.back()];
            return onOneLine(last.box, lines[i].box) && sameSize(last, lines[i]);
        });
        if (row == rows.end())
            rows.push_back({i});
        else
            row->push_back(i);
    }
    std::vector<WordRun> out;
    for (const std::vector<size_t>& row : rows) {
        std::vector<ReadWord> words;
        for (size_t i : row) {
            std::vector<ReadWord> piece = wordsOf(lines[i]);
            words.insert(words.end(), piece.begin(), piece.end());
        }
        const double pitch = characterPitch(words);
        bool table = row.size() > 1 && pitch > 0;
        for (size_t k = 1; table && k < row.size(); ++k) {
            const QRect& before = lines[row[k - 1]].box;
            const int gap = lines[row[k]].box.x() - (before.x() + before.width());
            table = gap > -pitch && gap <= (tabStop + 1) * pitch;
        }
        if (!table) {
            for (size_t i : row) {
                spaceByGaps(lines[i]);
                out.push_back(std::move(lines[i]));
            }
            continue;
        }
        WordRun joined;
        for (ReadWord& word : words) {
            joined.box = joined.box.isNull() ? word.box : joined.box.united(word.box);
            joined.words.push_back(std::move(word));
        }
        spaceByGaps(joined, pitch);
        out.push_back(std::move(joined));
    }
    return out;
}

} // namespace stages

} // namespace tarnwick::ScreenTextRecognizer
