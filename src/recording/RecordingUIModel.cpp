#include "recording/RecordingUIModel.h"

#include <cmath>

namespace tarnwick::recording {

RecordingUIModel::RecordingUIModel(const QSettings* preferences, QObject* parent)
    : QObject(parent), options_(RecordingOptions::fromPreferences(preferences))
{
}

void RecordingUIModel::resetBlurEditor()
{
    blurJobID.reset();
    setTrackingProgress(std::nullopt);
    setIsPlaying(false);
    setBlurRegions({});
    setSelectedBlurID(std::nullopt);
    setAddingBlur(false);
    setVideoSource(std::nullopt);
    setPlayhead(0);
    seekID.reset();
}

QString RecordingUIModel::time(double seconds)
{
    const long long total = std::isfinite(seconds) && seconds > 0 ? static_cast<long long>(seconds) : 0;
    return QString::asprintf("%02lld:%02lld", total / 60, total % 60);
}

} // namespace tarnwick::recording
