#include "render/recognition/PlainReading.h"

#include "platform/TarnwickError.h"

#include <QPainter>

#include <tesseract/baseapi.h>

#include <cmath>
#include <cstring>

namespace tarnwick::ScreenTextRecognizer::stages {

namespace {

// The engine gives words it reads on real glyphs 85 and more; the edges of frames, specks
// and a photo's texture it reads under 75 (a photo's "AS" at 72).
constexpr float sureWord = 80;
// A row of real text reads above this (a turned line's 75–95); a photo's texture, a frame's
// edges, specks well below.
constexpr float carried = 70;

// How surely a run of the plain reading's words is text as a whole: the median confidence
// of its words, where a word of two signs read surely stands among them; else 0. A run that
// reads as surely as a line of real glyphs lends its trust to its weaker words and letters
// alone (half of it to a word read far less surely); a run read on a photo's texture, a
// frame or specks reads far lower, and a tick or a bullet read surely as a letter stands a
// column gap off the text it marks. The median, not the mean: a word cut where another
// reading holds the rest of it reads low.
float trust(const std::vector<ReadWord>& run)
{
    std::vector<float> read;
    bool sure = false;
    for (const ReadWord& word : run) {
        read.push_back(word.confidence);
        sure = sure || (letterOrFigureCount(word.text) >= 2 && word.confidence >= sureWord);
    }
    if (!sure)
        return 0;
    std::nth_element(read.begin(), read.begin() + qsizetype(read.size() / 2), read.end());
    return read[read.size() / 2];
}

// The median height of a run's words: a frame's edge or a bar read as a letter stands far
// taller than the words of the line it is read in.
int typicalHeight(std::vector<ReadWord> run)
{
    std::nth_element(run.begin(), run.begin() + qsizetype(run.size() / 2), run.end(),
        [](const ReadWord& a, const ReadWord& b) { return a.box.height() < b.box.height(); });
    return run.empty() ? 0 : run[run.size() / 2].box.height();
}

QRect scaled(const QRect& box, double factor)
{
    if (factor == 1)
        return box;
    const int x0 = int(std::lround(box.x() * factor)), y0 = int(std::lround(box.y() * factor));
    const int x1 = int(std::lround((box.x() + box.width()) * factor));
    const int y1 = int(std::lround((box.y() + box.height()) * factor));
    return QRect(x0, y0, std::max(1, x1 - x0), std::max(1, y1 - y0));
}

// Whether the words standing on one line with `box` cover half its width at least.
bool covered(const QRect& box, const std::vector<QRect>& words)
{
    std::vector<std::pair<int, int>> spans;
    for (const QRect& word : words)
        if (onOneLine(word, box) && overlap(word, box) > 0)
            spans.emplace_back(std::max(word.left(), box.left()), std::min(word.right(), box.right()) + 1);
    std::sort(spans.begin(), spans.end());
    int held = 0, reached = box.left();
    for (const auto& [from, to] : spans) {
        held += std::max(0, to - std::max(from, reached));
        reached = std::max(reached, to);
    }
    return 2 * held >= box.width();
}

// Whether the plain reading's `word` (read `own`ly sure, before its run's trust) goes in
// beside ours. Where words of ours stand in its place, it does only where they are a part of
// it, read less surely (they are added to `givingWay`): each view reads a word in the script
// and size it chooses, the plain reading does not. Where ours only brush it, it goes in
// where they leave half of it free.
bool ourChoice(const std::vector<WordRun>& pieces, const ReadWord& word, float own, std::vector<std::pair<size_t, size_t>>& givingWay)
{
    std::vector<std::pair<size_t, size_t>> inPlace;
    std::vector<QRect> near;
    QRect held;
    int lettered = 0; // the height of the tallest of them with a letter or figure
    for (size_t p = 0; p < pieces.size(); ++p)
        for (size_t w = 0; w < pieces[p].words.size(); ++w) {
            const ReadWord& ours = pieces[p].words[w];
            if (!onOneLine(ours.box, word.box) || overlap(ours.box, word.box) <= 0)
                continue;
            if (2 * overlap(ours.box, word.box) > std::min(ours.box.width(), word.box.width())) {
                if (ours.confidence >= own)
                    return false;
                inPlace.emplace_back(p, w);
                held = held.united(ours.box);
                lettered = std::max(lettered, letterOrFigureCount(ours.text) > 0 ? ours.box.height() : 0);
            } else
                near.push_back(ours.box);
        }
    if (inPlace.empty())
        return !covered(word.box, near);
    // Ours read it worse: as signs alone, in pieces, or a part of it (it reaches half a line's
    // height beyond them); on a line of their letters' height, not a badge's shape read as
    // letters round them.
    const bool more = 2 * (held.left() - word.box.left() + word.box.right() - held.right()) >= word.box.height();
    if (!(lettered == 0 || inPlace.size() > 1 || more) || (lettered > 0 && 2 * word.box.height() > 3 * lettered))
        return false;
    givingWay.insert(givingWay.end(), inPlace.begin(), inPlace.end());
    return true;
}

void respelt(WordRun& piece)
{
    piece.box = QRect();
    for (const ReadWord& word : piece.words)
        piece.box = piece.box.united(word.box);
    piece.respell();
}

// Whether `right` goes on `left` with no blank: a gap far narrower than a word space, where
// another reading held the rest of a word («изм» + «енения»).
bool partOfOneWord(const ReadWord& left, const ReadWord& right)
{
    return onOneLine(left.box, right.box) && 4 * (right.box.left() - left.box.right() - 1) < std::max(left.box.height(), right.box.height());
}

// `word` into `piece` before the words right of it, joined to a word it is the rest of.
void insertInOrder(WordRun& piece, ReadWord word)
{
    const int middle = word.box.center().x();
    auto at = std::find_if(piece.words.begin(), piece.words.end(), [&](const ReadWord& w) { return w.box.center().x() > middle; });
    at = piece.words.insert(at, std::move(word));
    if (at != piece.words.begin() && partOfOneWord(*(at - 1), *at)) {
        (at - 1)->text += at->text;
        (at - 1)->box = (at - 1)->box.united(at->box);
        at = piece.words.erase(at) - 1;
    }
    if (at + 1 != piece.words.end() && partOfOneWord(*at, *(at + 1))) {
        at->text += (at + 1)->text;
        at->box = at->box.united((at + 1)->box);
        piece.words.erase(at + 1);
    }
}

// The words of a row of the plain reading between column gaps: where they stand, and
// those of them to be put in among ours.
struct PlainRun {
    std::vector<QRect> places;
    std::vector<ReadWord> chosen;
};

// The words of letters and figures of a row of the plain reading, in pixels of our view,
// in runs between column gaps.
std::vector<std::vector<ReadWord>> runsOf(const WordRun& row, double factor)
{
    std::vector<std::vector<ReadWord>> runs(1);
    for (ReadWord word : row.words) {
        if (letterOrFigureCount(word.text) == 0)
            continue;
        word.box = scaled(word.box, factor);
        word.symbols.clear();
        if (!runs.back().empty()) {
            const QRect& last = runs.back().back().box;
            if (columnGap(word.box.left() - last.right() - 1, std::min(last.height(), word.box.height())))
                runs.emplace_back();
        }
        runs.back().push_back(std::move(word));
    }
    return runs;
}

// The piece of the word of ours nearest any of `places` on its line, where no column gap
// parts them; -1 where none is.
int nearestPiece(const std::vector<WordRun>& pieces, const std::vector<QRect>& places)
{
    int into = -1, nearest = 0;
    for (size_t p = 0; p < pieces.size(); ++p)
        for (const ReadWord& ours : pieces[p].words)
            for (const QRect& place : places) {
                const int gap = std::max(0, -overlap(ours.box, place));
                if (onOneLine(ours.box, place) && !columnGap(gap, std::min(ours.box.height(), place.height()))
                    && (into < 0 || gap < nearest)) {
                    into = int(p);
                    nearest = gap;
                }
            }
    return into;
}

// A run's chosen words each into the piece of the word of ours nearest it, or else nearest
// the run, each before the words right of it; else into a piece of their own. A turned
// line's piece spans the rows of the lines beside it, its words do not.
void place(std::vector<WordRun>& pieces, PlainRun run)
{
    int runInto = nearestPiece(pieces, run.places);
    for (ReadWord& word : run.chosen) {
        int into = nearestPiece(pieces, {word.box});
        if (into < 0) {
            if (runInto < 0) {
                runInto = int(pieces.size());
                pieces.emplace_back();
            }
            into = runInto;
        }
        insertInOrder(pieces[size_t(into)], std::move(word));
        respelt(pieces[size_t(into)]);
    }
}

// The picture opaque on white, in colour as the command reads it: the engine thresholds each
// channel, and red on black stands out in its own channel far more than in grey. The places
// read already take the colour beside them along their rows.
QImage opaqueView(const QImage& image, const std::vector<QRect>& readAlready)
{
    QImage opaque(image.size(), QImage::Format_RGB888);
    if (opaque.isNull())
        throw TarnwickError::message(QStringLiteral("Не хватает памяти для распознавания текста."));
    opaque.fill(Qt::white);
    {
        QPainter painter(&opaque);
        painter.drawImage(0, 0, image);
    }
    if (readAlready.empty())
        return opaque;
    const int w = opaque.width(), h = opaque.height();
    std::vector<uint8_t> masked(size_t(w) * size_t(h), 0);
    for (const QRect& place : readAlready) {
        const QRect box = place.intersected(opaque.rect());
        for (int y = box.top(); y <= box.bottom(); ++y)
            std::fill_n(masked.begin() + qsizetype(y) * w + box.left(), box.width(), uint8_t(1));
    }
    for (int y = 0; y < h; ++y) {
        uchar* row = opaque.scanLine(y);
        const uint8_t* flags = masked.data() + size_t(y) * size_t(w);
        for (int x = 0; x < w;) {
            if (!flags[x]) {
                ++x;
                continue;
            }
            int end = x;
            while (end < w && flags[end])
                ++end;
            const int from = x > 0 ? x - 1 : end < w ? end : -1;
            for (int k = x; k < end && from >= 0; ++k)
                std::memcpy(row + 3 * k, row + 3 * from, 3);
            x = end;
        }
    }
    return opaque;
}

// Where `opaque` holds ink: the box of the pixels that stand off the pixel two before them
// in their row or column, with a margin; empty where none does. A ground, flat or a gradient,
// holds none, so a dialog on an empty desktop is read without the desktop. A box of most of
// the picture is the whole picture: the engine reads a page otherwise than a tight crop of it
// (its threshold and its blocks), and there is little to gain.
QRect inkBounds(const QImage& opaque)
{
    const int w = opaque.width(), h = opaque.height();
    auto differ = [](const uchar* p, const uchar* q) { return std::abs(p[0] - q[0]) + std::abs(p[1] - q[1]) + std::abs(p[2] - q[2]) > 24; };
    int left = w, right = -1, top = h, bottom = -1;
    for (int y = 0; y < h; ++y) {
        const uchar* row = opaque.constScanLine(y);
        const uchar* above = opaque.constScanLine(std::max(0, y - 2));
        for (int x = 0; x < w; ++x) {
            const uchar* p = row + 3 * x;
            if (differ(p, row + 3 * std::max(0, x - 2)) || differ(p, above + 3 * x)) {
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = y;
            }
        }
    }
    if (right < 0)
        return {};
    constexpr int margin = 16;
    const QRect ink = QRect(QPoint(left, top), QPoint(right, bottom)).adjusted(-margin, -margin, margin, margin).intersected(opaque.rect());
    return 4 * qint64(ink.width()) * ink.height() < qint64(w) * h ? ink : opaque.rect();
}

} // namespace

PlainViews plainReading(const QImage& image, Reading reading, const std::function<bool()>& isCancelled,
    const std::vector<QRect>& readAlready)
{
    if (image.isNull() || image.width() < 3 || image.height() < 3)
        return {};
    detail::checkReadableSize(image.size());
    const DataSetup setup = currentSetup();
    std::vector<std::string> languages{setup.languages};
    if (reading == Reading::corrected)
        languages = singleLanguages(setup);
    const QImage opaque = opaqueView(image, readAlready);
    const QRect ink = inkBounds(opaque);
    if (ink.isEmpty())
        return {};
    std::array<QImage, 2> views{ink == opaque.rect() ? opaque : opaque.copy(ink)};
    views[1] = views[0].copy();
    views[1].invertPixels();
    // Rows of each view in each language, all read at once.
    std::array<std::vector<std::vector<WordRun>>, 2> read;
    std::vector<std::function<void()>> tasks;
    for (size_t v = 0; v < views.size(); ++v) {
        read[v].resize(languages.size());
        for (size_t k = 0; k < languages.size(); ++k)
            tasks.push_back([&, v, k] {
                LentEngine engine(setup, reading, languages[k]);
                engine.api().SetPageSegMode(tesseract::PSM_AUTO);
                read[v][k] = readView(engine.api(), views[v], isCancelled, false);
                for (WordRun& row : read[v][k]) {
                    row.box.translate(ink.topLeft());
                    for (ReadWord& word : row.words)
                        word.box.translate(ink.topLeft());
                }
            });
    }
    ReadingPool::runAll(tasks);
    PlainViews plain;
    for (size_t v = 0; v < plain.size(); ++v) {
        plain[v].light = v == 1;
        plain[v].rows = read[v].size() == 1 ? std::move(read[v].front()) : detail::mergedReadings(std::move(read[v]));
    }
    return plain;
}

std::vector<WordRun> withPlainWords(std::vector<WordRun> pieces, const PlainViews& plain, double factor)
{
    // Each view's words are ours for the next: a grey word both views read stays once.
    for (const PlainView& view : plain) {
        std::vector<std::pair<size_t, size_t>> givingWay; // piece, word
        std::vector<std::pair<size_t, ReadWord>> inPlace; // into the piece of the words it takes the place of
        std::vector<PlainRun> runs; // the others
        for (const WordRun& row : view.rows)
            for (std::vector<ReadWord>& words : runsOf(row, factor)) {
                const float lent = trust(words);
                const int height = typicalHeight(words);
                PlainRun& run = runs.emplace_back();
                for (ReadWord& word : words) {
                    run.places.push_back(word.box);
                    const bool sure = word.confidence >= sureWord && letterOrFigureCount(word.text) >= 2;
                    if (!sure && (lent < carried || 2 * word.box.height() > 3 * height)) {
                        continue; }
                    const float own = word.confidence;
                    word.confidence = lent < carried ? own : std::max(own, (own + lent) / 2);
                    const size_t before = givingWay.size();
                    if (!ourChoice(pieces, word, own, givingWay))
                        continue;
                    if (givingWay.size() > before)
                        inPlace.emplace_back(givingWay[before].first, std::move(word));
                    else
                        run.chosen.push_back(std::move(word));
                }
            }
        std::sort(givingWay.rbegin(), givingWay.rend());
        givingWay.erase(std::unique(givingWay.begin(), givingWay.end()), givingWay.end());
        for (const auto& [piece, word] : givingWay)
            pieces[piece].words.erase(pieces[piece].words.begin() + qsizetype(word));
        for (auto& [piece, word] : inPlace)
            insertInOrder(pieces[piece], std::move(word));
        for (const auto& [piece, word] : givingWay)
            respelt(pieces[piece]);
        std::erase_if(pieces, [](const WordRun& piece) { return piece.words.empty(); });
        for (PlainRun& run : runs)
            if (!run.chosen.empty())
                place(pieces, std::move(run));
    }
    return pieces;
}

} // namespace tarnwick::ScreenTextRecognizer::stages
