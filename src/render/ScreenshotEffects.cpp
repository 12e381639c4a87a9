#include "render/ScreenshotEffects.h"

#include "platform/MainThread.h"
#include "platform/SerialQueue.h"
#include "render/LocalEffects.h"
#include "series/Geometry.h"
#include "platform/TarnwickError.h"

#include <QCoreApplication>
#include <QPainter>
#include <charconv>
#include <cmath>
#include <limits>

namespace tarnwick {

// Receives the deliveries of finished jobs. It outlives its engine by a little
// (it is deleted later), so a delivery already queued finds `engine` cleared.
class EffectsNotifier : public QObject {
public:
    ScreenshotEffects* engine = nullptr;
};

namespace {

QString describe(const std::exception_ptr& error)
{
    return errorSentence(error, QStringLiteral("Не удалось обработать область. Попробуйте другой режим."));
}

// The effect of an element given in shot coordinates, computed on an image that
// sits at `origin`, with its rectangle moved back into shot coordinates.
BlurEffect computeAt(const Annotation& annotation, const QImage& source, QPointF origin, QSizeF size,
                     QSizeF styleSize, const CancellationTest& isCancelled)
{
    const Annotation local = annotation.translated(QSizeF(-origin.x(), -origin.y()));
    BlurEffect effect = computeLocal(local, source, size, styleSize, isCancelled);
    effect.rect.translate(origin);
    return effect;
}

int truncated(double v)
{
    if (!std::isfinite(v) || v <= 0)
        return 0;
    return static_cast<int>(std::min(v, static_cast<double>(std::numeric_limits<int>::max())));
}

} // namespace

std::shared_ptr<ScreenshotEffects> ScreenshotEffects::create(QImage image, QSizeF size, QPointF origin,
                                                             QSizeF referenceSize,
                                                             std::shared_ptr<OrderedLayerEffects> ordered)
{
    auto engine = std::make_shared<ScreenshotEffects>(Token{}, std::move(image), size, origin, referenceSize,
                                                      std::move(ordered));
    if (engine->ordered_) {
        std::weak_ptr<ScreenshotEffects> weak = engine;
        engine->ordered_->attach(weak, [weak] {
            if (auto alive = weak.lock())
                alive->notifyObservers();
        });
    }
    return engine;
}

ScreenshotEffects::ScreenshotEffects(Token, QImage image, QSizeF size, QPointF origin, QSizeF referenceSize,
                                     std::shared_ptr<OrderedLayerEffects> ordered)
    : ordered_(std::move(ordered)),
      image_(std::move(image)),
      size_(size),
      origin_(origin),
      styleSize_(referenceSize),
      shared_(std::make_shared<Shared>()),
      notifier_(new EffectsNotifier)
{
    notifier_->engine = this;
    shared_->notifier = notifier_;
}

ScreenshotEffects::~ScreenshotEffects()
{
    {
        std::lock_guard guard(shared_->lock);
        shared_->notifier = nullptr;
        // Nothing is wanted any more, so a running job stops at its next cancellation test.
        shared_->wanted.clear();
    }
    notifier_->engine = nullptr;
    // This may run inside a delivery to the notifier itself.
    if (QCoreApplication::instance())
        notifier_->deleteLater();
    else
        delete notifier_;
}

platform::SerialQueue& ScreenshotEffects::queue()
{
    // What the jobs use is built first, so it outlives the queue that waits for them at exit.
    localEffectHooks();
    static platform::SerialQueue queue("com.tarnwick.image-effects");
    return queue;
}

QString ScreenshotEffects::keyNumber(double value)
{
    if (std::isnan(value))
        return QStringLiteral("nan");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("inf") : QStringLiteral("-inf");
    char buffer[64];
    // Plain digits below 2^53, like the rest of the program prints doubles; exponent form beyond.
    const auto format = std::fabs(value) < 9007199254740992.0 ? std::chars_format::fixed : std::chars_format::scientific;
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, format);
    QString text = error == std::errc() ? QString::fromLatin1(buffer, end - buffer) : QString::number(value, 'g', 17);
    if (!text.contains(u'.') && !text.contains(u'e'))
        text += QStringLiteral(".0");
    return text;
}

QString ScreenshotEffects::key(const Annotation& annotation) const
{
    const QRectF r = geo::intersection(geo::integral(annotation.rect()), QRectF(origin_, size_));
    return rawString(annotation.blurMode) + u':' + keyNumber(r.x()) + u':' + keyNumber(r.y()) + u':'
        + keyNumber(r.width()) + u':' + keyNumber(r.height());
}

QImage ScreenshotEffects::sourceImage()
{
    std::lock_guard guard(sourceLock_);
    if (!source_.isNull())
        return source_;
    if (image_.isNull())
        throw TarnwickError::message(QStringLiteral("Не удалось прочитать пиксели снимка."));
    const int w = truncated(size_.width()), h = truncated(size_.height());
    QImage source;
    if (image_.width() == w && image_.height() == h) {
        source = effectFormat(image_);
    } else {
        source = effectContext(w, h);
        QPainter painter(&source);
        if (painter.isActive()) {
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(QRectF(0, 0, size_.width(), size_.height()), image_);
            painter.end();
        } else {
            source = QImage();
        }
    }
    if (source.isNull())
        throw TarnwickError::message(QStringLiteral("Не удалось подготовить область."));
    source_ = source;
    return source_;
}

