#include "platform/ImageScale.h"

#include <QImage>
#include <cmath>

namespace tarnwick::platform {

namespace {
constexpr double metresPerInch = 0.0254;
constexpr double pointsPerInch = 72;
} // namespace

int dotsPerMeter(double pixelsPerPoint)
{
    return int(std::lround(pointsPerInch * pixelsPerPoint / metresPerInch));
}

double pixelsPerPoint(double dotsPerMeter)
{
    return std::round(dotsPerMeter * metresPerInch / pointsPerInch * 1000) / 1000;
}

void setPixelsPerPoint(QImage& image, double pixelsPerPoint)
{
    image.setDotsPerMeterX(dotsPerMeter(pixelsPerPoint));
    image.setDotsPerMeterY(dotsPerMeter(pixelsPerPoint));
}

} // namespace tarnwick::platform
