#pragma once

#include <QImage>

#include <algorithm>
#include <array>

namespace tarnwick {

// A premultiplied pixel's colour with its transparent part laid on white.
inline std::array<int, 3> colourOnWhite(QRgb p)
{
    const int white = 255 - qAlpha(p);
    return {qRed(p) + white, qGreen(p) + white, qBlue(p) + white};
}

// The grey level of a colour: (77 R + 150 G + 29 B) / 256.
inline int greyLevel(const std::array<int, 3>& c) { return (77 * c[0] + 150 * c[1] + 29 * c[2]) >> 8; }

// Grey levels with transparent parts laid on white, as the picture would look on a page;
// recognisers read that. A null image when the memory cannot be had.
inline QImage greyOnWhite(const QImage& image)
{
    const QImage source = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage grey(image.size(), QImage::Format_Grayscale8);
    if (source.isNull() || grey.isNull())
        return {};
    for (int y = 0; y < grey.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        uchar* out = grey.scanLine(y);
        for (int x = 0; x < grey.width(); ++x)
            out[x] = static_cast<uchar>(greyLevel(colourOnWhite(in[x])));
    }
    return grey;
}

// The grey level most pixels of a grey image have: its background, for screen text.
inline int mostCommonGrey(const QImage& grey)
{
    // Four counts a level, one for each pixel of four: a screen's background is one
    // level, and a single count would wait on its own increment at every pixel.
    std::array<std::array<quint64, 256>, 4> counts{};
    const int w = grey.width();
    for (int y = 0; y < grey.height(); ++y) {
        const uchar* line = grey.constScanLine(y);
        int x = 0;
        for (; x + 4 <= w; x += 4) {
            ++counts[0][line[x]];
            ++counts[1][line[x + 1]];
            ++counts[2][line[x + 2]];
            ++counts[3][line[x + 3]];
        }
        for (; x < w; ++x)
            ++counts[0][line[x]];
    }
    std::array<quint64, 256> histogram{};
    for (size_t level = 0; level < histogram.size(); ++level)
        histogram[level] = counts[0][level] + counts[1][level] + counts[2][level] + counts[3][level];
    return int(std::max_element(histogram.begin(), histogram.end()) - histogram.begin());
}

} // namespace tarnwick
