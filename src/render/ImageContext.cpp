#include "render/ImageContext.h"

#include <opencv2/core/ocl.hpp>

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
    const bool previous = cv::ocl::useOpenCL();
    cv::ocl::setUseOpenCL(!software_ && cv::ocl::haveOpenCL());
    QImage image;
    try {
        image = renderer(*this);
    } catch (...) {
        cv::ocl::setUseOpenCL(previous);
        throw;
    }
    cv::ocl::setUseOpenCL(previous);
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
