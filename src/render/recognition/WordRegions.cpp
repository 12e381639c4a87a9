#include "render/recognition/WordRegions.h"

#include "render/recognition/GlyphRows.h"
#include "render/recognition/ReadingStages.h"
#include "render/recognition/ScreenTextRecognizer.h"
#include "series/Geometry.h"
#include "platform/TarnwickError.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <deque>
#include <new>

namespace tarnwick {

namespace GlyphScan {

std::vector<uint8_t> luminance(const QImage& image)
{
    const QImage rgba = image.format() == QImage::Format_RGBA8888_Premultiplied
        ? image
        : image.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
    if (rgba.isNull())
        return {};
    const int w = rgba.width();
    const int h = rgba.height();
    std::vector<uint8_t> levels(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y) {
        const uchar* px = rgba.constScanLine(y);
        uint8_t* out = levels.data() + size_t(y) * size_t(w);
        for (int x = 0; x < w; ++x, px += 4)
            out[x] = static_cast<uint8_t>((77 * px[0] + 150 * px[1] + 29 * px[2]) >> 8);
    }
    return levels;
}

std::vector<uint8_t> edgeMask(const std::vector<uint8_t>& levels, int w, int h)
{
    std::vector<uint8_t> mask(size_t(w) * size_t(h), 0);
    if (w < 5 || h < 5 || levels.size() < mask.size())
        return mask;
    for (int y = 2; y <= h - 3; ++y) {
        const uint8_t* row = levels.data() + size_t(y) * size_t(w);
        const uint8_t* above = row - 2 * size_t(w);
        const uint8_t* below = row + 2 * size_t(w);
        uint8_t* out = mask.data() + size_t(y) * size_t(w);
        for (int x = 2; x <= w - 3; ++x) {
            const int l = row[x];
            out[x] = std::abs(l - row[x - 2]) >= edgeContrast || std::abs(l - row[x + 2]) >= edgeContrast
                || std::abs(l - above[x]) >= edgeContrast || std::abs(l - below[x]) >= edgeContrast;
        }
    }
    return mask;
}

std::vector<QRect> components(std::vector<uint8_t>& mask, int w, int h)
{
    std::vector<QRect> boxes;
    const size_t count = size_t(w) * size_t(h);
    if (w <= 0 || h <= 0 || mask.size() < count)
        return boxes;
    std::deque<size_t> queue;
    for (size_t start = 0; start < count; ++start) {
        if (!mask[start])
            continue;
        mask[start] = 0;
        queue.push_back(start);
        int minX = w, minY = h, maxX = -1, maxY = -1;
        while (!queue.empty()) {
            const size_t index = queue.front();
            queue.pop_front();
            const int x = int(index % size_t(w));
            const int y = int(index / size_t(w));
            minX = std::min(minX, x);
            maxX = std::max(maxX, x);
            minY = std::min(minY, y);
            maxY = std::max(maxY, y);
            for (int ny = std::max(y - 1, 0); ny <= std::min(y + 1, h - 1); ++ny) {
                for (int nx = std::max(x - 1, 0); nx <= std::min(x + 1, w - 1); ++nx) {
                    const size_t n = size_t(ny) * size_t(w) + size_t(nx);
                    if (mask[n]) {
                        mask[n] = 0;
                        queue.push_back(n);
                    }
                }
            }
        }
        boxes.emplace_back(minX, minY, maxX - minX + 1, maxY - minY + 1);
    }
    return boxes;
}

bool isIconBox(const QRect& box)
{
    const int w = box.width();
    const int h = box.height();
    if (w < 64 || w > 256 || h < 64 || h > 256)
        return false;
    const double ratio = double(w) / double(h);
    return ratio >= 0.6 && ratio <= 1.6;
}

bool isGlyphBox(const QRect& box, const std::vector<QRectF>& knownBoxes)
{
    const int w = box.width();
    const int h = box.height();
    if (h < 5 || h > 64 || w < 2 || w > 2 * h)
        return false;
    const QPointF centre(box.x() + w / 2.0, box.y() + h / 2.0);
    return std::none_of(knownBoxes.begin(), knownBoxes.end(),
        [&](const QRectF& known) { return geo::contains(known, centre); });
}

namespace {

bool containsBox(const QRect& outer, const QRect& inner)
{
    return inner.x() >= outer.x() && inner.y() >= outer.y() && inner.x() + inner.width() <= outer.x() + outer.width()
        && inner.y() + inner.height() <= outer.y() + outer.height();
}

// Whether at least 85 % of the region's frame is close to the frame's median colour.
bool hasPlainFrame(const QImage& rgba, const QRect& region)
{
    const int left = region.x();
    const int top = region.y();
    const int right = region.x() + region.width() - 1;
    const int bottom = region.y() + region.height() - 1;
    std::array<std::vector<uint8_t>, 3> channels;
    auto take = [&](int x, int y) {
        const uchar* px = rgba.constScanLine(y) + 4 * x;
        for (int c = 0; c < 3; ++c)
            channels[c].push_back(px[c]);
    };
    for (int y = top; y <= bottom; ++y) {
        for (int x = left; x <= right; ++x) {
            if (y == top || y == bottom || x == left || x == right)
                take(x, y);
        }
    }
    const size_t count = channels[0].size();
    if (count == 0)
        return false;
    std::array<int, 3> median{};
    for (int c = 0; c < 3; ++c) {
        std::vector<uint8_t> sorted = channels[c];
        std::sort(sorted.begin(), sorted.end());
        median[c] = sorted[count / 2];
    }
    size_t matching = 0;
    for (size_t i = 0; i < count; ++i) {
        bool close = true;
        for (int c = 0; c < 3; ++c)
            close = close && std::abs(int(channels[c][i]) - median[c]) < frameTolerance;
        matching += close ? 1 : 0;
    }
    return 100 * matching >= size_t(plainFramePercent) * count;
}

} // namespace

std::vector<QRect> candidateRegions(const QImage& image, const std::vector<QRectF>& recognizedBoxes)
{
    const int w = image.width();
    const int h = image.height();
    if (image.isNull() || w < 5 || h < 5)
        return {};
    const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
    if (rgba.isNull())
        return {};

    std::vector<uint8_t> mask = edgeMask(luminance(rgba), w, h);

    std::vector<QRectF> known;
    known.reserve(recognizedBoxes.size());
    for (const QRectF& b : recognizedBoxes) {
        known.push_back(geo::insetBy(ScreenTextRecognizer::stages::pixelBox(b, w, h), -knownBoxMargin, -knownBoxMargin));
    }

    std::vector<QRect> icons;
    std::vector<QRect> glyphs;
    for (const QRect& box : components(mask, w, h)) {
        if (isIconBox(box))
            icons.push_back(box);
        if (isGlyphBox(box, known))
            glyphs.push_back(box);
    }

    std::vector<QRect> regions;
    for (const QRect& glyph : glyphs) {
        if (std::any_of(icons.begin(), icons.end(), [&](const QRect& icon) { return containsBox(icon, glyph); }))
            continue;
        const int left = std::max(glyph.x() - frameMargin, 0);
        const int top = std::max(glyph.y() - frameMargin, 0);
        const int right = std::min(glyph.x() + glyph.width() + frameMargin, w);
        const int bottom = std::min(glyph.y() + glyph.height() + frameMargin, h);
        const QRect region(left, top, right - left, bottom - top);
        if (hasPlainFrame(rgba, region))
            regions.push_back(region);
    }
    return regions;
}

} // namespace GlyphScan

namespace ScreenTextRecognizer {

namespace {

void checkCancelled(const std::function<bool()>& isCancelled)
{
    if (isCancelled && isCancelled())
        throw CancellationError();
}

// Whether boxes found already cover at least half of `box` (their overlaps counted twice).
bool halfCovered(const QRect& box, const std::vector<QRect>& found)
{
    qint64 covered = 0;
    for (const QRect& other : found) {
        const QRect common = other.intersected(box);
        covered += qint64(common.width()) * common.height();
    }
    return 2 * covered >= qint64(box.width()) * box.height();
}

bool hasLetterOrDigit(const QString& text)
{
    for (const char32_t c : text.toUcs4()) {
        if (QChar::isLetterOrNumber(c))
            return true;
    }
    return false;
}

// The word boxes of one crop as each pass adds its own, in the recogniser's space of the crop.
class Gathering {
public:
    Gathering(const QImage& crop, const std::function<bool()>& isCancelled)
        : crop_(crop), isCancelled_(isCancelled), w_(crop.width()), h_(crop.height())
    {
    }

