// Lines: pieces of rows cut at column gaps and joined across views, and reading order.

#include "render/recognition/ReadingStages.h"

#include <cmath>
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

    std::vector<std::vector<RecognizedTextLine>> rows;
    for (RecognizedTextLine& line : lines) {
        const double mid = line.bounds.y() + line.bounds.height() / 2;
        auto row = std::find_if(rows.begin(), rows.end(), [&](const std::vector<RecognizedTextLine>& r) {
            const QRectF& anchor = r.front().bounds;
            const double anchorMid = anchor.y() + anchor.height() / 2;
            return std::abs(anchorMid - mid) <= 0.5 * std::min(anchor.height(), line.bounds.height());
        });
        if (row == rows.end())
            rows.push_back({std::move(line)});
        else
            row->push_back(std::move(line));
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

} // namespace stages

} // namespace tarnwick::ScreenTextRecognizer
