// Bands of a view: takes a view, gives it cut into bands and pieces of one size of text, each
// enlarged as its text needs.

#include "render/recognition/ReadingStages.h"

#include "render/recognition/GreyImage.h"

#include "platform/TarnwickError.h"

#include <cmath>
#include <iterator>

namespace tarnwick::ScreenTextRecognizer::stages {

namespace {

// The rows of a view that hold ink (anything off its most common grey).
struct InkRows {
    int background = 255;
    std::vector<bool> ink;
    int count = 0;

    explicit InkRows(const QImage& view)
    {
        const int w = view.width(), h = view.height();
        background = mostCommonGrey(view);
        ink.assign(size_t(h), false);
        for (int y = 0; y < h; ++y) {
            const uchar* line = view.constScanLine(y);
            ink[size_t(y)] = std::any_of(line, line + w, [&](uchar v) { return std::abs(int(v) - background) > 16; });
            count += ink[size_t(y)];
        }
    }
};

} // namespace

QRect Band::inView(const QRect& box) const
{
    if (scale == 1)
        return box.translated(left, top);
    const int x0 = int(std::lround(box.x() / scale)), y0 = int(std::lround(box.y() / scale));
    const int x1 = int(std::lround((box.x() + box.width()) / scale)), y1 = int(std::lround((box.y() + box.height()) / scale));
    return QRect(x0 + left, y0 + top, std::max(1, x1 - x0), std::max(1, y1 - y0));
}

int textHeight(const QImage& view)
{
    const InkRows rows(view);
    const std::vector<bool>& ink = rows.ink;
    std::vector<int> runs;
    for (size_t y = 0; y < ink.size();) {
        size_t end = y;
        while (end < ink.size() && ink[end])
            ++end;
        if (end - y >= 4)
            runs.push_back(int(end - y));
        y = end + 1;
    }
    if (runs.empty())
        return 0;
    std::nth_element(runs.begin(), runs.begin() + runs.size() / 2, runs.end());
    return runs[runs.size() / 2];
}

// Tesseract reads best when capitals stand about 30 px tall; screen text of
// 9–13 px is far below that and loses letters to the binarisation. Small text is
// enlarged towards lines of about 34 px.
double enlargement(int height, const QSize& size)
{
    if (height <= 0 || height >= 24)
        return 1;
    const double fits = std::sqrt(double(maxPixels) / (double(size.width()) * size.height()));
    return std::clamp(std::min({34.0 / height, 4.0, fits, double(maxSide) / std::max(size.width(), size.height())}), 1.0, 4.0);
}

QImage enlarged(const QImage& view, double factor)
{
    if (factor <= 1)
        return view;
    QImage big = view.scaled(int(view.width() * factor), int(view.height() * factor), Qt::IgnoreAspectRatio,
                             Qt::SmoothTransformation)
                     .convertToFormat(QImage::Format_Grayscale8);
    if (big.isNull())
        throw TarnwickError::message(QStringLiteral("Не хватает памяти для распознавания текста."));
    return big;
}

// The view cut into at most `most` bands of about equal amounts of text, each cut in
// the middle of a gap between lines (rows without ink), so every line stays whole.
// A picture with too little text, or without gaps, stays one band.
std::vector<Band> bands(const QImage& view, int most, int leastInkRows)
{
    const int w = view.width(), h = view.height();
    const InkRows rows(view);
    const int background = rows.background;
    const std::vector<bool>& ink = rows.ink;
    const int inkRows = rows.count;
    const int parts = std::min(most, inkRows / leastInkRows);
    std::vector<int> cuts;
    if (parts > 1) {
        // Gaps between lines: the middle of each blank run with ink above and below,
        // with the ink rows above it.
        std::vector<std::pair<int, int>> gaps;
        int above = 0;
        for (int y = 0; y < h;) {
            if (ink[size_t(y)]) {
                ++above;
                ++y;
                continue;
            }
            int end = y;
            while (end < h && !ink[size_t(end)])
                ++end;
            // A single blank row may be the faint gap between a letter and its dots.
            if (above > 0 && end < h && end - y >= 2)
                gaps.emplace_back((y + end) / 2, above);
            y = end;
        }
        for (int k = 1; k < parts && !gaps.empty(); ++k) {
            const double target = double(k) * inkRows / parts;
            const auto best = std::min_element(gaps.begin(), gaps.end(), [&](const auto& a, const auto& b) {
                return std::abs(a.second - target) < std::abs(b.second - target);
            });
            if (cuts.empty() || best->first > cuts.back())
                cuts.push_back(best->first);
        }
    }
    if (cuts.empty())
        return {{view, 0}};
    // Each band keeps a margin of the background, as a whole picture would have.
    constexpr int margin = 8;
    std::vector<Band> out;
    int top = 0;
    cuts.push_back(h);
    for (int cut : cuts) {
        QImage band(w, cut - top + 2 * margin, QImage::Format_Grayscale8);
        if (band.isNull())
            return {{view, 0}};
        band.fill(background);
        for (int y = top; y < cut; ++y)
            std::copy_n(view.constScanLine(y), w, band.scanLine(y - top + margin));
        out.push_back({std::move(band), top - margin});
        top = cut;
    }
    return out;
}

// Text this much taller than the text beside it is another size: a heading, not a
// word of small letters beside one with capitals and descenders.
constexpr double otherSize = 2.0;

// The lines of a view: runs of ink rows, from four rows up.
std::vector<std::pair<int, int>> lineRuns(const QImage& view)
{
    const InkRows rows(view);
    std::vector<std::pair<int, int>> runs;
    for (size_t y = 0; y < rows.ink.size();) {
        size_t end = y;
        while (end < rows.ink.size() && rows.ink[end])
            ++end;
        if (end - y >= 4)
            runs.emplace_back(int(y), int(end));
        y = end + 1;
    }
    return runs;
}

// The tallest run of ink rows of a view: its tallest line; 0 without lines.
int tallestLine(const QImage& view)
{
    int tallest = 0;
    for (const auto& [top, end] : lineRuns(view))
        tallest = std::max(tallest, end - top);
    return tallest;
}

// A band of a view cut down to its ink and a margin of paper round it: the engine's
// time goes with the pixels it is given, and a page's text often fills a corner of it.
Band trimmedToInk(const Band& band)
{
    const QImage& image = band.image;
    const int w = image.width(), h = image.height();
    const int background = mostCommonGrey(image);
    int left = w, right = -1, top = h, bottom = -1;
    for (int y = 0; y < h; ++y) {
        const uchar* line = image.constScanLine(y);
        for (int x = 0; x < w; ++x)
            if (std::abs(int(line[x]) - background) > 16) {
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = y;
            }
    }
    // As much paper as a band keeps round its lines.
    constexpr int margin = 8;
    if (right < 0 || band.scale != 1)
        return band;
    const QRect keep = QRect(QPoint(left, top), QPoint(right, bottom)).adjusted(-margin, -margin, margin, margin).intersected(image.rect());
    if (keep == image.rect())
        return band;
    return {image.copy(keep), band.top + keep.top(), band.left + keep.left(), band.scale};
}

// A line this much taller than the typical line of a piece is a heading. A line of
// capitals and descenders is the typical one; accents over capitals add a sixth.
constexpr double otherLineSize = 1.3;
// Headings stand at most about three times as tall as the text under them; a taller
// run of ink rows is a picture's or a box's.
constexpr int tallestHeading = 4;
// A heading is as wide as a word of a few letters at least.
constexpr int headingWidth = 4;
// The lowest run of ink rows taken for a line of its own beside taller lines: 8 px
// text at 1x, and over the dots of most text once enlarged.
constexpr int smallestLine = 8;
// A word of small text beside taller lines is as wide as two line heights at least:
// dots and accents stand apart by more than half their height.
constexpr int wordWidth = 2;

// A piece cut between its lines where the size of the text changes, so that a heading
// and its paragraphs are read apart: in one block the engine takes the large letters
// of a heading for pictures and drops them. Each part keeps the background up to the
// middle of the gaps beside it; the piece alone without a change of size.
std::vector<Band> linesOfOneSize(const Band& piece)
{
    const QImage& image = piece.image;
    const InkRows rows(image);
    const int h = image.height();
    std::vector<std::pair<int, int>> runs;
    for (int y = 0; y < h;) {
        if (!rows.ink[size_t(y)]) {
            ++y;
            continue;
        }
        int end = y;
        while (end < h && rows.ink[size_t(end)])
            ++end;
        runs.emplace_back(y, end);
        y = end;
    }
    // Whether a run's ink stands close together over `letters` line heights at least:
    // a word of text, not the dots and accents over one, nor scattered
    // shapes (patches of a photo's texture that passed for glyphs).
    auto wordWide = [&](const std::pair<int, int>& run, int letters) {
        const int height = run.second - run.first;
        std::vector<bool> inked(size_t(image.width()), false);
        for (int y = run.first; y < run.second; ++y) {
            const uchar* line = image.constScanLine(y);
            for (int x = 0; x < image.width(); ++x)
                if (std::abs(int(line[x]) - rows.background) > 16)
                    inked[size_t(x)] = true;
        }
        int widest = 0, from = -1, last = -1;
        for (int x = 0; x < image.width(); ++x) {
            if (!inked[size_t(x)])
                continue;
            if (from < 0 || x - last > height / 2)
                from = x;
            last = x;
            widest = std::max(widest, last - from);
        }
        return widest >= letters * height;
    };
    // Lines: runs of ink rows at least half as tall as the common line; lower runs
    // are the dots and accents over a line (an "i"'s dot, a "й"'s breve), which part
    // from it by a blank row once enlarged, unless they are text as wide as a word: a
    // line of small text under a heading, where the heading is as common as the text.
    const int common = textHeight(image);
    const int least = std::max(4, common / 2);
    std::vector<size_t> lines;
    for (size_t i = 0; i < runs.size(); ++i) {
        const int height = runs[i].second - runs[i].first;
        if (height >= least || (height >= smallestLine && wordWide(runs[i], wordWidth)))
            lines.push_back(i);
    }
    // The typical line is the common one, or the lower of the two middle lines where
    // that is another size of text: a heading with a line under it is a heading and its
    // text, and a paragraph of one line under a heading of two is a paragraph.
    std::vector<int> heights;
    for (size_t i : lines)
        heights.push_back(runs[i].second - runs[i].first);
    if (heights.empty())
        return {piece};
    std::nth_element(heights.begin(), heights.begin() + (heights.size() - 1) / 2, heights.end());
    const int lower = heights[(heights.size() - 1) / 2];
    const int typical = common > otherSize * lower ? lower : common;
    // A heading: a line taller than the typical one whose glyphs stand close together
    // over the width of a word of a few letters at least.
    auto heading = [&](const std::pair<int, int>& run) {
        const int height = run.second - run.first;
        return height > otherLineSize * typical && height <= tallestHeading * typical && wordWide(run, headingWidth);
    };
    std::vector<int> cuts;
    for (size_t k = 1; k < lines.size(); ++k) {
        const auto& above = runs[lines[k - 1]];
        const auto& below = runs[lines[k]];
        if (heading(above) == heading(below))
            continue;
        // In the middle of the widest blank between the two lines, clear of their dots.
        int from = above.second, to = runs[lines[k - 1] + 1].first;
        for (size_t i = lines[k - 1] + 1; i < lines[k]; ++i)
            if (runs[i + 1].first - runs[i].second > to - from)
                from = runs[i].second, to = runs[i + 1].first;
        cuts.push_back((from + to) / 2);
    }
    if (cuts.empty())
        return {piece};
    std::vector<Band> out;
    int top = 0;
    cuts.push_back(h);
    for (int cut : cuts) {
        out.push_back({image.copy(0, top, image.width(), cut - top), piece.top + top, piece.left, piece.scale});
        top = cut;
    }
    return out;
}

// Whether a line of one view stands across the rows of a line of the other without
// standing on one line with it: a sidebar's item beside the gap between two lines of
// the page's text.
bool linesInterleave(const QImage& a, const QImage& b)
{
    const auto runsA = lineRuns(a), runsB = lineRuns(b);
    for (const auto& [topA, endA] : runsA)
        for (const auto& [topB, endB] : runsB) {
            const int shared = std::min(endA, endB) - std::max(topA, topB);
            if (shared > 0 && 2 * shared < std::min(endA - topA, endB - topB))
                return true;
        }
    return false;
}

// The columns of a band where text of different sizes stands side by side (a heading
// beside a label) or a wide gutter parts them; the band alone otherwise.
std::vector<Band> columnsOfOneSize(const Band& band, bool proseApart)
{
    const QImage& image = band.image;
    const int w = image.width(), h = image.height();
    const int height = textHeight(image);
    if (height <= 0)
        return {band};
    const int background = mostCommonGrey(image);
    std::vector<bool> ink(size_t(w), false);
    for (int y = 0; y < h; ++y) {
        const uchar* line = image.constScanLine(y);
        for (int x = 0; x < w; ++x)
            if (std::abs(int(line[x]) - background) > 16)
                ink[size_t(x)] = true;
    }
    // Runs of ink columns apart by more than half a line height: words and columns,
    // not letters.
    const int leastGap = std::max(8, height / 2);
    std::vector<std::pair<int, int>> spans;
    for (int x = 0; x < w;) {
        if (!ink[size_t(x)]) {
            ++x;
            continue;
        }
        int end = x;
        while (end < w && ink[size_t(end)])
            ++end;
        if (!spans.empty() && x - spans.back().second < leastGap)
            spans.back().second = end;
        else
            spans.emplace_back(x, end);
        x = end;
    }
    if (spans.size() < 2)
        return {band};
    // Neighbouring runs of one size of text make one piece, unless a gutter wider than
    // a table's widest cell gap parts columns whose lines fall between each other's (a
    // sidebar beside a page's text): in one block such lines are read as one line of
    // both. Columns whose lines share their rows (a form, a table) read well together;
    // with `proseApart`, columns of prose wider than the gutter are parted all the
    // same, so that each is read on a thread of its own. Text of sizes half as tall again
    // apart is parted by the smaller one's gutter: a docs page's heading beside a sidebar
    // item in its rows and one under them was read as two lines of the three.
    constexpr int gutterOf = 8;
    const int gutter = gutterOf * height;
    struct Piece {
        int from, to, height;
        int spans = 1;
    };
    std::vector<Piece> pieces;
    for (const auto& [from, to] : spans) {
        const int spanHeight = tallestLine(image.copy(from, 0, to - from, h));
        if (!pieces.empty()) {
            Piece& last = pieces.back();
            const int low = std::min(last.height, spanHeight), high = std::max(last.height, spanHeight);
            const int gap = from - last.to;
            const bool prose = proseApart && last.to - last.from > gap && to - from > gap;
            const bool apart = (gap >= gutter
                                   && (prose || linesInterleave(image.copy(last.from, 0, last.to - last.from, h), image.copy(from, 0, to - from, h))))
                || (gap >= gutterOf * low && 2 * high >= 3 * low);
            if ((low == 0 || high <= otherSize * low) && !apart) {
                last.to = to;
                last.height = std::max(last.height, spanHeight);
                ++last.spans;
                continue;
            }
        }
        pieces.push_back({from, to, spanHeight});
    }
    if (pieces.size() < 2)
        return {band};
    std::vector<Band> out;
    for (size_t i = 0; i < pieces.size(); ++i) {
        // Each piece keeps the background up to the middle of the gaps beside it.
        const int from = i == 0 ? 0 : (pieces[i - 1].to + pieces[i].from) / 2;
        const int to = i + 1 == pieces.size() ? w : (pieces[i].to + pieces[i + 1].from) / 2;
        out.push_back({image.copy(from, 0, to - from, h), band.top, band.left + from, band.scale});
        // A piece of one run of ink narrower than the line and under a third of its
        // height is a sign ("=", "-", "*"), not text of another size.
        const Piece& piece = pieces[i];
        out.back().sign = piece.spans == 1 && piece.to - piece.from < height && 3 * piece.height < height;
    }
    return out;
}

std::vector<Band> sizePieces(const Band& whole, bool proseApart)
{
    const Band band = trimmedToInk(whole);
    std::vector<Band> parts;
    for (const Band& column : columnsOfOneSize(band, proseApart)) {
        std::vector<Band> lines = linesOfOneSize(column);
        std::move(lines.begin(), lines.end(), std::back_inserter(parts));
    }
    if (parts.size() < 2)
        return {band};
    // Each part enlarged for its own size of text.
    std::vector<Band> out;
    for (const Band& part : parts) {
        const Band piece = trimmedToInk(part);
        // A sign is enlarged as the text round it: enlarged for its own few rows, an "="
        // grows into two thick bars the engine reads as one dash.
        const double factor = enlargement(textHeight(part.sign ? band.image : piece.image), piece.image.size());
        out.push_back({enlarged(piece.image, factor), piece.top, piece.left, piece.scale * factor, part.sign});
    }
    return out;
}

} // namespace tarnwick::ScreenTextRecognizer::stages
