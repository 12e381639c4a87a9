// The views Tesseract reads: dark text on a light ground, whatever the picture shows.

#include "render/recognition/ReadingStages.h"

#include "render/recognition/GreyImage.h"

#include "platform/TarnwickError.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

namespace tarnwick::ScreenTextRecognizer::stages {

namespace {

// The colour of a third of the picture's pixels and more, in bins of eight levels a channel
// (their mean), where one is: the ground of a terminal, an editor, a page.
std::optional<std::array<int, 3>> oneGround(const QImage& source)
{
    const auto bin = [](const std::array<int, 3>& c) { return size_t((c[0] >> 3) << 10 | (c[1] >> 3) << 5 | (c[2] >> 3)); };
    std::vector<int32_t> counts(size_t(1) << 15, 0);
    for (int y = 0; y < source.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        for (int x = 0; x < source.width(); ++x)
            ++counts[bin(colourOnWhite(in[x]))];
    }
    const size_t common = size_t(std::max_element(counts.begin(), counts.end()) - counts.begin());
    if (3 * qint64(counts[common]) < qint64(source.width()) * source.height())
        return std::nullopt;
    std::array<int64_t, 3> sum{};
    for (int y = 0; y < source.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        for (int x = 0; x < source.width(); ++x)
            if (const std::array<int, 3> c = colourOnWhite(in[x]); bin(c) == common)
                for (size_t k = 0; k < 3; ++k)
                    sum[k] += c[k];
    }
    std::array<int, 3> ground{};
    for (size_t k = 0; k < 3; ++k)
        ground[k] = int(sum[k] / counts[common]);
    return ground;
}

// Sets each patch of `lifted` pixels (8-connected; -1 for none) in `grey` to its levels where
// it is a stroke on the ground: a patch far wider than tall, or taller than any glyph, is a
// fill (a selection's blue on a dark dialog, whose labels are read against it as it stands);
// one mostly bordered by pixels off the ground (the smoothed edge of black letters on a cyan
// bar) stands on another ground.
void setStrokes(const std::vector<int16_t>& lifted, const std::vector<uint8_t>& onGround, QImage& grey)
{
    // A patch of strokes of one colour (a glyph, a word run together) is no taller than this,
    // and at most this many times as wide as tall (as the least of them: a dot); a frame's
    // side or a rule is wider.
    constexpr int tallestStroke = 160, widestStroke = 4, leastStroke = 3;
    const int w = grey.width(), h = grey.height();
    std::vector<uint8_t> taken(lifted.size(), 0);
    std::vector<size_t> stack, patch;
    for (size_t start = 0; start < lifted.size(); ++start) {
        if (lifted[start] < 0 || taken[start])
            continue;
        int minX = w, maxX = -1, minY = h, maxY = -1;
        int64_t border = 0, groundBorder = 0;
        patch.clear();
        stack.assign(1, start);
        taken[start] = 1;
        while (!stack.empty()) {
            const size_t p = stack.back();
            stack.pop_back();
            patch.push_back(p);
            const int px = int(p % size_t(w)), py = int(p / size_t(w));
            minX = std::min(minX, px), maxX = std::max(maxX, px), minY = std::min(minY, py), maxY = std::max(maxY, py);
            for (int ny = std::max(0, py - 1); ny <= std::min(h - 1, py + 1); ++ny)
                for (int nx = std::max(0, px - 1); nx <= std::min(w - 1, px + 1); ++nx) {
                    const size_t n = size_t(ny) * size_t(w) + size_t(nx);
                    if (lifted[n] >= 0 && !taken[n]) {
                        taken[n] = 1;
                        stack.push_back(n);
                    } else if (lifted[n] < 0) {
                        ++border;
                        groundBorder += onGround[n];
                    }
                }
        }
        const int pw = maxX - minX + 1, ph = maxY - minY + 1;
        if (ph > tallestStroke || pw > widestStroke * std::max(ph, leastStroke) || 2 * groundBorder < border)
            continue;
        for (size_t p : patch)
            grey.scanLine(int(p / size_t(w)))[p % size_t(w)] = uchar(lifted[p]);
    }
}

// Text in a colour as dark as its ground (a terminal's red #cc0000 on #2e3436) is lost to the
// level alone. On a picture of one dark ground (a terminal, a dark editor), a pixel whose
// colour stands off the ground's further than twice its level does is set that far lighter
// than the ground. Not a pixel darker than the ground: black on a cyan bar of a blue panel is
// text on the bar, and lifted it would be the bar's own level. On a light page colours are
// darker than the page as they are in grey; a photo has no one ground, and is left as its
// levels show it.
// `source` is premultiplied ARGB.
void liftColours(const QImage& source, QImage& grey)
{
    // Levels within this much darker than the ground are no side of it at all.
    constexpr int liftedShade = 4;
    // Colours this close to the ground's are the ground.
    constexpr int groundShade = 24;
    const std::optional<std::array<int, 3>> ground = oneGround(source);
    if (!ground)
        return;
    const int groundLevel = greyLevel(*ground);
    if (groundLevel >= 128)
        return;
    const int w = source.width(), h = source.height();
    std::vector<int16_t> lifted(size_t(w) * size_t(h), -1); // the level a pixel is set to
    std::vector<uint8_t> onGround(lifted.size(), 0);
    for (int y = 0; y < h; ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        const uchar* levels = grey.constScanLine(y);
        for (int x = 0; x < w; ++x) {
            const std::array<int, 3> c = colourOnWhite(in[x]);
            const int off = std::max({std::abs(c[0] - (*ground)[0]), std::abs(c[1] - (*ground)[1]), std::abs(c[2] - (*ground)[2])});
            const int lighter = levels[x] - groundLevel;
            onGround[size_t(y) * size_t(w) + size_t(x)] = off <= groundShade;
            if (off > groundShade && lighter >= -liftedShade && 2 * lighter < off)
                lifted[size_t(y) * size_t(w) + size_t(x)] = int16_t(std::min(groundLevel + off, 255));
        }
    }
    setStrokes(lifted, onGround, grey);
}

} // namespace

QImage readableGrey(const QImage& image)
{
    // Converted once: the grey view and the colours it hides are read from the same pixels.
    const QImage source = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage grey = greyOnWhite(source);
    if (source.isNull() || grey.isNull())
        throw TarnwickError::message(QStringLiteral("Не хватает памяти для распознавания текста."));
    liftColours(source, grey);
    return grey;
}

// Tesseract reads dark glyphs on a light ground and misses light text on dark
// panels. The image is cut into cells; where the cells are mostly dark the whole
// image is inverted.
namespace {

constexpr int polarityCell = 16;
// A pixel this far from its cell's ground is ink (or the edge of another ground).
constexpr int inkContrast = 48;
// Grounds of neighbouring cells this close belong to one surface (a gradient).
constexpr int sameSurface = 24;

// A cell's ground is the most common level in bins of eight, its pixels' mean
// within that bin. A cell with ink is dark when its ink is lighter than its ground:
// light text on a coloured button or a gradient counts by the text, whatever the
// level of the ground. Otherwise the level of the ground decides.
struct Cell {
    int ground = 255;
    int polarity = -1; // 1 light ink on a darker ground, 0 dark ink, -1 no ink
};

Cell measureCell(const QImage& grey, int x0, int x1, int y0, int y1)
{
    std::array<int, 32> bins{};
    std::array<int, 32> sums{};
    for (int y = y0; y < y1; ++y) {
        const uchar* line = grey.constScanLine(y);
        for (int x = x0; x < x1; ++x) {
            ++bins[line[x] >> 3];
            sums[line[x] >> 3] += line[x];
        }
    }
    const auto mode = size_t(std::max_element(bins.begin(), bins.end()) - bins.begin());
    Cell cell;
    cell.ground = sums[mode] / std::max(bins[mode], 1);
    int lighter = 0, darker = 0;
    bool fullLine = false; // a whole row or column of the cell off its ground
    std::array<int, polarityCell> columnInk{};
    for (int y = y0; y < y1; ++y) {
        const uchar* line = grey.constScanLine(y);
        int rowInk = 0;
        for (int x = x0; x < x1; ++x) {
            const bool off = std::abs(int(line[x]) - cell.ground) > inkContrast;
            lighter += line[x] > cell.ground + inkContrast;
            darker += line[x] < cell.ground - inkContrast;
            rowInk += off;
            columnInk[size_t(x - x0)] += off;
        }
        fullLine = fullLine || rowInk == x1 - x0;
    }
    for (int x = x0; x < x1; ++x)
        fullLine = fullLine || columnInk[size_t(x - x0)] == y1 - y0;
    const int area = (x1 - x0) * (y1 - y0);
    const int ink = std::max(lighter, darker);
    if (fullLine && 4 * ink > area) {
        // The edge of a panel across the cell, not text: the mean level decides.
        quint64 sum = 0;
        for (int y = y0; y < y1; ++y) {
            const uchar* line = grey.constScanLine(y);
            for (int x = x0; x < x1; ++x)
                sum += line[x];
        }
        cell.ground = int(sum / quint64(area));
        return cell;
    }
    // A few pixels are noise or the tip of a neighbour's glyph.
    if (ink * 64 >= area && ink >= 3)
        cell.polarity = lighter > darker ? 1 : 0;
    return cell;
}

// A view dark on light whose ground changes across it (a gradient, a vignette) is
// laid on an even white ground: each pixel keeps how much darker it is than the
// ground around it. One threshold for the whole view then parts text from ground,
// where the darker end of a gradient would otherwise be taken for ink. Even grounds
// are left as they are.
constexpr int unevenGround = 40;

void flattenGround(QImage& view)
{
    const int w = view.width(), h = view.height();
    const int columns = (w + polarityCell - 1) / polarityCell;
    const int rows = (h + polarityCell - 1) / polarityCell;
    std::vector<int> ground(size_t(columns) * size_t(rows));
    int lowest = 255, highest = 0;
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column) {
            const int x0 = column * polarityCell, y0 = row * polarityCell;
            const int level = measureCell(view, x0, std::min(x0 + polarityCell, w), y0, std::min(y0 + polarityCell, h)).ground;
            ground[size_t(row) * size_t(columns) + size_t(column)] = level;
            lowest = std::min(lowest, level);
            highest = std::max(highest, level);
        }
    if (highest - lowest <= unevenGround)
        return;
    // The lightest ground around each cell: a cell covered by a bold stroke takes its
    // level from its neighbours.
    std::vector<int> around(ground.size());
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column) {
            int level = 0;
            for (int r = std::max(row - 1, 0); r <= std::min(row + 1, rows - 1); ++r)
                for (int c = std::max(column - 1, 0); c <= std::min(column + 1, columns - 1); ++c)
                    level = std::max(level, ground[size_t(r) * size_t(columns) + size_t(c)]);
            around[size_t(row) * size_t(columns) + size_t(column)] = level;
        }
    auto groundAt = [&](int c, int r) {
        return double(around[size_t(std::clamp(r, 0, rows - 1)) * size_t(columns) + size_t(std::clamp(c, 0, columns - 1))]);
    };
    for (int y = 0; y < h; ++y) {
        const double fy = (y + 0.5) / polarityCell - 0.5;
        const int r = int(std::floor(fy));
        const double ty = fy - r;
        uchar* line = view.scanLine(y);
        for (int x = 0; x < w; ++x) {
            const double fx = (x + 0.5) / polarityCell - 0.5;
            const int c = int(std::floor(fx));
            const double tx = fx - c;
            const double level = (1 - ty) * ((1 - tx) * groundAt(c, r) + tx * groundAt(c + 1, r))
                + ty * ((1 - tx) * groundAt(c, r + 1) + tx * groundAt(c + 1, r + 1));
            line[x] = uchar(std::clamp(255 - int(std::lround(level)) + int(line[x]), 0, 255));
        }
    }
}

