#pragma once

#include "render/LocalEffects.h"
#include "series/Annotation.h"
#include "series/TarnwickError.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QThread>
#include <cstdint>
#include <functional>
#include <opencv2/imgproc.hpp>
#include <random>

namespace tarnwick::testing {

// Restores the process-wide effect hooks when a test ends.
class HookScope {
public:
    explicit HookScope(LocalEffectHooks hooks = {}) : saved_(localEffectHooks()) { setLocalEffectHooks(std::move(hooks)); }
    ~HookScope() { setLocalEffectHooks(saved_); }
    HookScope(const HookScope&) = delete;
    HookScope& operator=(const HookScope&) = delete;

private:
    LocalEffectHooks saved_;
};

inline Annotation blurElement(BlurMode mode, const QRectF& rect)
{
    Annotation a;
    a.id = QUuid::createUuid();
    a.kind = AnnotationTool::blur;
    a.blurMode = mode;
    a.start = rect.topLeft();
    a.end = rect.bottomRight();
    return a;
}

// A picture with hard edges and noise in every channel, opaque.
inline QImage busyImage(int w, int h, unsigned seed = 7)
{
    std::mt19937 rng(seed);
    QImage image(w, h, QImage::Format_RGBA8888_Premultiplied);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = image.scanLine(y);
        for (int x = 0; x < w; ++x) {
            const int v = ((x / 37 + y / 23) % 2) * 255;
            row[4 * x] = static_cast<std::uint8_t>(v);
            row[4 * x + 1] = static_cast<std::uint8_t>(rng() % 256);
            row[4 * x + 2] = static_cast<std::uint8_t>(255 - v);
            row[4 * x + 3] = 255;
        }
    }
    return image;
}

inline QImage flatImage(int w, int h, std::array<std::uint8_t, 4> colour)
{
    QImage image(w, h, QImage::Format_RGBA8888_Premultiplied);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            std::copy(colour.begin(), colour.end(), image.scanLine(y) + 4 * x);
    return image;
}

inline const std::uint8_t* pixel(const QImage& image, int x, int y) { return image.constScanLine(y) + 4 * x; }

// The reference: a true Gaussian over the whole image, edges repeated, in floating point.
inline cv::Mat referenceGaussian(const QImage& image, double sigma)
{
    cv::Mat wrapped(image.height(), image.width(), CV_8UC4, const_cast<uchar*>(image.constBits()),
                    static_cast<size_t>(image.bytesPerLine()));
    cv::Mat source, blurred;
    wrapped.convertTo(source, CV_32F);
    const int k = 2 * static_cast<int>(std::ceil(4 * sigma)) + 1;
    cv::GaussianBlur(source, blurred, cv::Size(k, k), sigma, sigma, cv::BORDER_REPLICATE);
    return blurred;
}

inline QString errorText(const std::function<void()>& f)
{
    try {
        f();
    } catch (const TarnwickError& e) {
        return e.errorDescription();
    }
    return QString();
}

// Runs the GUI thread's events until the condition holds or the time is up.
inline bool waitUntil(const std::function<bool()>& condition, int milliseconds = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > milliseconds)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

} // namespace tarnwick::testing
