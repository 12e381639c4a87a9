#include "recording/RecordingReview.h"

#include <QPointer>
#include <cmath>

namespace tarnwick::recording {

RecordingReview::RecordingReview(RecordingUIModel& model, QObject* parent) : QObject(parent), model_(model)
{
    timeObserver_.setInterval(50);
    connect(&timeObserver_, &QTimer::timeout, this, [this] {
        const double t = player_.currentTime();
        if (!seekID && std::isfinite(t))
            model_.setPlayhead(t);
    });
    connect(&player_, &review::VideoPlayer::unreadable, this, &RecordingReview::fileUnreadable);
}

RecordingReview::~RecordingReview()
{
    // A tracking job still running finds no review when it ends; stop it early.
    if (blurTask)
        blurTask->request_stop();
}

void RecordingReview::observePlayback()
{
    if (timeObserver_.isActive())
        return;
    const auto rate = [this] { model_.setIsPlaying(resumeAfterSeek || player_.rate() > 0); };
    playbackObservation_ = connect(&player_, &review::VideoPlayer::rateChanged, this, rate);
    timeObserver_.start();
    rate();
}

void RecordingReview::stopObservingPlayback()
{
    if (timeObserver_.isActive())
        timeObserver_.stop();
    disconnect(playbackObservation_);
    model_.setIsPlaying(false);
    resumeAfterSeek = false;
}

void RecordingReview::seekVideo(double time, bool resume)
{
    if (!std::isfinite(time))
        return;
    player_.pause();
    resumeAfterSeek = resume;
    model_.setIsPlaying(resume);
    const double target = std::min(std::max(time, 0.0), model_.trim().duration);
    model_.setPlayhead(target);
    const QUuid id = QUuid::createUuid();
    seekID = id;
    QPointer<RecordingReview> self(this);
    player_.seek(target, [self, id, target, resume] {
        if (!self || self->seekID != id)
            return;
        self->seekID.reset();
        self->model_.setPlayhead(target);
        self->resumeAfterSeek = false;
        if (resume) {
            self->model_.setIsPlaying(true);
            self->player_.play();
        }
    });
}

void RecordingReview::playSelection()
{
    if (model_.isPlaying() || player_.rate() > 0)
        return seekVideo(model_.playhead(), false);
    const double p = model_.playhead();
    const review::RecordingTrim& trim = model_.trim();
    if (p < trim.start || p >= trim.end - 0.05)
        return seekVideo(trim.start, true);
    if (!seekID) {
        model_.setIsPlaying(true);
        player_.play();
        return;
    }
    seekVideo(p, true);
}

void RecordingReview::changeStart(double time)
{
    review::RecordingTrim t = model_.trim();
    t.start = std::min(std::max(time, 0.0), std::max(t.end - std::min(t.duration, 0.1), 0.0));
    model_.setTrim(t);
    if (player_.hasItem())
        player_.setForwardEndTime(model_.trim().end);
    seekVideo(model_.trim().start, false);
}

void RecordingReview::changeEnd(double time)
{
    review::RecordingTrim t = model_.trim();
    t.end = std::min(std::max(time, t.start + std::min(t.duration, 0.1)), t.duration);
    model_.setTrim(t);
    if (player_.hasItem())
        player_.setForwardEndTime(model_.trim().end);
    seekVideo(std::max(model_.trim().start, model_.trim().end - 0.1), false);
}

void RecordingReview::restoreTrim(double start, double end)
{
    model_.setTrim({model_.trim().duration, start, end});
    if (player_.hasItem())
        player_.setForwardEndTime(end);
}

void RecordingReview::fileUnreadable(const QString& sentence)
{
    QString said = sentence;
    if (said.endsWith(u'.'))
        said.chop(1); // as a longer message quotes it
    if (!model_.message() || !model_.message()->contains(said))
        model_.setMessage(sentence);
}

void RecordingReview::resetBlurEditor()
{
    cancelBlurTracking();
    stopObservingPlayback();
    player_.setFilter(nullptr);
    model_.setBlurRegions({});
    model_.setSelectedBlurID(std::nullopt);
    model_.setAddingBlur(false);
    model_.setVideoSource(std::nullopt);
    model_.setPlayhead(0);
    seekID.reset();
}

} // namespace tarnwick::recording
