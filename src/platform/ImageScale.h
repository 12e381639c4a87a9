#pragma once

class QImage;

namespace tarnwick::platform {

// How large a shot's pixels are, as PNG's pHYs chunk and QImage's dots per
// metre say it: 72 dots per inch is one pixel per point, 144 is two.
int dotsPerMeter(double pixelsPerPoint);
// Rounded to thousandths: a metre holds no whole number of inches, so 2.0
// goes out as 5669 dots per metre and would come back as 1.99993.
double pixelsPerPoint(double dotsPerMeter);
// Sets both axes of `image` for PNG writers.
void setPixelsPerPoint(QImage& image, double pixelsPerPoint);

} // namespace tarnwick::platform
