#pragma once

#include <QImage>
#include <functional>
#include <optional>

namespace tarnwick {

// Where an image effect is rendered. The primary context lets OpenCV use its
// accelerated paths (OpenCL where a device exists); the software context keeps
// everything on the CPU. An effect is rendered on the primary context and, when
// that yields no image, once more on the software one; only a second failure is
// an error.
class ImageContext {
public:
    static const ImageContext& primary();
    static const ImageContext& software();

    bool usesSoftwareRenderer() const { return software_; }

    // Runs the renderer with this context active on the calling thread.
    QImage render(const std::function<QImage(const ImageContext&)>& renderer) const;

    // The primary, then the software context; no value when both yield a null image.
    static std::optional<QImage> renderWithFallback(const std::function<QImage(const ImageContext&)>& renderer);

private:
    explicit ImageContext(bool software) : software_(software) {}
    bool software_;
};

} // namespace tarnwick
