#pragma once

#include "render/BlurEffect.h"
#include "series/Annotation.h"

#include <QImage>
#include <QObject>
#include <QPointF>
#include <QSizeF>
#include <QString>
#include <QUuid>
#include <QVector>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

namespace tarnwick {

namespace platform {
class SerialQueue;
}

class ScreenshotEffects;
class EffectsNotifier;

// The effect stack of one annotation list: computes each blur over what lies
// beneath it. A stack engine hands it every request; it is given the engine as
// its owner and a callback that tells the engine's observers about progress.
class OrderedLayerEffects {
public:
    virtual ~OrderedLayerEffects() = default;

    // Called once, by the engine that carries the stack. `owner` is held weakly;
    // `changed` runs the owner's observers and does nothing once the owner is gone.
    virtual void attach(std::weak_ptr<ScreenshotEffects> owner, std::function<void()> changed) = 0;
    virtual void prepare(const QVector<Annotation>& annotations) = 0;
    // Computes what is missing; throws the effect's failure.
    virtual BlurEffect effect(const Annotation& annotation) = 0;
    // The result without waiting for background work; nothing while it is pending.
    virtual std::optional<EffectResult> cached(const Annotation& annotation) = 0;
    // Where one blur stands for the readiness summary: nothing while pending, else
    // its outcome. Errors met on the way are recorded by the stack.
    virtual std::optional<EffectResult> readiness(const Annotation& annotation) = 0;
};

// What the editor shows about a list of blurs.
struct EffectReadiness {
    bool pending = false;
    bool failed = false;
    std::optional<QString> message;
    friend bool operator==(const EffectReadiness&, const EffectReadiness&) = default;
};

// The effect engine of one image: computes the results of blur elements and keeps
// them under keys made of the mode and the pixel rectangle. Made, asked and
// destroyed on the GUI thread; the modes other than area run one job at a time on
// the "com.tarnwick.image-effects" queue, and observers hear on the GUI thread
// when a job ends.
class ScreenshotEffects final : public EffectLookup, public std::enable_shared_from_this<ScreenshotEffects> {
    struct Token {};

public:
    // `size` is the frame's pixel size and `origin` where the image sits in the
    // shot; `referenceSize` is the whole shot's pixel size. With `ordered` the
    // engine is a stack engine and forwards to it.
    static std::shared_ptr<ScreenshotEffects> create(QImage image, QSizeF size, QPointF origin, QSizeF referenceSize,
                                                     std::shared_ptr<OrderedLayerEffects> ordered = nullptr);
    ScreenshotEffects(Token, QImage image, QSizeF size, QPointF origin, QSizeF referenceSize,
                      std::shared_ptr<OrderedLayerEffects> ordered);
    ~ScreenshotEffects() override;
    ScreenshotEffects(const ScreenshotEffects&) = delete;
    ScreenshotEffects& operator=(const ScreenshotEffects&) = delete;

    // Starts the background work for the list's blurs and drops results it no longer wants.
    void prepare(const QVector<Annotation>& annotations);
    EffectReadiness readiness(const QVector<Annotation>& annotations);
    // The effect, computed here when missing; throws its failure.
    BlurEffect effect(const Annotation& annotation);
    std::optional<EffectResult> cached(const Annotation& annotation) override;
    // The result stored under the element's key in this engine itself, never
    // forwarded and never computed.
    std::optional<EffectResult> storedResult(const Annotation& annotation) const;

    // The mode and the element's integral rectangle within the frame, e.g. "area:10.0:20.0:101.0:50.0".
    QString key(const Annotation& annotation) const;
    // A number as the keys print it: shortest round-trip form, at least one fractional digit.
    static QString keyNumber(double value);

    // Callbacks run on the GUI thread after each job ended, in no particular order.
    void setObserver(const QUuid& id, std::function<void()> callback);
    void removeObserver(const QUuid& id);

    const std::shared_ptr<OrderedLayerEffects>& ordered() const { return ordered_; }
    const QImage& image() const { return image_; }
    QSizeF size() const { return size_; }
    QPointF origin() const { return origin_; }
    QSizeF styleSize() const { return styleSize_; }

private:
    static platform::SerialQueue& queue();

    // What the background jobs share with the engine; they hold it weakly.
    struct Shared {
        std::mutex lock;
        std::map<QString, EffectResult> results;
        std::set<QString> pending;
        std::set<QString> wanted;
        EffectsNotifier* notifier = nullptr; // cleared under the lock when the engine goes
    };

    QImage sourceImage();
    void notifyObservers();

    const std::shared_ptr<OrderedLayerEffects> ordered_;
    const QImage image_;
    const QSizeF size_;
    const QPointF origin_;
    const QSizeF styleSize_;
    std::shared_ptr<Shared> shared_;
    EffectsNotifier* notifier_ = nullptr; // receives the job-end deliveries on this engine's thread
    std::mutex sourceLock_;
    QImage source_;
    std::map<QUuid, std::function<void()>> observers_;
};

} // namespace tarnwick
