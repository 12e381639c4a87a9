#pragma once

#include "recording/review/VideoBlurRegion.h"

#include <QImage>
#include <vector>

namespace tarnwick::review::VideoBlurRendering {

// The frame at `time` with every region active then (start <= time < end)
// blurred, in list order over the running output, the blur taken from the
// whole frame with its edges repeated outward. The preview and the export both
// draw through this, so what is seen is what is saved. Any thread. A region that cannot be
// blurred (the effects module missing, no memory) throws TarnwickError with the reason:
// a frame never goes on sharp where it was to be blurred.
QImage image(const QImage& frame, double time, const std::vector<VideoBlurRegion>& regions);

} // namespace tarnwick::review::VideoBlurRendering
