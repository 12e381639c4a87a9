#pragma once

#include <QImage>
#include <QRect>
#include <functional>

// The effects module's own functions behind the table it hands the program.
namespace tarnwick::effects {

QImage blurredRegion(const QImage& image, const QRect& bounds, const QRect& region, double sigma);
void blurInPlace(QImage& image, double sigma);
bool useOpenCL(bool wanted);
QImage removeBackground(const QImage& image, const std::function<bool()>& isCancelled);

} // namespace tarnwick::effects
