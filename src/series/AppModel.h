#pragma once

#include "platform/Capabilities.h"
#include "series/ClipboardBridge.h"
#include "series/ColorCode.h"
#include "series/PasteHandOff.h"
#include "series/Preferences.h"
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
// actions through which the panel reaches the shell; it owns the preferences and
// the Ctrl+V hand-off. What the X server offers comes in through hooks the shell
// sets. GUI thread only; `changed` is emitted after every change of what it shows.
class AppModel : public QObject {
    Q_OBJECT
public:
    static constexpr int maximumShots = 26;

    AppModel(ClipboardBridge& clipboard, QSettings& preferences, QObject* parent = nullptr);

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
    bool transferInProgress() const { return handOff_.transferInProgress(); }
    bool autoClear() const { return preferences_.autoClear(); }
    void setAutoClear(bool on);
    bool showsTaskbarIcon() const { return preferences_.showsTaskbarIcon(); }
    void setShowsTaskbarIcon(bool on);
    const std::optional<QString>& imageSaveDirectory() const { return preferences_.imageSaveDirectory(); }
    TransferMode transferMode() const { return transferMode_; }
    bool confirmClear() const { return confirmClear_; }
    void setConfirmClear(bool on);

    ColorCodeFormat colorCodeFormat() const { return preferences_.colorCodeFormat(); }
    void setColorCodeFormat(ColorCodeFormat format);
    // The editor's floating toolbar as a column at the left instead of a bar at the bottom.
    bool editorVerticalToolbar() const { return preferences_.editorVerticalToolbar(); }
    void setEditorVerticalToolbar(bool vertical);
    int revision() const { return revision_; }
    bool pastePending() const { return handOff_.pending(); }
    ClipboardBridge& clipboard() { return clipboard_; }
    PasteHandOff& handOff() { return handOff_; }

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

    // Shows an error in the status line and through `alert`.
    void showError(const std::exception& error);
    void showError(const QString& sentence);

    // The 1-second refresh of the clipboard and capability state.
    void refresh();

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

    // System hooks the shell sets from the X server; unset, there is no watch,
    // nothing to name, no dialog and no sound.
    // Whether the Ctrl+V watch runs (the shell's hook restarts one that broke).
    std::function<bool()> watching;
    // Starts the watch at the user's request; whether it runs now.
    std::function<bool()> startWatching;
    // Why the X server cannot be asked, as a sentence; empty when it answers.
    std::function<QString()> connectionProblem;
    // Shows an error dialog.
    std::function<void(const QString&)> alert;
    // The system beep of a refused action.
    std::function<void()> beep;

signals:
    void changed();

private:
    friend class PasteHandOff;

    static QString xtestMissing();
    // Runs clipboard work; a failure goes to showError and answers false.
    bool reported(const std::function<void()>& clipboardWork);
    // Writes a field; true when it changed. `assign` also emits `changed`.
    template <typename T>
    static bool put(T& field, const T& value)
    {
        if (field == value)
            return false;
        field = value;
        return true;
    }
    template <typename T>
    void assign(T& field, const T& value);
    // The one writer of the status: emits `changed` when it or, by
    // `othersChanged`, fields already written changed.
    void setStatus(const QString& status, bool othersChanged);

    ClipboardBridge& clipboard_;
    Preferences preferences_;
    PasteHandOff handOff_{*this};
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
    TransferMode transferMode_ = TransferMode::chat;
    bool confirmClear_ = false;
    int revision_ = 0;
};

} // namespace tarnwick
