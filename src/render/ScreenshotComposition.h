#pragma once

#include "render/ScreenshotEffects.h"
#include "series/Annotation.h"

#include <QImage>
#include <QRectF>
#include <QSizeF>
#include <QVector>
#include <atomic>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <optional>

namespace tarnwick {

class LayerUnderlayCache;

// What a shot's composition hands to whoever draws it.
struct RenderScene {
    QImage image;      // the base image with the list's image layers, cut to the frame
    std::shared_ptr<ScreenshotEffects> effects; // serves the list's blurs
    QImage background; // the base image alone, cut to the frame
    std::exception_ptr error; // what stopped composing; then image and background are the plain base image
};

// The render cache of one shot, shared by the shot's copies and replaced, never
// changed, when its picture changes. It flattens image layers onto the base
// image, keeps one effect stack per list of elements up to the topmost blur, and
// remembers the latest scenes and stacks. Exactly one stack is active: the one
// of the scene handed out last. GUI thread only.
class ScreenshotComposition {
public:
    static constexpr std::size_t sceneCapacity = 2;
    static constexpr std::size_t stackCapacity = 4;

    // `image`: the picture to show (already rounded when the shot has rounded
    // corners); `size`: the shot's pixel size. `error` is reported by every scene:
    // it says the picture is not what the shot should show.
    ScreenshotComposition(QImage image, QSizeF size, std::exception_ptr error = nullptr);
    ~ScreenshotComposition();
    ScreenshotComposition(const ScreenshotComposition&) = delete;
    ScreenshotComposition& operator=(const ScreenshotComposition&) = delete;

    // The scene of an element list inside a frame (the whole image when absent).
    // Never throws: a failure travels in the scene's error.
    RenderScene scene(const QVector<Annotation>& annotations, const std::optional<QRectF>& frame = std::nullopt);

    // The image with only the four corners of `frame` (the whole image when
    // absent) cut round with `radius`; everything else, inside the frame or not,
    // is kept. Throws TarnwickError.
    static QImage roundedImage(const QImage& image, QSizeF size, double radius, const std::optional<QRectF>& frame);

    // The elements whose effects form one stack: everything through the topmost
    // blur, comments left out. Empty without a blur.
    static QVector<Annotation> stackKey(const QVector<Annotation>& annotations);

    QSizeF size() const { return size_; }
    const RenderScene& base() const { return base_; }
    std::shared_ptr<ScreenshotEffects> activeEffects() const { return activeEffects_.lock(); }
    std::size_t cachedScenes() const { return cached_.size(); }
    std::size_t cachedStacks() const { return stacks_.size(); }
    const LayerUnderlayCache& underlays() const { return *underlays_; }

    // How many bitmaps compositions have composed in this process (for tests and benchmarks).
    static long composeCount() { return composeCount_.load(); }

private:
    QImage compose(const QVector<Annotation>& layers, const QRectF& frame) const;

    struct Scene {
        QVector<Annotation> layers;
        QRectF frame;
        RenderScene scene;
    };
    struct Stack {
        QVector<Annotation> annotations;
        QRectF frame;
        std::shared_ptr<ScreenshotEffects> effects;
    };

    const RenderScene base_;
    const QSizeF size_;
    const std::exception_ptr baseError_;
    const std::shared_ptr<LayerUnderlayCache> underlays_;
    std::weak_ptr<ScreenshotEffects> activeEffects_;
    std::deque<Stack> stacks_;
    std::deque<Scene> cached_;

    static std::atomic<long> composeCount_;
};

// A cleared bitmap of Int(size.width) × Int(size.height) pixels; a null image when
// a side is under one pixel or not finite, or the memory cannot be had.
QImage canvasBitmap(QSizeF size, QImage::Format format);

} // namespace tarnwick
