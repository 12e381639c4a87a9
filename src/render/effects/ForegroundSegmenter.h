#pragma once

#include <QImage>
#include <QSize>
#include <cstdint>
#include <memory>
#include <vector>

namespace tarnwick {

// A soft mask, one value per pixel from 0 (background) to 1 (foreground), rows from
// the top of the image.
struct SoftMask {
    int width = 0;
    int height = 0;
    std::vector<float> values;

    float at(int x, int y) const { return values[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
};

// What a segmenter found in one image: a label map (0 = background, i = instance i)
// at the segmenter's own resolution, and soft masks of any choice of instances.
class ForegroundObservation {
public:
    virtual ~ForegroundObservation() = default;

    // The size of the label map; it may be smaller than the image.
    virtual QSize maskSize() const = 0;
    // One byte per label-map pixel, rows from the top.
    virtual const std::vector<uint8_t>& instanceMask() const = 0;
    // Every foreground instance, ascending; the background is not an instance.
    virtual std::vector<int> allInstances() const = 0;
    // The soft mask of the union of `instances`, scaled to `imageSize`.
    virtual SoftMask scaledMask(const std::vector<int>& instances, QSize imageSize) const = 0;
};

// Finds foreground objects in an image. Callers only see this interface, so a
// learned model can take the place of the standard segmenter.
class ForegroundSegmenter {
public:
    virtual ~ForegroundSegmenter() = default;

    // Null when the image holds no foreground at all. Throws TarnwickError when
    // the image cannot be analysed.
    virtual std::unique_ptr<ForegroundObservation> perform(const QImage& image) const = 0;

    // The segmenter the object and background tools use.
    static const ForegroundSegmenter& standard();
};

// Screenshots mostly sit on flat backgrounds: the image border and every
// border-connected region of near-uniform colour are sure background, GrabCut
// decides the rest, and each connected foreground component is an instance.
// Large images are segmented at a reduced size.
class GrabCutSegmenter : public ForegroundSegmenter {
public:
    struct Settings {
        int maxSide = 640;          // longer side of the image actually segmented
        int colorTolerance = 10;    // per channel, from the border pixel a region grows from
        int iterations = 3;
        double minInstanceShare = 0.0005; // of the segmented area; smaller specks are dropped
    };

    GrabCutSegmenter() = default;
    explicit GrabCutSegmenter(Settings settings) : settings_(settings) {}

    std::unique_ptr<ForegroundObservation> perform(const QImage& image) const override;

private:
    Settings settings_;
};

} // namespace tarnwick
