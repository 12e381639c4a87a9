#pragma once

#include "platform/ActiveWindow.h"
#include "platform/Capabilities.h"
#include "platform/PasteKeyboard.h"
#include "platform/PasteMonitor.h"
#include "platform/X11Connection.h"
#include "series/ClipboardBridge.h"
#include "series/ColorCode.h"
#include "series/Screenshot.h"
#include "series/TransferPacket.h"

#include <QObject>
#include <QSettings>
#include <QString>
#include <QTimer>
#include <QVector>
#include <functional>
#include <memory>
#include <optional>

namespace tarnwick {

// The one application model: the series, the panel's status line and flags, the
// preferences, the actions through which the panel reaches the shell, and the
// Ctrl+V hand-off of a series to another application.
// GUI thread only; `changed` is emitted after every change of what it shows.
class AppModel : public QObject {
    Q_OBJECT
public:
    static constexpr int maximumShots = 26;

    // Hand-off delays.
    static constexpr int commentDelayMs = 1000;
    static constexpr int releaseDelayMs = 700;
    static constexpr int automaticPasteDelayMs = 300;

    // With `startMonitoring` the Ctrl+V watch starts now and is re-installed by
    // the refresh whenever it is not running. `display` is the X display of the
    // watch and of the hooks' defaults ($DISPLAY when empty).
    AppModel(ClipboardBridge& clipboard, QSettings& preferences, bool startMonitoring = false, QString display = {},
             QObject* parent = nullptr);

    // Published state.
    const QVector<Screenshot>& shots() const { return shots_; }
    bool busy() const { return busy_; }
    void setBusy(bool busy);
    bool screenPermissionRequired() const { return screenPermissionRequired_; }
    void setScreenPermissionRequired(bool required);
    const QString& status() const { return status_; }
    // The shell's flows and the editor's closing actions write their result here.
    void setStatus(const QString& status);
    bool monitoring() const { return monitoring_; }
    bool clipboardReady() const { return clipboardReady_; }
    bool lastTransferAvailable() const { return lastTransferAvailable_; }
    bool automaticPasteAllowed() const { return automaticPasteAllowed_; }
    bool awaitingComments() const { return awaitingComments_; }
    bool transferInProgress() const { return transferInProgress_; }
    bool autoClear() const { return autoClear_; }
    void setAutoClear(bool on);
    bool showsTaskbarIcon() const { return showsTaskbarIcon_; }
    void setShowsTaskbarIcon(bool on);
    const std::optional<QString>& imageSaveDirectory() const { return imageSaveDirectory_; }
    TransferMode transferMode() const { return transferMode_; }
    bool confirmClear() const { return confirmClear_; }
    void setConfirmClear(bool on);

    ColorCodeFormat colorCodeFormat() const { return colorCodeFormat_; }
    void setColorCodeFormat(ColorCodeFormat format);
    // The editor's floating toolbar as a column at the left instead of a bar at the bottom.
    bool editorVerticalToolbar() const { return editorVerticalToolbar_; }
    void setEditorVerticalToolbar(bool vertical);
    int revision() const { return revision_; }
    bool pastePending() const { return pastePending_; }
    ClipboardBridge& clipboard() { return clipboard_; }
    platform::PasteMonitor& monitor() { return monitor_; }

    // The series.
    // Replaces the shot with the same id or appends it; a 27th shot is refused with a beep.
    bool save(Screenshot shot, const QVector<Annotation>& annotations, bool prepareForPaste);
    void prepareClipboard(TransferMode mode);
    void deleteShot(const QUuid& id);
    void clear(bool afterPaste);
    void repeatLastTransfer();
    void copyComments();

    // Single items.
    bool copyRecognizedText(const QString& text, bool allowWhitespace);
    void copySampledColor(const SampledColor& color, ColorCodeFormat format);
    QString copyUnmarkedImage(const Screenshot& shot, const QVector<Annotation>& annotations);
    void setImageSaveDirectory(const QString& path);
    QString saveUnmarkedImage(const Screenshot& shot);

