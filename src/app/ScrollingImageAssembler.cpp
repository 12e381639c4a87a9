#include "app/ScrollingImageAssembler.h"

#include "platform/TarnwickError.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tarnwick {
namespace {

constexpr int thumbnailColumns = 144;

// The columns every measure samples: every third one between 1/12 and 11/12 of the width.
std::vector<int> sampledColumns(int w)
{
    std::vector<int> columns;
    for (int c = w / 12; c < 11 * w / 12; c += 3)
        columns.push_back(c);
    return columns;
}

// The sampled columns of each row side by side, rows padded to 16 bytes, so a
// row's difference is a couple of vector instructions.
struct SampledRows {
    int stride = 0;
    std::vector<std::uint8_t> bytes;

    explicit SampledRows(const ScrollGrayFrame& frame)
    {
        const std::vector<int> columns = sampledColumns(frame.width);
        stride = int((columns.size() + 15) / 16 * 16);
        bytes.assign(std::size_t(stride) * std::size_t(frame.height), 0);
        for (int r = 0; r < frame.height; ++r)
            for (std::size_t i = 0; i < columns.size(); ++i)
                bytes[std::size_t(r) * stride + i] = frame.bytes[std::size_t(r) * frame.width + columns[i]];
    }
    const std::uint8_t* row(int r) const { return bytes.data() + std::size_t(r) * stride; }
};

std::uint32_t rowDifference(const std::uint8_t* a, const std::uint8_t* b, int stride)
{
#if defined(__SSE2__)
    __m128i sum = _mm_setzero_si128();
    for (int i = 0; i < stride; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
        sum = _mm_add_epi64(sum, _mm_sad_epu8(x, y));
    }
    return std::uint32_t(_mm_cvtsi128_si32(sum) + _mm_cvtsi128_si32(_mm_srli_si128(sum, 8)));
#else
    std::uint32_t sum = 0;
    for (int i = 0; i < stride; ++i)
        sum += std::uint32_t(std::abs(int(a[i]) - int(b[i])));
    return sum;
#endif
}

// `step` 0 samples about 110 rows of the overlap; 1 takes every row.
double scoreRows(const SampledRows& self, const SampledRows& other, int h, int columnCount, int shift, int step = 0)
{
    const int m = h > 47 ? h / 12 : 4;
    const int start = std::max(m, m - shift);
    const int end = std::min(h - m, h - m - shift);
    const int overlap = end - start;
    if (overlap < h / 5)
        return std::numeric_limits<double>::infinity();
    if (step < 1)
        step = overlap > 109 ? overlap / 110 : 1;
    std::uint64_t sum = 0;
    std::int64_t n = 0;
    for (int r = start; r < end; r += step) {
        sum += rowDifference(self.row(r + shift), other.row(r), self.stride);
        n += columnCount;
    }
    return double(sum) / double(std::max<std::int64_t>(n, 1)) / 255.0;
}

[[noreturn]] void fail(const char* sentence)
{
    throw TarnwickError::message(QString::fromUtf8(sentence));
}

} // namespace

ScrollGrayFrame ScrollGrayFrame::of(const QImage& frame)
{
    QImage pixels = frame;
    if (pixels.format() != QImage::Format_RGB32 && pixels.format() != QImage::Format_ARGB32
        && pixels.format() != QImage::Format_ARGB32_Premultiplied)
        pixels = frame.convertToFormat(QImage::Format_RGB32);
    if (pixels.isNull())
        fail("Не удалось сравнить кадры прокрутки.");
    ScrollGrayFrame g;
    const int W = pixels.width();
    g.width = std::min(W, thumbnailColumns);
    g.height = pixels.height();
    g.bytes.assign(std::size_t(g.width) * std::size_t(g.height), 0);
    std::vector<int> source(std::size_t(g.width));
    for (int x = 0; x < g.width; ++x)
        source[std::size_t(x)] = int((std::int64_t(2 * x + 1) * W) / (2 * g.width));
    for (int y = 0; y < g.height; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
        std::uint8_t* out = g.bytes.data() + std::size_t(y) * g.width;
        for (int x = 0; x < g.width; ++x)
            out[x] = std::uint8_t(qGray(line[source[std::size_t(x)]]));
    }
    return g;
}

