#include "render/ImageContext.h"

#include "render/Engines.h"

namespace tarnwick {

const ImageContext& ImageContext::primary()
{
    static const ImageContext context(false);
    return context;
}

const ImageContext& ImageContext::software()
{
    static const ImageContext context(true);
    return context;
}

QImage ImageContext::render(const std::function<QImage(const ImageContext&)>& renderer) const
{
    // OpenCV keeps the OpenCL switch per thread, so contexts on other threads are unaffected.
    const EffectsEngine& engine = effectsEngine();
    const bool previous = engine.useOpenCL(!software_);
    QImage image;
    try {
        image = renderer(*this);
    } catch (...) {
        engine.useOpenCL(previous);
        throw;
    }
    engine.useOpenCL(previous);
    return image;
}

std::optional<QImage> ImageContext::renderWithFallback(const std::function<QImage(const ImageContext&)>& renderer)
{
    QImage image = primary().render(renderer);
    if (image.isNull())
        image = software().render(renderer);
    if (image.isNull())
        return std::nullopt;
    return image;
}

} // namespace tarnwick
