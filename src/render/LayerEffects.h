#pragma once

#include "render/ScreenshotEffects.h"
#include "series/Annotation.h"

#include <QImage>
#include <QRectF>
#include <QSizeF>
#include <QUuid>
#include <QVector>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace tarnwick {

// The engines that compute blurs over the rendering of the elements below them,
// keyed by those elements and the frame. Shared by every effect stack of one
// composition, so editing the top blur reuses the underlays beneath it. A short
// list ordered by recency: a hit moves to the end, the oldest goes when full.
class LayerUnderlayCache {
public:
    static constexpr std::size_t capacity = 8;

    // The engine of exactly this prefix (same length, every element equal) and
    // frame; otherwise `make` renders the underlay and a new engine is kept. An
    // error from `make` passes through and nothing is kept.
    std::shared_ptr<ScreenshotEffects> engine(const QVector<Annotation>& prefix, const QRectF& frame,
                                              const std::function<QImage()>& make, QSizeF size);
    std::size_t size() const { return entries_.size(); }

private:
    struct Entry {
        QVector<Annotation> prefix;
        QRectF frame;
        std::shared_ptr<ScreenshotEffects> engine;
    };
    std::deque<Entry> entries_;
};

// The effect stack of one annotation list inside one frame: every blur is
// computed by an underlay engine over the scene background with everything
// before it drawn on top, lower blurs with their results. For the canvas the
// blurs finish one after the other, bottom up: a lower blur's result arriving
// prepares the next one. Output rendering computes the whole chain at once.
// GUI thread only.
class LayerEffectStack final : public OrderedLayerEffects, public std::enable_shared_from_this<LayerEffectStack> {
public:
    // `annotations`: the elements through the topmost blur, comments removed.
    // `size`: the shot's pixel size. The stack starts inactive.
    LayerEffectStack(QImage image, QSizeF size, QRectF frame, QVector<Annotation> annotations,
                     std::shared_ptr<LayerUnderlayCache> cache);
    ~LayerEffectStack() override;
    LayerEffectStack(const LayerEffectStack&) = delete;
    LayerEffectStack& operator=(const LayerEffectStack&) = delete;

    void attach(std::weak_ptr<ScreenshotEffects> owner, std::function<void()> changed) override;
    // Starts the lowest blurs of the list that can start; does nothing while inactive.
    void prepare(const QVector<Annotation>& annotations) override;
    BlurEffect effect(const Annotation& annotation) override;
    std::optional<EffectResult> cached(const Annotation& annotation) override;
    std::optional<EffectResult> readiness(const Annotation& annotation) override;

    // The underlay engine of a blur. Nothing while a lower blur's result is still
    // missing (never when synchronous: then lower blurs are computed here).
    std::shared_ptr<ScreenshotEffects> engine(const Annotation& annotation, bool synchronous);

    // An inactive stack keeps its engines and results but ignores prepare and
    // stops listening to its engines.
    void setActive(bool active);
    bool active() const { return active_; }

    // The error met for a blur while its engine was made or it was computed here.
    std::exception_ptr preparationError(const QUuid& id) const;
    const QVector<Annotation>& annotations() const { return annotations_; }
    const QRectF& frame() const { return frame_; }

private:
    QVector<Annotation> prefix(const Annotation& annotation) const;
    QImage renderUnderlay(const QVector<Annotation>& prefix);
    void observe(ScreenshotEffects& engine);
    void record(const QUuid& id, std::exception_ptr error);
    // Gives a failure recorded for the element, if any.
    std::optional<EffectResult> recorded(const Annotation& annotation) const;

    const QImage image_;
    const QSizeF size_;
    const QRectF frame_;
    const QVector<Annotation> annotations_;
    const std::shared_ptr<LayerUnderlayCache> cache_;
    const QUuid observerID_;
    std::map<QUuid, std::shared_ptr<ScreenshotEffects>> engines_;
    std::map<QUuid, std::exception_ptr> preparationErrors_;
    QVector<Annotation> wanted_;
    bool active_ = false;
    std::function<void()> changed_;
    std::weak_ptr<ScreenshotEffects> owner_;
};

} // namespace tarnwick
