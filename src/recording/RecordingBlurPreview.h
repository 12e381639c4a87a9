#pragma once

#include <QWidget>

namespace tarnwick {
class RecordingTimeline;
struct RecordingTimelineModel;
}

namespace tarnwick::recording {

class RecordingReview;
class RecordingUIModel;
class VideoBlurCanvas;

// The review's picture pane: the blur canvas above the timeline. The model
// follows the player exactly while the pane is on screen. GUI thread.
class RecordingBlurPreview : public QWidget {
    Q_OBJECT
public:
    explicit RecordingBlurPreview(RecordingReview& review, QWidget* parent = nullptr);

    VideoBlurCanvas* canvas() const { return canvas_; }
    RecordingTimeline* timeline() const { return timeline_; }
    // The review model as the timeline reads and edits it.
    static RecordingTimelineModel timelineModel(RecordingReview& review);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void scheduleRefresh();

    RecordingUIModel& model_;
    RecordingReview& review_;
    VideoBlurCanvas* canvas_;
    RecordingTimeline* timeline_;
    bool refreshQueued_ = false;
};

} // namespace tarnwick::recording