// Each cell of the grid dark or light by the polarity of its text; a cell without ink by
// the text on the same surface.
std::vector<uint8_t> darkCells(const QImage& grey, int columns, int rows)
{
    const int w = grey.width();
    const int h = grey.height();
    std::vector<Cell> cells(size_t(columns) * size_t(rows));
    std::vector<size_t> reached;
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            const int x0 = column * polarityCell, x1 = std::min(x0 + polarityCell, w);
            const int y0 = row * polarityCell, y1 = std::min(y0 + polarityCell, h);
            const size_t i = size_t(row) * size_t(columns) + size_t(column);
            cells[i] = measureCell(grey, x0, x1, y0, y1);
            if (cells[i].polarity >= 0)
                reached.push_back(i);
        }
    }
    // Cells without ink take the polarity of the text on the same surface: the ground
    // changes smoothly across a gradient and jumps at a panel's edge.
    for (size_t next = 0; next < reached.size(); ++next) {
        const size_t i = reached[next];
        const int row = int(i / size_t(columns)), column = int(i % size_t(columns));
        for (auto [dx, dy] : {std::pair{1, 0}, std::pair{-1, 0}, std::pair{0, 1}, std::pair{0, -1}}) {
            const int c = column + dx, r = row + dy;
            if (c < 0 || r < 0 || c >= columns || r >= rows)
                continue;
            Cell& other = cells[size_t(r) * size_t(columns) + size_t(c)];
            if (other.polarity < 0 && std::abs(other.ground - cells[i].ground) <= sameSurface) {
                other.polarity = cells[i].polarity;
                reached.push_back(size_t(r) * size_t(columns) + size_t(c));
            }
        }
    }
    std::vector<uint8_t> dark(cells.size(), 0);
    for (size_t i = 0; i < cells.size(); ++i)
        dark[i] = cells[i].polarity >= 0 ? cells[i].polarity == 1 : cells[i].ground < 128;
    return dark;
}

} // namespace

QImage polarityView(QImage grey)
{
    const int columns = (grey.width() + polarityCell - 1) / polarityCell;
    const int rows = (grey.height() + polarityCell - 1) / polarityCell;
    const std::vector<uint8_t> dark = darkCells(grey, columns, rows);
    const size_t darkCount = size_t(std::count(dark.begin(), dark.end(), uint8_t(1)));
    if (2 * darkCount > dark.size())
        grey.invertPixels();
    flattenGround(grey);
    return grey;
}

} // namespace tarnwick::ScreenTextRecognizer::stages
