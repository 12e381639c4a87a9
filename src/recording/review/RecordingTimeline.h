#pragma once

#include "recording/review/RecordingTimelineState.h"

#include <QWidget>

class QLabel;
class QToolButton;

namespace tarnwick {

class RecordingTimelineThumbnails;
class RecordingTimelineView;

// The review timeline row: play/pause button, the strip with its thumbnails, the current time,
// the duration and two frame-step buttons. GUI thread; the review window owns it and calls
// `refresh()` after every change of the review model.
class RecordingTimeline : public QWidget {
    Q_OBJECT
public:
    explicit RecordingTimeline(RecordingTimelineModel model, QWidget* parent = nullptr);

    void refresh();
    RecordingTimelineView* view() const { return view_; }
    RecordingTimelineThumbnails* thumbnails() const { return thumbnails_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    RecordingTimelineModel model_;
    RecordingTimelineThumbnails* thumbnails_;
    RecordingTimelineView* view_;
    QToolButton* play_;
    bool playingShown_ = false;
    QLabel* current_;
    QLabel* total_;
};

} // namespace tarnwick
