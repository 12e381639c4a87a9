#pragma once

#include "recording/RecordingOptions.h"
#include "recording/review/RecordingTrim.h"
#include "recording/review/VideoPlayer.h"
#include "recording/review/VideoBlurRegion.h"
#include "recording/review/VideoBlurRendering.h"
#include "recording/review/VideoBlurTracking.h"

#include <QObject>
#include <QSettings>
#include <QSizeF>
#include <QTimer>
#include <QUuid>
#include <functional>
#include <optional>
#include <stop_token>
#include <vector>

namespace tarnwick::recording {

enum class RecordingPhase { setup, selecting, starting, recording, stopping, review, exporting };

// Everything the recording window and the stop control show of one session.
// Each field's signal is emitted only when an assignment changes it; the
// controller is the only writer of `phase`. GUI thread only.
class RecordingUIModel : public QObject {
    Q_OBJECT
public:
    explicit RecordingUIModel(const QSettings* preferences, QObject* parent = nullptr);
    ~RecordingUIModel() override;

    const RecordingOptions& options() const { return options_; }
    void setOptions(const RecordingOptions& value) { assign(options_, value, &RecordingUIModel::optionsChanged); }
    const std::uint32_t& displayID() const { return displayID_; }
    void setDisplayID(const std::uint32_t& value) { assign(displayID_, value, &RecordingUIModel::displayIDChanged); }
    const RecordingPhase& phase() const { return phase_; }
    void setPhase(const RecordingPhase& value) { assign(phase_, value, &RecordingUIModel::phaseChanged); }
    const double& elapsed() const { return elapsed_; }
    void setElapsed(const double& value) { assign(elapsed_, value, &RecordingUIModel::elapsedChanged); }
    const qint64& fileBytes() const { return fileBytes_; }
    void setFileBytes(const qint64& value) { assign(fileBytes_, value, &RecordingUIModel::fileBytesChanged); }
    const review::RecordingTrim& trim() const { return trim_; }
    void setTrim(const review::RecordingTrim& value) { assign(trim_, value, &RecordingUIModel::trimChanged); }
    const std::optional<QString>& message() const { return message_; }
    void setMessage(const std::optional<QString>& value) { assign(message_, value, &RecordingUIModel::messageChanged); }
    const QSizeF& outputSize() const { return outputSize_; }
    void setOutputSize(const QSizeF& value) { assign(outputSize_, value, &RecordingUIModel::outputSizeChanged); }
    const bool& canTrim() const { return canTrim_; }
    void setCanTrim(const bool& value) { assign(canTrim_, value, &RecordingUIModel::canTrimChanged); }
    const std::vector<review::VideoBlurRegion>& blurRegions() const { return blurRegions_; }
    void setBlurRegions(const std::vector<review::VideoBlurRegion>& value) { assign(blurRegions_, value, &RecordingUIModel::blurRegionsChanged); }
    const std::optional<QUuid>& selectedBlurID() const { return selectedBlurID_; }
    void setSelectedBlurID(const std::optional<QUuid>& value) { assign(selectedBlurID_, value, &RecordingUIModel::selectedBlurIDChanged); }
    const bool& addingBlur() const { return addingBlur_; }
    void setAddingBlur(const bool& value) { assign(addingBlur_, value, &RecordingUIModel::addingBlurChanged); }
    const double& playhead() const { return playhead_; }
    void setPlayhead(const double& value) { assign(playhead_, value, &RecordingUIModel::playheadChanged); }
    const bool& isPlaying() const { return isPlaying_; }
    void setIsPlaying(const bool& value) { assign(isPlaying_, value, &RecordingUIModel::isPlayingChanged); }
    const std::optional<double>& trackingProgress() const { return trackingProgress_; }
    void setTrackingProgress(const std::optional<double>& value) { assign(trackingProgress_, value, &RecordingUIModel::trackingProgressChanged); }
    const std::optional<QString>& videoSource() const { return videoSource_; }
    void setVideoSource(const std::optional<QString>& value) { assign(videoSource_, value, &RecordingUIModel::videoSourceChanged); }

signals:
    void optionsChanged();
    void displayIDChanged();
    void phaseChanged();
    void elapsedChanged();
    void fileBytesChanged();
    void trimChanged();
    void messageChanged();
    void outputSizeChanged();
    void canTrimChanged();
    void blurRegionsChanged();
    void selectedBlurIDChanged();
    void addingBlurChanged();
    void playheadChanged();
    void isPlayingChanged();
    void trackingProgressChanged();
    void videoSourceChanged();


public:
    // The running tracking job: its stop request and its identity; a job's
    // progress and result count only while `blurJobID` is still its own.
    std::optional<std::stop_source> blurTask;
    std::optional<QUuid> blurJobID;
    std::optional<QUuid> seekID;
    bool resumeAfterSeek = false;

