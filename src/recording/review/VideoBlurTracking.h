#pragma once

#include "recording/review/VideoBlurRegion.h"

#include <QString>
#include <functional>
#include <stop_token>

namespace tarnwick::review::VideoBlurTracking {

// One line each time a run loses the target.
using Diagnostic = std::function<void(double time, const QString& message)>;
// Fractions in [0, 0.99] while tracking, never decreasing, exactly 1 at the end.
// Both callbacks come from the calling thread or a worker `track` runs beside it, one call at a time.
using Progress = std::function<void(double fraction)>;

// Fills the time between the region's manual keys (and towards its ends) with
// tracked keys and lost intervals. Blocks the calling thread for the whole job.
// Throws CancellationError when `cancel` is requested, TarnwickError
// when the recording cannot be read; never returns a partial result.
VideoBlurRegion track(const QString& source, const VideoBlurRegion& region, const Diagnostic& diagnostic,
                      const Progress& progress, std::stop_token cancel = {});

} // namespace tarnwick::review::VideoBlurTracking
