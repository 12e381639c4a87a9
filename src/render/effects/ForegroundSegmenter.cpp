#include "render/effects/ForegroundSegmenter.h"

#include "platform/TarnwickError.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <new>

namespace tarnwick {

namespace {

const char* const analysisFailed = "Не удалось распознать объекты на изображении.";

class GrabCutObservation : public ForegroundObservation {
public:
    GrabCutObservation(cv::Mat1b labels, std::vector<int> instances)
        : size_(labels.cols, labels.rows), instances_(std::move(instances))
    {
        labels_.assign(labels.begin(), labels.end());
    }

    QSize maskSize() const override { return size_; }
    const std::vector<uint8_t>& instanceMask() const override { return labels_; }
    std::vector<int> allInstances() const override { return instances_; }

    SoftMask scaledMask(const std::vector<int>& instances, QSize imageSize) const override
    {
        SoftMask out;
        if (imageSize.isEmpty())
            return out;
        bool chosen[256] = {};
        for (int i : instances)
            if (i > 0 && i < 256)
                chosen[i] = true;
        cv::Mat1f hard(size_.height(), size_.width());
        for (int y = 0; y < hard.rows; ++y) {
            const uint8_t* src = labels_.data() + static_cast<size_t>(y) * static_cast<size_t>(hard.cols);
            float* dst = hard[y];
            for (int x = 0; x < hard.cols; ++x)
                dst[x] = chosen[src[x]] ? 1.0f : 0.0f;
        }
        // A one-pixel ramp at the segmented size; scaling up widens it in proportion.
        cv::Mat1f soft;
        cv::GaussianBlur(hard, soft, cv::Size(3, 3), 0, 0, cv::BORDER_REPLICATE);

        out.width = imageSize.width();
        out.height = imageSize.height();
        out.values.resize(static_cast<size_t>(out.width) * static_cast<size_t>(out.height));
        cv::Mat1f target(out.height, out.width, out.values.data());
        if (soft.size() == target.size())
            soft.copyTo(target);
        else
            cv::resize(soft, target, target.size(), 0, 0, cv::INTER_LINEAR);
        return out;
    }

private:
    QSize size_;
    std::vector<uint8_t> labels_;
    std::vector<int> instances_;
};

// The image as three BGR channels, reduced so that its longer side is at most maxSide.
cv::Mat3b segmentationImage(const QImage& image, int maxSide)
{
    QImage rgba = image;
    int code = cv::COLOR_RGBA2BGR;
    switch (image.format()) {
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGB32:
        code = cv::COLOR_BGRA2BGR; // little-endian memory order B, G, R, A
        break;
    case QImage::Format_RGBA8888:
    case QImage::Format_RGBA8888_Premultiplied:
    case QImage::Format_RGBX8888:
        break;
    default:
        rgba = image.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
        break;
    }
    if (rgba.isNull())
        throw TarnwickError::message(QString::fromUtf8(analysisFailed));
    const cv::Mat wrapped(rgba.height(), rgba.width(), CV_8UC4, const_cast<uchar*>(rgba.constBits()),
                          static_cast<size_t>(rgba.bytesPerLine()));
    const double scale = std::min(1.0, static_cast<double>(maxSide) / std::max(rgba.width(), rgba.height()));
    cv::Mat reduced = wrapped;
    if (scale < 1.0) {
        const cv::Size size(std::max(1, static_cast<int>(std::lround(rgba.width() * scale))),
                            std::max(1, static_cast<int>(std::lround(rgba.height() * scale))));
        cv::resize(wrapped, reduced, size, 0, 0, cv::INTER_AREA);
    }
    cv::Mat3b bgr;
    cv::cvtColor(reduced, bgr, code);
    return bgr;
}

// Sure background: every region of near-uniform colour that touches the border.
// Each border pixel not yet covered grows the region of colours close to its own.
cv::Mat1b borderBackground(const cv::Mat3b& image, int tolerance)
{
    cv::Mat1b flood = cv::Mat1b::zeros(image.rows + 2, image.cols + 2);
    const cv::Scalar diff(tolerance, tolerance, tolerance);
    const int flags = 4 | cv::FLOODFILL_FIXED_RANGE | cv::FLOODFILL_MASK_ONLY | (1 << 8);
    auto seed = [&](int x, int y) {
        if (flood(y + 1, x + 1) == 0)
            cv::floodFill(image, flood, cv::Point(x, y), cv::Scalar(), nullptr, diff, diff, flags);
    };
    for (int x = 0; x < image.cols; ++x) {
        seed(x, 0);
        seed(x, image.rows - 1);
    }
    for (int y = 0; y < image.rows; ++y) {
        seed(0, y);
        seed(image.cols - 1, y);
    }
    return flood(cv::Rect(1, 1, image.cols, image.rows)).clone();
}

// Sets the thread's generator to a fixed state for one call and gives the old state back.
class SeededRandom {
public:
    SeededRandom() : saved_(cv::theRNG().state) { cv::theRNG().state = 0x9e3779b97f4a7c15ULL; }
    ~SeededRandom() { cv::theRNG().state = saved_; }
    SeededRandom(const SeededRandom&) = delete;
    SeededRandom& operator=(const SeededRandom&) = delete;

private:
    uint64 saved_;
};

} // namespace

const ForegroundSegmenter& ForegroundSegmenter::standard()
{
    // Never destroyed: a removal still running on its queue at exit may use it.
    static const auto* segmenter = new GrabCutSegmenter;
    return *segmenter;
}

std::unique_ptr<ForegroundObservation> GrabCutSegmenter::perform(const QImage& image) const
{
    if (image.isNull() || image.width() < 1 || image.height() < 1)
        throw TarnwickError::message(QString::fromUtf8(analysisFailed));
    try {
        const cv::Mat3b small = segmentationImage(image, std::max(1, settings_.maxSide));
        const cv::Mat1b background = borderBackground(small, settings_.colorTolerance);

        cv::Mat1b trimap(small.size(), static_cast<uchar>(cv::GC_PR_FGD));
        trimap.setTo(cv::GC_BGD, background);
        const int unknown = cv::countNonZero(trimap == cv::GC_PR_FGD);
        if (unknown == 0)
            return nullptr;

        // GrabCut models each side with five colour clusters; a handful of
        // pixels cannot carry that, and is foreground as it stands.
        if (unknown >= 64 && settings_.iterations > 0) {
            // GrabCut starts its colour clusters from the thread's random generator; a
            // fixed start makes the same picture give the same objects every time, so
            // the output matches what the canvas showed.
            SeededRandom seeded;
            cv::Mat bgModel, fgModel;
            cv::grabCut(small, trimap, cv::Rect(), bgModel, fgModel, settings_.iterations, cv::GC_INIT_WITH_MASK);
        }
        const cv::Mat1b foreground = (trimap == cv::GC_FGD) | (trimap == cv::GC_PR_FGD);

        cv::Mat1i components;
        cv::Mat1i stats;
        cv::Mat centroids;
        const int count = cv::connectedComponentsWithStats(foreground, components, stats, centroids, 8, CV_32S);
        const double minArea = std::max(1.0, settings_.minInstanceShare * small.rows * small.cols);
        std::vector<int> kept;
        for (int c = 1; c < count; ++c)
            if (stats(c, cv::CC_STAT_AREA) >= minArea)
                kept.push_back(c);
        if (kept.empty())
            return nullptr;
        // A label map holds at most 255 instances: the largest win, then raster order again.
        if (kept.size() > 255) {
            std::stable_sort(kept.begin(), kept.end(), [&](int a, int b) {
                return stats(a, cv::CC_STAT_AREA) > stats(b, cv::CC_STAT_AREA);
            });
            kept.resize(255);
            std::sort(kept.begin(), kept.end());
        }
        std::vector<uint8_t> relabel(static_cast<size_t>(count), 0);
        std::vector<int> instances;
        for (size_t i = 0; i < kept.size(); ++i) {
            relabel[static_cast<size_t>(kept[i])] = static_cast<uint8_t>(i + 1);
            instances.push_back(static_cast<int>(i + 1));
        }
        cv::Mat1b labels(components.size());
        for (int y = 0; y < labels.rows; ++y)
            for (int x = 0; x < labels.cols; ++x)
                labels(y, x) = relabel[static_cast<size_t>(components(y, x))];
        return std::make_unique<GrabCutObservation>(labels, std::move(instances));
    } catch (const cv::Exception&) {
        throw TarnwickError::message(QString::fromUtf8(analysisFailed));
    } catch (const std::bad_alloc&) {
        throw TarnwickError::message(QString::fromUtf8(analysisFailed));
    }
}

} // namespace tarnwick
