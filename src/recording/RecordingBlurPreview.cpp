#include "recording/RecordingBlurPreview.h"

#include "recording/RecordingUIModel.h"
#include "recording/VideoBlurCanvas.h"
#include "recording/review/RecordingTimeline.h"

#include <QVBoxLayout>

namespace tarnwick::recording {

RecordingTimelineModel RecordingBlurPreview::timelineModel(RecordingUIModel& model)
{
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
    m.seekVideo = [&model](double time) { model.seekVideo(time, false); };
    m.changeStart = [&model](double time) { model.changeStart(time); };
    m.changeEnd = [&model](double time) { model.changeEnd(time); };
    m.playSelection = [&model] { model.playSelection(); };
    m.restoreTrim = [&model](double start, double end) {
        model.setTrim({model.trim().duration, start, end});
        if (model.player().hasItem())
            model.player().setForwardEndTime(end);
    };
    return m;
}

RecordingBlurPreview::RecordingBlurPreview(RecordingUIModel& model, QWidget* parent)
    : QWidget(parent), model_(model), canvas_(new VideoBlurCanvas(model, this)),
      timeline_(new RecordingTimeline(timelineModel(model), this))
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
    model_.observePlayback();
}

void RecordingBlurPreview::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    model_.stopObservingPlayback();
}

} // namespace tarnwick::recording
