#pragma once

#include "series/Annotation.h"

#include <QImage>
#include <QRectF>
#include <QString>
#include <exception>
#include <optional>
#include <utility>

namespace tarnwick {

// One computed effect: the processed pixels of an area and where they go, in the
// coordinates of the frame the engine was made for, with an optional notice.
struct BlurEffect {
    QImage image;
    QRectF rect;
    std::optional<QString> message;
};

// A stored outcome of an effect: the effect, or the error its computation threw.
class EffectResult {
public:
    static EffectResult success(BlurEffect effect) { return EffectResult(std::move(effect), nullptr); }
    static EffectResult failure(std::exception_ptr error) { return EffectResult(std::nullopt, std::move(error)); }

    bool ok() const { return effect_.has_value(); }
    const BlurEffect& value() const { return *effect_; }
    std::exception_ptr error() const { return error_; }
    // The value, or the stored error thrown again.
    const BlurEffect& get() const
    {
        if (!effect_)
            std::rethrow_exception(error_);
        return *effect_;
    }

private:
    EffectResult(std::optional<BlurEffect> effect, std::exception_ptr error)
        : effect_(std::move(effect)), error_(std::move(error)) {}
    std::optional<BlurEffect> effect_;
    std::exception_ptr error_;
};

// What drawing asks of an effect engine: the stored result of a blur element, or
// nothing while it is still pending. Never blocks on background work.
class EffectLookup {
public:
    virtual ~EffectLookup() = default;
    virtual std::optional<EffectResult> cached(const Annotation& annotation) = 0;
};

} // namespace tarnwick
