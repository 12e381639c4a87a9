// The views Tesseract reads: dark text on a light ground, whatever the picture shows.

#include "render/recognition/ReadingStages.h"

#include "render/recognition/GreyImage.h"

#include "platform/TarnwickError.h"

#include <array>
#include <cstdint>

namespace tarnwick::ScreenTextRecognizer::stages {

QImage readableGrey(const QImage& image)
{
    QImage grey = greyOnWhite(image);
    if (grey.isNull())
        throw TarnwickError::message(QStringLiteral("Не хватает памяти для распознавания текста."));
    return grey;
}

// Tesseract reads dark glyphs on a light ground and misses light text on dark
// panels. The image is cut into cells; where the cells are mostly dark the whole
// image is inverted, and the areas of the other polarity (a dark side bar on a light
// window) are read separately, inverted, with the rest blanked out.
namespace {

constexpr int polarityCell = 16;

} // namespace

PolarityViews polarityViews(QImage grey, bool splitAreas)
{
    const int w = grey.width();
    const int h = grey.height();
    const int columns = (w + polarityCell - 1) / polarityCell;
    const int rows = (h + polarityCell - 1) / polarityCell;
    std::vector<uint8_t> dark(size_t(columns) * size_t(rows), 0);
    size_t darkCells = 0;
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            const int x0 = column * polarityCell, x1 = std::min(x0 + polarityCell, w);
            const int y0 = row * polarityCell, y1 = std::min(y0 + polarityCell, h);
            quint64 sum = 0;
            for (int y = y0; y < y1; ++y) {
                const uchar* line = grey.constScanLine(y);
                for (int x = x0; x < x1; ++x)
                    sum += line[x];
            }
            const bool isDark = sum < 128ull * quint64(x1 - x0) * quint64(y1 - y0);
            dark[size_t(row) * size_t(columns) + size_t(column)] = isDark;
            darkCells += isDark;
        }
    }
    const bool invert = 2 * darkCells > dark.size();
    if (invert)
        grey.invertPixels();
    if (!splitAreas)
        return {grey, std::nullopt};

    // Areas of the other polarity: cells in a 2 × 2 block of such cells, so that the
    // strokes of large bold glyphs do not count as a panel.
    auto minority = [&](int column, int row) {
        return column >= 0 && row >= 0 && column < columns && row < rows
            && bool(dark[size_t(row) * size_t(columns) + size_t(column)]) != invert;
    };
    std::vector<uint8_t> area(dark.size(), 0);
    bool any = false;
    for (int row = 0; row + 1 < rows; ++row) {
        for (int column = 0; column + 1 < columns; ++column) {
            if (minority(column, row) && minority(column + 1, row) && minority(column, row + 1)
                && minority(column + 1, row + 1)) {
                for (int dy = 0; dy < 2; ++dy)
                    for (int dx = 0; dx < 2; ++dx)
                        area[size_t(row + dy) * size_t(columns) + size_t(column + dx)] = 1;
                any = true;
            }
        }
    }
    if (!any)
        return {grey, std::nullopt};

    // The areas in pixels, grown past their cells up to their real edges: a panel
    // that ends off the cell grid would otherwise leave a strip of itself in the
    // main view, which reads as a junk line and costs a whole extra pass.
    std::vector<uint8_t> inArea(size_t(w) * size_t(h), 0);
    auto mark = [&](int x0, int x1, int y0, int y1) {
        for (int y = y0; y < y1; ++y)
            std::fill_n(inArea.begin() + qsizetype(y) * w + x0, x1 - x0, uint8_t(1));
    };
    auto rowDark = [&](int y, int x0, int x1) {
        const uchar* line = grey.constScanLine(y);
        quint64 sum = 0;
        for (int x = x0; x < x1; ++x)
            sum += line[x];
        return sum < 128ull * quint64(x1 - x0);
    };
    auto columnDark = [&](int x, int y0, int y1) {
        quint64 sum = 0;
        for (int y = y0; y < y1; ++y)
            sum += grey.constScanLine(y)[x];
        return sum < 128ull * quint64(y1 - y0);
    };
    auto inAreaCell = [&](int column, int row) {
        return column >= 0 && row >= 0 && column < columns && row < rows
            && area[size_t(row) * size_t(columns) + size_t(column)];
    };
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            if (!inAreaCell(column, row))
                continue;
            const int x0 = column * polarityCell, x1 = std::min(x0 + polarityCell, w);
            const int y0 = row * polarityCell, y1 = std::min(y0 + polarityCell, h);
            mark(x0, x1, y0, y1);
            if (row + 1 < rows && !inAreaCell(column, row + 1))
                for (int y = y1; y < std::min(y1 + polarityCell, h) && rowDark(y, x0, x1); ++y)
                    mark(x0, x1, y, y + 1);
            if (row > 0 && !inAreaCell(column, row - 1))
                for (int y = y0 - 1; y >= y0 - polarityCell && rowDark(y, x0, x1); --y)
                    mark(x0, x1, y, y + 1);
            if (column + 1 < columns && !inAreaCell(column + 1, row))
                for (int x = x1; x < std::min(x1 + polarityCell, w) && columnDark(x, y0, y1); ++x)
                    mark(x, x + 1, y0, y1);
            if (column > 0 && !inAreaCell(column - 1, row))
                for (int x = x0 - 1; x >= x0 - polarityCell && columnDark(x, y0, y1); --x)
                    mark(x, x + 1, y0, y1);
        }
    }

    QImage other = grey;
    other.invertPixels();
    // Blanked pixels take the most frequent level of the pixels kept, so that the
    // view keeps one even background for Tesseract's threshold.
    auto blank = [&](QImage& view, bool keptInArea) {
        std::array<quint64, 256> histogram{};
        for (int y = 0; y < h; ++y) {
            const uchar* line = view.constScanLine(y);
            const uint8_t* flags = inArea.data() + qsizetype(y) * w;
            for (int x = 0; x < w; ++x)
                if (bool(flags[x]) == keptInArea)
                    ++histogram[line[x]];
        }
        const auto level = uchar(std::max_element(histogram.begin(), histogram.end()) - histogram.begin());
        for (int y = 0; y < h; ++y) {
            uchar* line = view.scanLine(y);
            const uint8_t* flags = inArea.data() + qsizetype(y) * w;
            for (int x = 0; x < w; ++x)
                if (bool(flags[x]) != keptInArea)
                    line[x] = level;
        }
    };
    blank(grey, false);
    blank(other, true);
    return {grey, other};
}

} // namespace tarnwick::ScreenTextRecognizer::stages
