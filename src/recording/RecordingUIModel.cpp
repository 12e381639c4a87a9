#include "recording/RecordingUIModel.h"

#include <algorithm>
#include <cmath>

namespace tarnwick::recording {

RecordingUIModel::RecordingUIModel(const QSettings* preferences, QObject* parent)
    : QObject(parent), options_(RecordingOptions::fromPreferences(preferences))
{
}

const review::VideoBlurRegion* RecordingUIModel::selectedBlur() const
{
    if (!selectedBlurID_)
        return nullptr;
    const auto it = std::find_if(blurRegions_.begin(), blurRegions_.end(),
                                 [&](const review::VideoBlurRegion& r) { return r.id == *selectedBlurID_; });
    return it == blurRegions_.end() ? nullptr : &*it;
}

bool RecordingUIModel::canEditBlur() const
{
    return phase_ == RecordingPhase::review && canTrim_ && !trackingProgress_;
}

QString RecordingUIModel::time(double seconds)
{
    const long long total = std::isfinite(seconds) && seconds > 0 ? static_cast<long long>(seconds) : 0;
    return QString::asprintf("%02lld:%02lld", total / 60, total % 60);
}

} // namespace tarnwick::recording
