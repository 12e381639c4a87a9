#include "recording/RecordingBlurPreview.h"

#include "recording/RecordingReview.h"
#include "recording/RecordingUIModel.h"
#include "recording/VideoBlurCanvas.h"
#include "recording/review/RecordingTimeline.h"
#include "recording/review/RecordingTimelineThumbnails.h"

#include <QVBoxLayout>

namespace tarnwick::recording {

RecordingTimelineModel RecordingBlurPreview::timelineModel(RecordingReview& review)
{
    RecordingUIModel& model = review.model();
    RecordingTimelineModel m;
    m.state = [&model] {
        const review::RecordingTrim& trim = model.trim();
        return RecordingTimelineState{trim.start,
                                      trim.end,
                                      trim.duration,
                                      model.playhead(),
                                      model.phase() == RecordingPhase::review && model.canTrim(),
                                      model.trackingProgress().has_value(),
                                      model.isPlaying(),
                                      model.phase() == RecordingPhase::exporting,
                                      model.videoSource()};
    };
    m.seekVideo = [&review](double time) { review.seekVideo(time, false); };
    m.changeStart = [&review](double time) { review.changeStart(time); };
    m.changeEnd = [&review](double time) { review.changeEnd(time); };
    m.playSelection = [&review] { review.playSelection(); };
    m.restoreTrim = [&review](double start, double end) { review.restoreTrim(start, end); };
    return m;
}

RecordingBlurPreview::RecordingBlurPreview(RecordingReview& review, QWidget* parent)
    : QWidget(parent), model_(review.model()), review_(review), canvas_(new VideoBlurCanvas(review, this)),
      timeline_(new RecordingTimeline(timelineModel(review), this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(canvas_, 1);
    layout->addWidget(timeline_);
    for (auto signal : {&RecordingUIModel::trimChanged, &RecordingUIModel::playheadChanged,
                        &RecordingUIModel::phaseChanged, &RecordingUIModel::canTrimChanged,
                        &RecordingUIModel::trackingProgressChanged, &RecordingUIModel::isPlayingChanged,
                        &RecordingUIModel::videoSourceChanged, &RecordingUIModel::blurRegionsChanged,
                        &RecordingUIModel::selectedBlurIDChanged, &RecordingUIModel::addingBlurChanged,
                        &RecordingUIModel::outputSizeChanged})
        connect(&model_, signal, this, &RecordingBlurPreview::scheduleRefresh);
    connect(timeline_->thumbnails(), &RecordingTimelineThumbnails::unreadable, &review, &RecordingReview::fileUnreadable);
}

void RecordingBlurPreview::scheduleRefresh()
{
    if (std::exchange(refreshQueued_, true))
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            refreshQueued_ = false;
            timeline_->refresh();
            canvas_->refresh();
        },
        Qt::QueuedConnection);
}

void RecordingBlurPreview::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    review_.observePlayback();
}

void RecordingBlurPreview::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    review_.stopObservingPlayback();
}

} // namespace tarnwick::recording
