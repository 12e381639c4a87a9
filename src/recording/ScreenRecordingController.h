#pragma once

#include "capture/RecordingAreaSelector.h"
#include "recording/RecorderSession.h"
#include "recording/RecordingContent.h"
#include "recording/RecordingEngine.h"
#include "recording/RecordingReview.h"
#include "recording/RecordingUIModel.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QSettings>
#include <QTimer>
#include <QUuid>
#include <functional>
#include <future>
#include <memory>
#include <optional>

class QLockFile;
class QWidget;

namespace tarnwick::recording {

class RecordingWindow;
class RecordingControlPanel;

// What a session uses of the world around it; tests replace these with fakes.
struct RecordingServices {
    std::function<bool()> microphoneAccess = [] { return true; }; // PulseAudio asks no permission
    std::function<CaptureDisplay(std::uint32_t)> findDisplay;    // blocks; a worker thread
    std::function<std::shared_ptr<RecordingEngine>()> makeEngine;
    // Starts an area selection; the handle ends it when dropped.
    std::function<std::shared_ptr<void>(const QString& prompt, RecordingAreaSelector::Completion)> selectArea;
    std::function<void(const QString&, const review::RecordingTrim&, const QString&)> exportTrimmed;
    std::function<void(const QString&, const review::RecordingTrim&, const std::vector<review::VideoBlurRegion>&,
                       const QString&)>
        exportBlurred;
    std::function<void(const QString& prepared, const QString& destination)> install;
    std::function<double(const QString&)> duration;
    // The save dialog: the chosen path, or nullopt when cancelled.
    std::function<std::optional<QString>(QWidget* parent, const QString& proposal)> chooseDestination;
    std::function<bool(QWidget* parent)> confirmDiscard;
    // Whether to save blur regions that were edited and not tracked again, their boxes standing
    // still where they were left.
    std::function<bool(QWidget* parent)> confirmUntracked;
    std::function<void()> beep;
    // The blur tracker (a worker thread) and the preview's blur of one picture (the player's queue).
    RecordingReview::BlurTracker trackBlur;
    RecordingReview::BlurFrame blurFrame;
    QString temporaryRoot; // empty: the private temporary root

    // The real world: X11 capture, the area selector, dialogs.
    static RecordingServices system();
};

// One recording session: leads the user from the settings through the area
// selection and the capture with its stop control to the review and the saved
// MP4. The only writer of the model's phase. GUI thread.
class ScreenRecordingController : public RecorderSession {
    Q_OBJECT
public:
    ScreenRecordingController(QSettings* preferences, std::function<bool()> permission,
                              RecordingServices services = RecordingServices::system(), QObject* parent = nullptr);
    ~ScreenRecordingController() override;

    // Brings forward what belongs to the current phase: the window, the stop
    // control or the selection.
    void present() override;
    // Drops the session's files and timers; the shell calls it on quit.
    void cleanup() override;
    // The program ends without the user's say (a signal): a recording, finished or
    // still being written, stays in its working folder for the recovery at the
    // next start, as after a crash; the rest goes as in cleanup().
    void keepForRecovery() override;
    // Quitting is allowed only with no capture or export under way.
    bool canQuit() const override;
    // From the area selection to the end of the capture the screen is the recorder's.
    bool holdsScreen() const override;
    bool unsaved() const override { return model_->phase() != RecordingPhase::setup; }

    RecordingUIModel& model() { return *model_; }
    RecordingReview& review() { return review_; }
    RecordingWindow* window() const;
    RecordingControlPanel* control() const;
    std::optional<QUuid> requestID() const { return requestID_; }

    // "Tarnwick 2024-03-05 14.07.09.mp4".
    static QString defaultFileName(const QDateTime& now);
    // Where the stop control goes: centred 22 above the bottom of `visible`,
    // moved below or above `selection` when it would cover the recorded area.
    static QPointF controlOrigin(const QRectF& visible, const QRectF& selection, QSizeF size);
    static constexpr QSizeF controlSize{258, 52};

private:
    void begin();
    void start(QScreen* screen, const QRectF& selection);
    void recordingStarted();
    void startFailed(const QUuid& request, const TarnwickError& error);
    void interrupted(const QUuid& request, const TarnwickError& error);
    void stop();
    void stopped(const RecordingResult& result, double duration, std::optional<TarnwickError> durationError);
    void save();
    void exportTo(const QString& source, const QString& destination);
    void saved(const QString& destination);
    void requestClose();
    void closeWithoutPrompt();
    void ensureWindow();

    QSettings* preferences_;
    std::function<bool()> permission_;
    RecordingServices services_;
    RecordingUIModel* model_;
    // The preview player and its time observer; goes before the model it writes.
    RecordingReview review_;
    QPointer<RecordingWindow> window_;
    QPointer<RecordingControlPanel> control_;
    std::shared_ptr<void> selector_;
    std::shared_ptr<RecordingEngine> recorder_;
    std::optional<QString> directory_;
    std::unique_ptr<QLockFile> lock_; // held in directory_ while the session lives
    // The recording could not leave directory_: unless a save takes it, the folder outlives
    // the session, unlocked, for the recovery at the next start.
    bool keptUnlessSaved_ = false;
    // A save under way: whether it saved, once it has ended, and where to.
    struct Export {
        std::shared_future<bool> saved;
        QString destination;
    };
    std::optional<Export> exporting_;
    std::optional<QString> source_;
    QTimer* timer_;
    std::optional<QDateTime> startedAt_;
    std::optional<QUuid> requestID_;
    std::optional<TarnwickError> startupInterruption_;
};

} // namespace tarnwick::recording
