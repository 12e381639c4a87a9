#include "render/LayerEffects.h"

#include "render/ScreenshotComposition.h"
#include "render/ScreenshotRenderer.h"
#include "series/Geometry.h"
#include "platform/TarnwickError.h"

#include <QPainter>
#include <QSet>
#include <algorithm>

namespace tarnwick {

namespace {

using T = AnnotationTool;

TarnwickError noUnderlay() { return TarnwickError::message(QStringLiteral("Не удалось подготовить нижние слои изображения.")); }

} // namespace

std::shared_ptr<ScreenshotEffects> LayerUnderlayCache::engine(const QVector<Annotation>& prefix, const QRectF& frame,
                                                              const std::function<QImage()>& make, QSizeF size)
{
    auto hit = std::find_if(entries_.begin(), entries_.end(),
                            [&](const Entry& e) { return geo::same(e.frame, frame) && e.prefix == prefix; });
    if (hit != entries_.end()) {
        Entry entry = std::move(*hit);
        entries_.erase(hit);
        entries_.push_back(std::move(entry));
        return entries_.back().engine;
    }
    const QImage image = make();
    auto made = ScreenshotEffects::create(image, frame.size(), frame.topLeft(), size);
    entries_.push_back(Entry{prefix, frame, made});
    if (entries_.size() > capacity)
        entries_.pop_front();
    return made;
}

LayerEffectStack::LayerEffectStack(QImage image, QSizeF size, QRectF frame, QVector<Annotation> annotations,
                                   std::shared_ptr<LayerUnderlayCache> cache)
    : image_(std::move(image)),
      size_(size),
      frame_(frame),
      annotations_(std::move(annotations)),
      cache_(std::move(cache)),
      observerID_(QUuid::createUuid())
{
}

LayerEffectStack::~LayerEffectStack()
{
    for (const auto& [id, engine] : engines_)
        engine->removeObserver(observerID_);
}

void LayerEffectStack::attach(std::weak_ptr<ScreenshotEffects> owner, std::function<void()> changed)
{
    owner_ = std::move(owner);
    changed_ = std::move(changed);
}

QVector<Annotation> LayerEffectStack::prefix(const Annotation& annotation) const
{
    auto at = std::find_if(annotations_.begin(), annotations_.end(),
                           [&](const Annotation& a) { return a.id == annotation.id; });
    if (at == annotations_.end())
        return {};
    return QVector<Annotation>(annotations_.begin(), at);
}

std::exception_ptr LayerEffectStack::preparationError(const QUuid& id) const
{
    auto found = preparationErrors_.find(id);
    return found == preparationErrors_.end() ? nullptr : found->second;
}

void LayerEffectStack::record(const QUuid& id, std::exception_ptr error)
{
    preparationErrors_.insert_or_assign(id, std::move(error));
}

std::optional<EffectResult> LayerEffectStack::recorded(const Annotation& annotation) const
{
    if (std::exception_ptr error = preparationError(annotation.id))
        return EffectResult::failure(error);
    return std::nullopt;
}

std::shared_ptr<ScreenshotEffects> LayerEffectStack::engine(const Annotation& annotation, bool synchronous)
{
    if (auto found = engines_.find(annotation.id); found != engines_.end())
        return found->second;

    // The underlay shows the lower blurs with their results, so they come first.
    const QVector<Annotation> below = prefix(annotation);
    for (const Annotation& lower : below) {
        if (lower.kind != T::blur)
            continue;
        if (std::exception_ptr error = preparationError(lower.id))
            std::rethrow_exception(error);
        if (synchronous) {
            const std::shared_ptr<ScreenshotEffects> e = engine(lower, true);
            if (!e)
                throw noUnderlay();
            e->effect(lower);
            continue;
        }
        std::shared_ptr<ScreenshotEffects> e;
        try {
            e = engine(lower, false);
        } catch (...) {
            record(lower.id, std::current_exception());
            throw;
        }
        if (!e)
            return nullptr;
        if (lower.blurMode == BlurMode::area) {
            e->effect(lower);
            continue;
        }
        const std::optional<EffectResult> stored = e->cached(lower);
        if (!stored)
            return nullptr;
        if (!stored->ok())
            std::rethrow_exception(stored->error());
    }

    auto made = cache_->engine(below, frame_, [&] { return renderUnderlay(below); }, size_);
    engines_.insert_or_assign(annotation.id, made);
    if (active_)
        observe(*made);
    return made;
}

QImage LayerEffectStack::renderUnderlay(const QVector<Annotation>& prefix)
{
    // The bottom blur works on the scene background itself.
    if (prefix.isEmpty())
        return image_;

    // Lower blurs are drawn from this stack's results, all present by now.
    class Lookup final : public EffectLookup {
    public:
        explicit Lookup(LayerEffectStack& stack) : stack_(stack) {}
        std::optional<EffectResult> cached(const Annotation& annotation) override { return stack_.cached(annotation); }

    private:
        LayerEffectStack& stack_;
    } lookup(*this);

    // Drawn straight in the effect format, so the engine's source is this very bitmap.
    QImage bitmap = geo::isFinite(frame_) ? canvasBitmap(frame_.size(), QImage::Format_RGBA8888_Premultiplied) : QImage();
    if (bitmap.isNull())
        throw noUnderlay();
    QPainter painter(&bitmap);
    if (!painter.isActive())
        throw noUnderlay();
    painter.translate(-frame_.topLeft());
    ScreenshotRenderer::DrawArguments arguments;
    arguments.image = image_;
    arguments.size = size_;
    arguments.annotations = prefix;
    arguments.effects = &lookup;
    arguments.imageFrame = frame_;
    ScreenshotRenderer::draw(painter, arguments);
    painter.end();
    return bitmap;
}

BlurEffect LayerEffectStack::effect(const Annotation& annotation)
{
    if (auto failure = recorded(annotation))
        failure->get();
    const std::shared_ptr<ScreenshotEffects> e = engine(annotation, true);
    if (!e)
        throw noUnderlay();
    return e->effect(annotation);
}

std::optional<EffectResult> LayerEffectStack::cached(const Annotation& annotation)
{
    if (auto failure = recorded(annotation))
        return failure;
    std::shared_ptr<ScreenshotEffects> e;
    try {
        e = engine(annotation, false);
    } catch (...) {
        record(annotation.id, std::current_exception());
        return EffectResult::failure(std::current_exception());
    }
    if (!e)
        return std::nullopt;
    if (annotation.blurMode == BlurMode::area) {
        try {
            return EffectResult::success(e->effect(annotation));
        } catch (...) {
            return EffectResult::failure(std::current_exception());
        }
    }
    return e->cached(annotation);
}

std::optional<EffectResult> LayerEffectStack::readiness(const Annotation& annotation)
{
    return cached(annotation);
}

void LayerEffectStack::prepare(const QVector<Annotation>& annotations)
{
    if (!active_)
        return;
    wanted_ = annotations;

    QSet<QUuid> ids;
    for (const Annotation& a : annotations)
        ids.insert(a.id);
    qsizetype top = -1;
    for (qsizetype i = annotations_.size() - 1; i >= 0 && top < 0; --i)
        if (annotations_[i].kind == T::blur && ids.contains(annotations_[i].id))
            top = i;

    QSet<QUuid> walked;
    for (qsizetype i = 0; i <= top; ++i) {
        const Annotation& b = annotations_[i];
        // A repeated id would share its engine with the first one and cancel its job over and over.
        if (b.kind != T::blur || walked.contains(b.id))
            continue;
        walked.insert(b.id);
        std::shared_ptr<ScreenshotEffects> e;
        try {
            e = engine(b, false);
        } catch (...) {
            record(b.id, std::current_exception());
            continue;
        }
        // A lower blur is still being computed; its completion prepares again.
        if (!e)
            break;
        if (b.blurMode != BlurMode::area) {
            e->prepare({b});
            continue;
        }
        try {
            e->effect(b);
        } catch (...) {
            record(b.id, std::current_exception());
        }
    }
}

void LayerEffectStack::setActive(bool active)
{
    if (active == active_)
        return;
    active_ = active;
    for (const auto& [id, engine] : engines_) {
        if (active)
            observe(*engine);
        else
            engine->removeObserver(observerID_);
    }
}

void LayerEffectStack::observe(ScreenshotEffects& engine)
{
    engine.setObserver(observerID_, [weak = weak_from_this()] {
        const std::shared_ptr<LayerEffectStack> stack = weak.lock();
        if (!stack || !stack->active_)
            return;
        const QVector<Annotation> wanted = stack->wanted_;
        stack->prepare(wanted);
        if (stack->changed_)
            stack->changed_();
    });
}

} // namespace tarnwick