    // Every word the full reading boxes, without dictionaries, so that names, codes and
    // half-words are boxed as written; and every word the engine reads of the picture alone,
    // however unsure, as the `tesseract` command reads it, where the words read already
    // leave it: one it reads over a word read already and a button's frame beside is boxed
    // frame and all.
    void addReadWords()
    {
        std::vector<detail::Word> plainWords;
        for (const detail::Line& line : detail::readLines(crop_, detail::Reading::literal, detail::Layout::scattered, isCancelled_, &plainWords)) {
            if (line.words.empty()) {
                regions.push_back(line.bounds);
                continue;
            }
            for (const detail::Word& word : line.words)
                regions.push_back(word.bounds);
        }
        for (const QRectF& b : regions)
            read_.push_back(pixels(b));
        for (const detail::Word& word : plainWords) {
            const QRect box = pixels(word.bounds);
            const bool holdsRead = std::any_of(read_.begin(), read_.end(), [&](const QRect& other) {
                const QRect common = other.intersected(box);
                return 2 * qint64(common.width()) * common.height() >= qint64(other.width()) * other.height();
            });
            if (!holdsRead && !halfCovered(box, read_)) {
                regions.push_back(word.bounds);
                read_.push_back(box);
            }
        }
        checkCancelled(isCancelled_);
    }

    // Lines of glyphs the block reading dropped (the engine loses a line between others now
    // and then), each read on its own: what the text layer finds is text, and a line left
    // sharp is what this blur is for.
    void addLayerLines()
    {
        for (const stages::TextLine& line : stages::textLayer(stages::readableGrey(crop_)).lines) {
            if (!halfCovered(line.box, read_)) {
                const int margin = std::max(4, line.box.height() / 2);
                readSpot(line.box.adjusted(-margin, -margin, margin, margin).intersected(crop_.rect()));
            }
        }
    }