double ScrollGrayFrame::score(const ScrollGrayFrame& other, int shift) const
{
    return scoreRows(SampledRows(*this), SampledRows(other), height, int(sampledColumns(width).size()), shift);
}

double ScrollGrayFrame::texture() const
{
    const std::vector<int> columns = sampledColumns(width);
    const int step = height > 99 ? height / 100 : 1;
    double sum = 0, squares = 0;
    std::int64_t n = 0;
    for (int r = height / 12; r < 11 * height / 12; r += step) {
        for (int c : columns) {
            const double v = bytes[std::size_t(r) * width + c];
            sum += v;
            squares += v * v;
            ++n;
        }
    }
    const double mean = sum / double(std::max<std::int64_t>(n, 1));
    const double meanSquare = n > 0 ? squares / double(n) : squares;
    return std::sqrt(std::max(0.0, meanSquare - mean * mean));
}

int ScrollGrayFrame::fixedBottom(const ScrollGrayFrame& other) const
{
    const std::vector<int> columns = sampledColumns(width);
    int rows = 0;
    for (int r = height - 1; r >= 4 * height / 5; --r) {
        if (!columns.empty()) {
            double d = 0;
            for (int c : columns)
                d += std::abs(int(bytes[std::size_t(r) * width + c]) - int(other.bytes[std::size_t(r) * width + c]));
            if (d / double(columns.size()) > 1.5)
                break;
        }
        ++rows;
    }
    return rows;
}

