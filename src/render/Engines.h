#pragma once

#include "render/BlurEffect.h"

#include <QImage>
#include <QRect>
#include <QRectF>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace tarnwick {

// What the shot's effects ask of OpenCV. The module that links it comes in on the first
// effect (a blur, a pixelation, an erased object, a removed background, a badge's shadow).
struct EffectsEngine {
    // `sigma` within [0, 512]; the other checks are the caller's.
    QImage (*blurredRegion)(const QImage& image, const QRect& bounds, const QRect& region, double sigma);
    // A Gaussian blur of a premultiplied image in place, transparent beyond its edges.
    void (*blurInPlace)(QImage& image, double sigma);
    // Switches OpenCL for the calling thread's image work; returns the previous setting.
    bool (*useOpenCL)(bool wanted);
    BlurEffect (*removeObject)(const QImage& image, const QRectF& rect, const std::function<bool()>& isCancelled);
    BlurEffect (*pixelateObject)(const QImage& image, const QRectF& rect, double block,
                                 const std::function<bool()>& isCancelled);
    QImage (*removeBackground)(const QImage& image, const std::function<bool()>& isCancelled);
};

// What text capture, the QR reader and the text blur ask of Tesseract and ZXing.
struct RecognitionEngine {
    std::optional<QString> (*recognizeText)(const QImage& image);
    std::optional<QString> (*recognizeCode)(const QImage& image);
    std::vector<QRectF> (*wordRegions)(const QImage& image, const QRect& rect, const std::function<bool()>& isCancelled);
};

// Load the module on the first call; throw TarnwickError when it cannot be loaded.
const EffectsEngine& effectsEngine();
const RecognitionEngine& recognitionEngine();

inline constexpr const char* effectsLibrary = "libtarnwick_effects.so";
inline constexpr const char* recognitionLibrary = "libtarnwick_recognition.so";

} // namespace tarnwick
