#pragma once

#include <QImage>
#include <QList>
#include <cstdint>
#include <optional>
#include <vector>

namespace tarnwick {

// A frame squeezed to at most 144 columns, every row kept, 8-bit grey: cheap
// enough to try every plausible shift eight times a second.
struct ScrollGrayFrame {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bytes; // row-major, width bytes per row

    // Throws TarnwickError when the frame cannot be read.
    static ScrollGrayFrame of(const QImage& frame);

    // Mean absolute grey difference (0…1) between other's row r and this frame's
    // row r + shift; +infinity when the two overlap too little.
    double score(const ScrollGrayFrame& other, int shift) const;
    // Standard deviation of the sampled grey values (0…255).
    double texture() const;
    // Rows at the bottom that are the same in both frames (a sticky footer).
    int fixedBottom(const ScrollGrayFrame& other) const;
};

// skipped: the content moved farther than a frame can be matched across.
enum class ScrollAppendKind { appended, first, unchanged, revisited, unmatched, limit, skipped };

struct ScrollAppendResult {
    ScrollAppendKind kind = ScrollAppendKind::unmatched;
    int rows = 0; // new rows, for appended only

    static ScrollAppendResult appended(int rows) { return {ScrollAppendKind::appended, rows}; }
    bool operator==(const ScrollAppendResult&) const = default;
};

// Stitches the frames of one scrolling capture into horizontal strips that,
// stacked top to bottom, make the tall image. Not thread-safe: the capture
// engine calls it from its one worker thread.
class ScrollingImageAssembler {
public:
    static constexpr int maximumHeight = 32000;
    static constexpr std::int64_t maximumPixels = 40'000'000;

    // Takes the next frame; throws TarnwickError when a copy cannot be made.
    ScrollAppendResult append(const QImage& frame);

    const QList<QImage>& strips() const { return strips_; }
    int width() const { return width_; }
    int height() const { return height_; }

    // The strips stacked into one image; throws TarnwickError when empty or
    // when the image cannot be allocated.
    QImage compose() const;

private:
    void removeBottom(int rows);
    static QImage ownedCrop(const QImage& image, int y, int height);

    std::optional<ScrollGrayFrame> previous_;
    QList<QImage> strips_;
    int position_ = 0;
    int furthest_ = 0;
    int width_ = 0;
    int height_ = 0;
};

} // namespace tarnwick
