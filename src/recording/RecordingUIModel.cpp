#include "recording/RecordingUIModel.h"

#include <QPointer>
#include <cmath>

namespace tarnwick::recording {

RecordingUIModel::RecordingUIModel(const QSettings* preferences, QObject* parent)
    : QObject(parent), options_(RecordingOptions::fromPreferences(preferences))
{
    timeObserver_.setInterval(50);
    connect(&timeObserver_, &QTimer::timeout, this, [this] {
        const double t = player_.currentTime();
        if (!seekID && std::isfinite(t))
            setPlayhead(t);
    });
}

RecordingUIModel::~RecordingUIModel()
{
    // A tracking job still running finds no model when it ends; stop it early.
    if (blurTask)
        blurTask->request_stop();
}

void RecordingUIModel::observePlayback()
{
    if (timeObserver_.isActive())
        return;
    const auto rate = [this] { setIsPlaying(resumeAfterSeek || player_.rate() > 0); };
    playbackObservation_ = connect(&player_, &review::VideoPlayer::rateChanged, this, rate);
    timeObserver_.start();
    rate();
}

void RecordingUIModel::stopObservingPlayback()
{
    if (timeObserver_.isActive())
        timeObserver_.stop();
    disconnect(playbackObservation_);
    setIsPlaying(false);
    resumeAfterSeek = false;
}

void RecordingUIModel::seekVideo(double time, bool resume)
{
    if (!std::isfinite(time))
        return;
    player_.pause();
    resumeAfterSeek = resume;
    setIsPlaying(resume);
    const double target = std::min(std::max(time, 0.0), trim_.duration);
    setPlayhead(target);
    const QUuid id = QUuid::createUuid();
    seekID = id;
    QPointer<RecordingUIModel> self(this);
    player_.seek(target, [self, id, target, resume] {
        if (!self || self->seekID != id)
            return;
        self->seekID.reset();
        self->setPlayhead(target);
        self->resumeAfterSeek = false;
        if (resume) {
            self->setIsPlaying(true);
            self->player_.play();
        }
    });
}

void RecordingUIModel::playSelection()
{
    if (isPlaying_ || player_.rate() > 0)
        return seekVideo(playhead_, false);
    const double p = playhead_;
    if (p < trim_.start || p >= trim_.end - 0.05)
        return seekVideo(trim_.start, true);
    if (!seekID) {
        setIsPlaying(true);
        player_.play();
        return;
    }
    seekVideo(p, true);
}

void RecordingUIModel::changeStart(double time)
{
    review::RecordingTrim t = trim_;
    t.start = std::min(std::max(time, 0.0), std::max(t.end - std::min(t.duration, 0.1), 0.0));
    setTrim(t);
    if (player_.hasItem())
        player_.setForwardEndTime(trim_.end);
    seekVideo(trim_.start, false);
}

void RecordingUIModel::changeEnd(double time)
{
    review::RecordingTrim t = trim_;
    t.end = std::min(std::max(time, t.start + std::min(t.duration, 0.1)), t.duration);
    setTrim(t);
    if (player_.hasItem())
        player_.setForwardEndTime(trim_.end);
    seekVideo(std::max(trim_.start, trim_.end - 0.1), false);
}

void RecordingUIModel::resetBlurEditor()
{
    cancelBlurTracking();
    stopObservingPlayback();
    player_.setFilter(nullptr);
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