    // Filled by the controller; each holds it weakly.
    std::function<void()> startAction;
    std::function<void()> stopAction;
    std::function<void()> saveAction;
    std::function<void()> discardAction;

    // The preview player; never replaced, only its item changes.
    review::VideoPlayer& player() { return player_; }
    // Keeps playhead and isPlaying in step with the player.
    void observePlayback();
    void stopObservingPlayback();
    // Shows exactly `time` (clamped into the recording); only the newest seek completes.
    void seekVideo(double time, bool resume);
    // Play or pause the kept fragment.
    void playSelection();
    void changeStart(double time);
    void changeEnd(double time);

    // The tracker (run on a worker thread) and the preview's blur of one
    // picture (run on the player's queue); the controller sets them once.
    using BlurTracker = std::function<decltype(review::VideoBlurTracking::track)>;
    using BlurFrame = std::function<decltype(review::VideoBlurRendering::image)>;
    void setBlurServices(BlurTracker tracker, BlurFrame frame);

    // The blur editor. Edits need `canEditBlur` (and most a selected region)
    // and silently do nothing otherwise; rectangles are normalised, origin
    // bottom-left. Defined in RecordingUIModelBlur.cpp.
    const review::VideoBlurRegion* selectedBlur() const;
    bool canEditBlur() const;
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

    // Whole minutes and seconds, "%02d:%02d"; minutes are not folded into hours.
    static QString time(double seconds);

private:
    template <typename T>
    void assign(T& field, const T& value, void (RecordingUIModel::*changed)())
    {
        if (field == value)
            return;
        field = value;
        emit(this->*changed)();
    }
    bool editSelectedBlur(const std::function<void(review::VideoBlurRegion&)>& edit);
    void trackingFinished(const QUuid& job, const review::VideoBlurRegion& region,
                          const std::optional<review::VideoBlurRegion>& result, const std::exception_ptr& error);

    BlurTracker tracker_;
    BlurFrame blurFrame_;
    review::VideoPlayer player_;
    QTimer timeObserver_;
    QMetaObject::Connection playbackObservation_;
    RecordingOptions options_ = {};
    std::uint32_t displayID_ = 0;
    RecordingPhase phase_ = RecordingPhase::setup;
    double elapsed_ = 0;
    qint64 fileBytes_ = 0;
    review::RecordingTrim trim_ = {};
    std::optional<QString> message_ = std::nullopt;
    QSizeF outputSize_ = QSizeF(0, 0);
    bool canTrim_ = true;
    std::vector<review::VideoBlurRegion> blurRegions_ = {};
    std::optional<QUuid> selectedBlurID_ = std::nullopt;
    bool addingBlur_ = false;
    double playhead_ = 0;
    bool isPlaying_ = false;
    std::optional<double> trackingProgress_ = std::nullopt;
    std::optional<QString> videoSource_ = std::nullopt;
};

} // namespace tarnwick::recording