void ScreenshotEffects::prepare(const QVector<Annotation>& annotations)
{
    if (ordered_) {
        ordered_->prepare(annotations);
        return;
    }
    QVector<Annotation> blurs;
    QVector<QString> keys;
    for (const Annotation& a : annotations) {
        if (a.kind == AnnotationTool::blur && a.blurMode != BlurMode::area) {
            blurs.push_back(a);
            keys.push_back(key(a));
        }
    }
    {
        std::lock_guard guard(shared_->lock);
        shared_->wanted = std::set<QString>(keys.begin(), keys.end());
        std::erase_if(shared_->results, [&](const auto& entry) { return !shared_->wanted.contains(entry.first); });
    }

    for (qsizetype i = 0; i < blurs.size(); ++i) {
        const QString k = keys[i];
        {
            std::lock_guard guard(shared_->lock);
            if (shared_->results.contains(k) || shared_->pending.contains(k))
                continue;
            shared_->pending.insert(k);
        }
        QImage source;
        std::exception_ptr sourceError;
        try {
            source = sourceImage();
        } catch (...) {
            sourceError = std::current_exception();
        }

        std::weak_ptr<Shared> weak = shared_;
        queue().async([weak, k, source, sourceError, element = blurs[i], origin = origin_, size = size_,
                       style = styleSize_] {
            const std::shared_ptr<Shared> shared = weak.lock();
            if (!shared)
                return;
            auto stillWanted = [&] {
                std::lock_guard guard(shared->lock);
                return shared->wanted.contains(k);
            };
            try {
                if (stillWanted()) {
                    std::optional<EffectResult> result;
                    if (sourceError) {
                        result = EffectResult::failure(sourceError);
                    } else {
                        try {
                            result = EffectResult::success(
                                computeAt(element, source, origin, size, style, [&] { return !stillWanted(); }));
                        } catch (const CancellationError&) {
                            // Nothing is stored; the next prepare that wants the key schedules it again.
                        } catch (...) {
                            result = EffectResult::failure(std::current_exception());
                        }
                    }
                    std::lock_guard guard(shared->lock);
                    if (result && shared->wanted.contains(k))
                        shared->results.insert_or_assign(k, *result);
                }
            } catch (...) {
                // Running out of memory around the work itself must not end the worker thread.
            }
            std::lock_guard guard(shared->lock);
            shared->pending.erase(k);
            if (EffectsNotifier* notifier = shared->notifier) {
                platform::deliver(notifier, [notifier] {
                    if (notifier->engine)
                        notifier->engine->notifyObservers();
                });
            }
        });
    }
}

void ScreenshotEffects::notifyObservers()
{
    // An observer may drop the last reference to this engine; finish the round first.
    const auto keep = weak_from_this().lock();
    const auto callbacks = observers_;
    for (const auto& [id, callback] : callbacks) {
        if (callback)
            callback();
    }
}

void ScreenshotEffects::setObserver(const QUuid& id, std::function<void()> callback)
{
    observers_[id] = std::move(callback);
}

void ScreenshotEffects::removeObserver(const QUuid& id)
{
    observers_.erase(id);
}

std::optional<EffectResult> ScreenshotEffects::storedResult(const Annotation& annotation) const
{
    const QString k = key(annotation);
    std::lock_guard guard(shared_->lock);
    auto found = shared_->results.find(k);
    if (found == shared_->results.end())
        return std::nullopt;
    return found->second;
}

std::optional<EffectResult> ScreenshotEffects::cached(const Annotation& annotation)
{
    if (ordered_)
        return ordered_->cached(annotation);
    return storedResult(annotation);
}

BlurEffect ScreenshotEffects::effect(const Annotation& annotation)
{
    if (ordered_)
        return ordered_->effect(annotation);
    if (auto stored = storedResult(annotation))
        return stored->get();

    std::optional<EffectResult> result;
    try {
        const QImage source = sourceImage();
        result = EffectResult::success(computeAt(annotation, source, origin_, size_, styleSize_, [] { return false; }));
    } catch (const CancellationError&) {
        throw;
    } catch (...) {
        result = EffectResult::failure(std::current_exception());
    }
    {
        std::lock_guard guard(shared_->lock);
        shared_->results.insert_or_assign(key(annotation), *result);
    }
    return result->get();
}

EffectReadiness ScreenshotEffects::readiness(const QVector<Annotation>& annotations)
{
    bool pendingSeen = false, failedSeen = false;
    std::optional<QString> note;
    for (const Annotation& a : annotations) {
        if (a.kind != AnnotationTool::blur)
            continue;
        const std::optional<EffectResult> state = ordered_ ? ordered_->readiness(a) : storedResult(a);
        if (!state) {
            pendingSeen = true;
        } else if (!state->ok()) {
            failedSeen = true;
            note = describe(state->error());
        } else if (state->value().message) {
            note = state->value().message;
        }
    }
    if (pendingSeen)
        return EffectReadiness{true, failedSeen, QStringLiteral("Обрабатываю выделенную область…")};
    return EffectReadiness{false, failedSeen, note};
}

} // namespace tarnwick
