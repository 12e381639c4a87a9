#pragma once

#include <QImage>
#include <cstring>
#include <random>

namespace tarnwick::test {

// A page of random pixels, colour or grey, that no shift but the true one
// matches; `rowRepeat` > 1 repeats every row that many times.
inline QImage noisePage(int width, int height, unsigned seed = 1, bool grey = false, int rowRepeat = 1)
{
    QImage page(width, height, QImage::Format_RGB32);
    std::mt19937 random(seed);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(page.scanLine(y));
        if (y % rowRepeat != 0) {
            std::memcpy(line, page.constScanLine(y - 1), std::size_t(width) * 4);
            continue;
        }
        for (int x = 0; x < width; ++x) {
            const int v = int(random() & 0xff);
            line[x] = grey ? qRgb(v, v, v) : qRgb(v, int(random() & 0xff), int(random() & 0xff));
        }
    }
    return page;
}

} // namespace tarnwick::test