    // Rows of glyphs no reading saw, on whatever ground: a selected value on its highlight, a
    // key bar's coloured cells. A row looks like a line of text, which is enough to cover it;
    // a glyph or two alone are read first, and covered whole, not only as far as the reader
    // boxes them, when they read as a letter or figure.
    void addGlyphRows()
    {
        std::vector<QRectF> known;
        for (const QRectF& b : regions)
            known.push_back(geo::insetBy(stages::pixelBox(b, w_, h_), -GlyphScan::knownBoxMargin, -GlyphScan::knownBoxMargin));
        GlyphRows::Found rows;
        try {
            rows = GlyphRows::textRows(crop_, known);
        } catch (const std::bad_alloc&) {
            throw TarnwickError::message(QStringLiteral("Не хватает памяти для распознавания текста."));
        }
        for (const QRect& line : rows.lines)
            regions.push_back(stages::recognizerBox(line, w_, h_));
        for (const QRect& glyphs : rows.spots) {
            const int margin = std::max(GlyphScan::frameMargin, glyphs.height() / 2);
            if (readSpot(glyphs.adjusted(-margin, -margin, margin, margin).intersected(crop_.rect())))
                regions.push_back(stages::recognizerBox(glyphs.adjusted(-1, -1, 1, 1).intersected(crop_.rect()), w_, h_));
        }
        checkCancelled(isCancelled_);
    }

    // Small glyphs on plain backgrounds the readings missed (a digit on a badge), each read
    // on its own. The lines just read are known: their glyphs are not read again.
    void addPlainFrameSpots()
    {
        for (const QRect& spot : GlyphScan::candidateRegions(crop_, regions))
            readSpot(spot);
    }

    // Each region grown over the shapes it touches, whole: a reader's box may stop a pixel or
    // two short of a glyph's tail, which then stays sharp below the blur. Shapes much larger
    // than the region (a highlight, a frame) are not its glyphs.
    void coverGlyphsWhole()
    {
        std::vector<uint8_t> mask = GlyphScan::edgeMask(GlyphScan::luminance(crop_), w_, h_);
        std::vector<QRect> shapes = GlyphScan::components(mask, w_, h_);
        std::sort(shapes.begin(), shapes.end(), [](const QRect& a, const QRect& b) { return a.top() < b.top(); });
        for (QRectF& region : regions) {
            const QRect box = pixels(region);
            QRect grown = box;
            for (auto shape = shapes.begin(); shape != shapes.end() && shape->top() <= box.bottom(); ++shape)
                if (shape->intersects(box) && shape->height() <= 3 * box.height() && shape->width() <= box.width() + 3 * box.height())
                    grown |= *shape;
            if (grown != box)
                region = stages::recognizerBox(grown, w_, h_);
        }
        checkCancelled(isCancelled_);
    }

    std::vector<QRectF> regions;

private:
    QRect pixels(const QRectF& box) const { return stages::pixelBox(box, w_, h_).toAlignedRect(); }

    // A spot of the picture read on its own as one line, kept where it holds a letter or a
    // digit; whether it did.
    bool readSpot(const QRect& spot)
    {
        checkCancelled(isCancelled_);
        const QImage piece = crop_.copy(spot);
        if (piece.isNull())
            return false;
        bool kept = false;
        for (const detail::Line& line : detail::readLines(piece, detail::Reading::literal, detail::Layout::singleLine, isCancelled_)) {
            if (!hasLetterOrDigit(line.text))
                continue;
            const QRectF& b = line.bounds;
            regions.emplace_back((spot.x() + b.x() * spot.width()) / w_, ((h_ - (spot.y() + spot.height())) + b.y() * spot.height()) / h_,
                                 b.width() * spot.width() / w_, b.height() * spot.height() / h_);
            kept = true;
        }
        return kept;
    }

    const QImage& crop_;
    const std::function<bool()>& isCancelled_;
    const int w_;
    const int h_;
    // The pixel boxes of the words read, for the passes after the readings.
    std::vector<QRect> read_;
};

} // namespace

std::vector<QRectF> wordRegions(const QImage& image, const QRect& rect, const std::function<bool()>& isCancelled)
{
    if (image.isNull())
        return {};
    const QRect area = rect.intersected(image.rect());
    if (area.isEmpty())
        return {};
    detail::checkReadableSize(area.size());
    const QImage crop = area == image.rect() ? image : image.copy(area);
    if (crop.isNull())
        throw TarnwickError::message(QStringLiteral("Не хватает памяти для распознавания текста."));
    Gathering gathering(crop, isCancelled);
    gathering.addReadWords();
    gathering.addLayerLines();
    gathering.addGlyphRows();
    gathering.addPlainFrameSpots();
    gathering.coverGlyphsWhole();
    return std::move(gathering.regions);
}

} // namespace ScreenTextRecognizer

} // namespace tarnwick
