#pragma once

#include "recording/RecordingUIModel.h"
#include "recording/review/VideoBlurRegion.h"
#include "recording/review/VideoBlurRendering.h"
#include "recording/review/VideoBlurTracking.h"
#include "recording/review/VideoPlayer.h"

#include <QObject>
#include <QTimer>
#include <QUuid>
#include <functional>
#include <optional>
#include <stop_token>

namespace tarnwick::recording {

// The review's preview player, the timer that keeps the model's playhead and
// isPlaying in step with it, and the edits of the review that move the picture:
// trimming, seeking and the blur editor. Writes the model, which keeps only the
// state; the session's controller owns both. GUI thread only.
class RecordingReview : public QObject {
    Q_OBJECT
public:
    explicit RecordingReview(RecordingUIModel& model, QObject* parent = nullptr);
    ~RecordingReview() override;

    RecordingUIModel& model() { return model_; }
    // Never replaced, only its item changes.
    review::VideoPlayer& player() { return player_; }

    // The seek in flight: only the newest completes; while it runs a resumed
    // seek already reads as playing.
    std::optional<QUuid> seekID;
    bool resumeAfterSeek = false;
    // The running tracking job: its stop request and its identity; a job's
    // progress and result count only while `blurJobID` is still its own.
    std::optional<std::stop_source> blurTask;
    std::optional<QUuid> blurJobID;

    void observePlayback();
    void stopObservingPlayback();
    // Shows exactly `time` (clamped into the recording).
    void seekVideo(double time, bool resume);
    // Play or pause the kept fragment.
    void playSelection();
    void changeStart(double time);
    void changeEnd(double time);
    // Puts a kept fragment back (the timeline's undo); the player stops at its end.
    void restoreTrim(double start, double end);
    // A reader of the review (the picture, the sound, the thumbnails) refused the recording's
    // file: the review says the file's sentence, unless its message says it already.
    void fileUnreadable(const QString& sentence);

    // The tracker (run on a worker thread) and the preview's blur of one
    // picture (run on the player's queue); the controller sets them once.
    using BlurTracker = std::function<decltype(review::VideoBlurTracking::track)>;
    using BlurFrame = std::function<decltype(review::VideoBlurRendering::image)>;
    void setBlurServices(BlurTracker tracker, BlurFrame frame);

    // The blur editor. Edits need the model's `canEditBlur` (and most a selected
    // region) and silently do nothing otherwise; rectangles are normalised,
    // origin bottom-left. Defined in RecordingReviewBlur.cpp.
    void beginBlurSelection();
    void finishBlurSelection(const QRectF& rect);
    void correctBlur(const QRectF& rect);
    void changeBlurInterval(double time, bool isStart);
    void changeBlurRadius(double radius);
    void deleteBlur();
    void deleteBlurKey(double time);
    void acceptBlurGaps();
    // Tracks the selected region in the background; the result replaces the
    // region only if it is still as it was when the job started.
    void trackBlur();
    void cancelBlurTracking();
    // Hands the regions to the player's picture filter; a paused picture is redrawn.
    void refreshBlurPreview();
    // Empties the review: no tracking, no regions, no selection, no source.
    void resetBlurEditor();

private:
    bool editSelectedBlur(const std::function<void(review::VideoBlurRegion&)>& edit);
    void trackingFinished(const QUuid& job, const review::VideoBlurRegion& region,
                          const std::optional<review::VideoBlurRegion>& result, const std::exception_ptr& error);

    RecordingUIModel& model_;
    BlurTracker tracker_;
    BlurFrame blurFrame_;
    review::VideoPlayer player_;
    QTimer timeObserver_;
    QMetaObject::Connection playbackObservation_;
};

} // namespace tarnwick::recording
