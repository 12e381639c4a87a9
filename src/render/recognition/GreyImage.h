#pragma once

#include <QImage>

#include <algorithm>
#include <array>

namespace tarnwick {

// Grey levels (77 R + 150 G + 29 B) / 256 with transparent parts laid on white, as
// the picture would look on a page; recognisers read that. A null image when the
// memory cannot be had.
inline QImage greyOnWhite(const QImage& image)
{
    const QImage source = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage grey(image.size(), QImage::Format_Grayscale8);
    if (source.isNull() || grey.isNull())
        return {};
    for (int y = 0; y < grey.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        uchar* out = grey.scanLine(y);
        for (int x = 0; x < grey.width(); ++x) {
            const QRgb p = in[x];
            const int white = 255 - qAlpha(p);
            out[x] = static_cast<uchar>((77 * (qRed(p) + white) + 150 * (qGreen(p) + white) + 29 * (qBlue(p) + white)) >> 8);
        }
    }
    return grey;
}

// The grey level most pixels of a grey image have: its background, for screen text.
inline int mostCommonGrey(const QImage& grey)
{
    std::array<quint64, 256> histogram{};
    for (int y = 0; y < grey.height(); ++y) {
        const uchar* line = grey.constScanLine(y);
        for (int x = 0; x < grey.width(); ++x)
            ++histogram[line[x]];
    }
    return int(std::max_element(histogram.begin(), histogram.end()) - histogram.begin());
}

} // namespace tarnwick
