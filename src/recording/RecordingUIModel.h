#pragma once

#include "recording/RecordingOptions.h"
#include "recording/review/RecordingTrim.h"
#include "recording/review/VideoBlurRegion.h"

#include <QObject>
#include <QSettings>
#include <QSizeF>
#include <QUuid>
#include <functional>
#include <optional>
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
    // Filled by the controller; each holds it weakly.
    std::function<void()> startAction;
    std::function<void()> stopAction;
    std::function<void()> saveAction;
    std::function<void()> discardAction;

    // The selected blur region, if it still exists.
    const review::VideoBlurRegion* selectedBlur() const;
    // Blur edits wait for the review, a trimmable recording and the end of a tracking job.
    bool canEditBlur() const;

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