    // Shows an error in the status line and in a warning dialog.
    void showError(const std::exception& error);
    void showError(const QString& sentence);

    // The 1-second refresh of the clipboard and capability state.
    void refresh();

    // The Ctrl+V hand-off.
    // A Ctrl+V of the user in another window (the watch calls it); also the
    // automatic paste of pasteAll.
    void handlePaste();
    // The panel's "paste images and text": activates the target window and
    // pastes the series into it, comments following as after a Ctrl+V.
    void pasteAll(const platform::ActiveWindow& target);
    // The panel's button for Ctrl+V recognition.
    void enableMonitoring();
    // The panel's "allow automatic paste": X11 has no prompt to show; reads whether
    // we may type Ctrl+V and, when not, names what the X server lacks.
    void allowAutomaticPaste();

    // Actions the shell fills in for the panel.
    std::function<void()> captureAction, captureWindowAction, captureScrollingAction, captureTextAction, recordAction,
        exportAction, showAction, hideAction, pasteAction, permissionSetupAction, shortcutGuideAction;
    std::function<void(const QUuid&)> editAction;
    std::function<void(bool)> taskbarVisibilityChanged;
    // Shows the permission window on the card of one capability: present, or what the X server lacks.
    std::function<void(platform::Capability)> capabilityAction;

    // Injected system hooks; the defaults ask the X server.
    // Whether we may type Ctrl+V ourselves (the XTEST extension is there).
    std::function<bool()> pastePermission;
    // Types Ctrl+V into `window` while it is still the active one; true when sent.
    std::function<bool(quint32 window)> postPaste;
    // The window a paste goes to now: the active window, nothing when none.
    std::function<std::optional<platform::ActiveWindow>()> activeWindow;
    // Asks the window manager to bring `window` to the front.
    std::function<void(quint32 window)> activateWindow;
    // Runs `step` on the GUI thread `ms` milliseconds from now.
    std::function<void(int ms, std::function<void()> step)> after;
    // Shows an error dialog; tests replace it.
    std::function<void(const QString&)> alert;
    // The system beep of a refused action.
    std::function<void()> beep;

signals:
    void changed();

private:
    // Runs clipboard work; a failure goes to showError and answers false.
    bool reported(const std::function<void()>& clipboardWork);
    template <typename T>
    void assign(T& field, const T& value);
    void readPreferences();
    void commentStep(int revision, std::optional<std::uint64_t> changeCount, bool chat,
                     std::optional<quint32> frontmost);
    void scheduleRelease(int revision);
    void automaticPasteStep(int revision, std::optional<std::uint64_t> changeCount, quint32 target);
    bool stillCurrent(int revision, const std::optional<std::uint64_t>& changeCount) const;
    void updateMonitoring();

    ClipboardBridge& clipboard_;
    QSettings& preferences_;
    // The hooks' own connection; the watch has connections of its own.
    platform::X11Connection connection_;
    platform::PasteMonitor monitor_;
    platform::PasteKeyboard keyboard_;
    bool startMonitoring_ = false;
    QTimer timer_;

    QVector<Screenshot> shots_;
    bool busy_ = false;
    bool screenPermissionRequired_ = false;
    QString status_;
    bool monitoring_ = false;
    bool clipboardReady_ = false;
    bool lastTransferAvailable_ = false;
    bool automaticPasteAllowed_ = false;
    bool awaitingComments_ = false;
    bool transferInProgress_ = false;
    bool autoClear_ = true;
    bool showsTaskbarIcon_ = false;
    std::optional<QString> imageSaveDirectory_;
    TransferMode transferMode_ = TransferMode::chat;
    bool confirmClear_ = false;
    ColorCodeFormat colorCodeFormat_ = ColorCodeFormat::hexHash;
    bool editorVerticalToolbar_ = false;
    int revision_ = 0;
    bool pastePending_ = false;
};

} // namespace tarnwick