ScrollAppendResult ScrollingImageAssembler::append(const QImage& frame)
{
    const int W = frame.width();
    const int H = frame.height();
    if (W < 1 || H < 32)
        return {ScrollAppendKind::unmatched};
    if (H > maximumHeight || std::int64_t(W) * H > maximumPixels)
        return {ScrollAppendKind::limit};
    ScrollGrayFrame g = ScrollGrayFrame::of(frame);
    // A blank first frame is most often a window not yet painted: until a row
    // has been added, the first frame with texture takes its place.
    const bool blankStart = previous_ && furthest_ == 0 && previous_->texture() <= 7.0;
    if (!previous_ || (blankStart && W == width_ && H == previous_->height && g.texture() > 7.0)) {
        QImage first = ownedCrop(frame, 0, H);
        previous_ = std::move(g);
        strips_ = {first};
        width_ = W;
        height_ = H;
        return {ScrollAppendKind::first};
    }
    if (W != width_ || H != previous_->height)
        return {ScrollAppendKind::unmatched};
    if (g.bytes == previous_->bytes)
        return {ScrollAppendKind::unchanged};
    // A frame that changed but has too little structure to match is said to be
    // unmatched, never taken as unchanged: on a flat page a small score at shift 0
    // means only that little differs, and the user must learn the capture is not growing.
    if (blankStart || previous_->texture() <= 7.0 || g.texture() <= 7.0)
        return {ScrollAppendKind::unmatched};

    const SampledRows before(*previous_);
    const SampledRows after(g);
    const int columnCount = int(sampledColumns(g.width).size());

    const int D = 7 * H / 10;
    std::vector<double> scores(std::size_t(2 * D + 1));
    int best = -D;
    for (int s = -D; s <= D; ++s) {
        const double value = scoreRows(before, after, H, columnCount, s);
        scores[std::size_t(s + D)] = value;
        if (value < scores[std::size_t(best + D)])
            best = s;
    }
    const double bestScore = scores[std::size_t(best + D)];
    const int radius = H <= 599 ? 12 : H / 50;
    double runnerUp = 1.0;
    bool anyOutside = false;
    for (int s = -D; s <= D; ++s) {
        if (std::abs(s - best) <= radius)
            continue;
        runnerUp = anyOutside ? std::min(runnerUp, scores[std::size_t(s + D)]) : scores[std::size_t(s + D)];
        anyOutside = true;
    }
    if (bestScore >= 0.03)
        return {ScrollAppendKind::skipped};
    if (bestScore + 0.008 >= runnerUp)
        return {ScrollAppendKind::unmatched};
    // The sampled rows may miss what tells near shifts apart (flat content
    // repeats rows exactly): near ties are settled on every row, and a tie
    // that remains is not guessed, as a guess would drop or double rows.
    int chosen = best;
    double chosenScore = std::numeric_limits<double>::infinity();
    bool tied = false;
    for (int s = std::max(-D, best - radius); s <= std::min(D, best + radius); ++s) {
        if (scores[std::size_t(s + D)] > bestScore + 0.01)
            continue;
        const double full = scoreRows(before, after, H, columnCount, s, 1);
        if (full < chosenScore) {
            chosen = s;
            chosenScore = full;
            tied = false;
        } else if (full == chosenScore) {
            tied = true;
        }
    }
    if (tied)
        return {ScrollAppendKind::unmatched};
    best = chosen;
    if (best == 0) {
        // The reference follows the screen (a blinking caret, a hover).
        previous_ = std::move(g);
        return {ScrollAppendKind::unchanged};
    }

    const int p = position_ + best;
    const int n = std::max(0, p - furthest_);
    if (height_ + n > maximumHeight || std::int64_t(width_) * (height_ + n) > maximumPixels)
        return {ScrollAppendKind::limit};
    if (p - furthest_ < 1) {
        previous_ = std::move(g);
        position_ = p;
        return {ScrollAppendKind::revisited};
    }
    // The reference moves with every accepted frame, so n ≤ |best| < H: a strip
    // never reaches above the frame.
    const int f = std::min(previous_->fixedBottom(g), std::max(0, H - n - 1));
    QImage strip = ownedCrop(frame, H - n - f, n + f);
    if (f > 0)
        removeBottom(f);
    strips_.append(strip);
    height_ += n + f;
    furthest_ = p;
    position_ = p;
    previous_ = std::move(g);
    return ScrollAppendResult::appended(n);
}

void ScrollingImageAssembler::removeBottom(int rows)
{
    while (rows > 0 && !strips_.isEmpty()) {
        const int last = strips_.last().height();
        if (rows >= last) {
            strips_.removeLast();
            height_ -= last;
            rows -= last;
            continue;
        }
        strips_.last() = ownedCrop(strips_.last(), 0, last - rows);
        height_ -= rows;
        break;
    }
}

QImage ScrollingImageAssembler::ownedCrop(const QImage& image, int y, int height)
{
    QImage crop = image.copy(0, y, image.width(), height);
    if (crop.isNull())
        fail("Не удалось соединить края снимка.");
    // The copy owns its pixels, so the grabbed frame can go at once.
    if (crop.format() != QImage::Format_ARGB32_Premultiplied)
        crop = std::move(crop).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (crop.isNull())
        fail("Не удалось сохранить полосу снимка.");
    return crop;
}

QImage ScrollingImageAssembler::compose() const
{
    if (height_ < 1)
        fail("Не удалось собрать длинный снимок. Попробуйте меньшую область.");
    QImage image(width_, height_, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        fail("Не удалось собрать длинный снимок. Попробуйте меньшую область.");
    int y = 0;
    for (const QImage& strip : strips_) {
        for (int r = 0; r < strip.height(); ++r)
            std::memcpy(image.scanLine(y + r), strip.constScanLine(r), std::size_t(width_) * 4);
        y += strip.height();
    }
    return image;
}

} // namespace tarnwick
