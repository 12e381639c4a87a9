#pragma once

#include "app/GlobalCaptureShortcut.h"
#include "editor/window/EditorExportWindow.h"
#include "app/CapturedImage.h"
#include "app/ScreenCapturePermission.h"
#include "app/SessionGate.h"
#include "platform/ActiveWindowWatch.h"
#include "platform/DetachedWork.h"
#include "platform/SerialQueue.h"
#include "series/AppModel.h"
#include "series/ClipboardBridge.h"

#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QSettings>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace tarnwick {
namespace recording {
class RecorderSession;
}

class AppMenus;
class X11HandOffHooks;
class EditorState;
class FloatingPanel;
class PermissionSetupController;
class PickerLauncher;
class PermissionSetupModel;
class ScrollingCaptureController;
class ShortcutGuideController;

namespace platform {
class ClipboardBackend;
}

// What the shell asks of the screen recorder. The recording subsystem fills
// these in; while `start` is empty the record command is refused with a beep.
struct RecorderHooks {
    std::function<bool()> exists;  // a recorder window or session exists
    std::function<void()> present; // brings its current stage forward
    std::function<bool()> canQuit; // only in its setup and review phases
    std::function<bool()> holdsScreen; // from its area selection to the end of its capture
    std::function<bool()> unsaved; // in any phase but setup
    std::function<void()> start;   // creates the recorder and presents it
    std::function<void()> cleanup; // drops its temporary files when the program ends
    // The program ends without the user's say (a signal at logout or shutdown): what was
    // recorded stays where the next start recovers it, as after a crash.
    std::function<void()> keepForRecovery;
};

// The application itself: creates the one model, the tray icon and its menu,
// the floating panel, the permission wizard and the global hot keys, fills the
// model's actions, runs the capture flows and the series export, and decides
// whether the program may quit. It holds every session (capture process, text
// recognition, editor, recorder) and refuses a command while another blocks it.
// GUI thread; one per process.
class AppShell : public QObject {
    Q_OBJECT
public:
    static constexpr int captureDelayMs = 250;
    // Overrides the picker program's path (flow tests run a script).
    static constexpr const char* pickerVariable = "TARNWICK_CAPTURE_PROGRAM";

    // The system's modal questions and services; the defaults show Qt dialogs.
    struct Hooks {
        std::function<void()> beep;
        // A folder, nothing on cancel.
        std::function<std::optional<QString>(const QString& message, const QString& prompt, const QString& start)>
            chooseFolder;
        // An image file to open, nothing on cancel.
        std::function<std::optional<QString>()> chooseImage;
        // Image files to add to the editor's shot as layers, asked over `editor`.
        std::function<QStringList(QWidget* editor)> chooseLayerImages;
        // The quit question; true for "Завершить".
        std::function<bool(const QString& informative)> confirmQuit;
        std::function<void(const QString& title, const QString& informative)> about;
        // Shows a folder selected in the file manager; never blocks, never fails the caller.
        std::function<void(const QString& folder)> reveal;
        // Reads an image file for a new shot, off the GUI thread; CapturedImage::read unless replaced.
        std::function<std::optional<CapturedImage>(const QString& path)> readImage;
    };

    // `temporaryRoot` is the private per-user temporary folder.
    AppShell(QSettings& preferences, platform::ClipboardBackend& board, QString temporaryRoot, Hooks hooks = {},
             QObject* parent = nullptr);
    ~AppShell() override;

    // The launch sequence: tray, panel, actions, wizard, hot keys, then the
    // image named by "--open-image" or the wizard when permissions are missing.
    void start(const QStringList& arguments);
    // Arguments handed over by a second start: "--open-image FILE" opens the
    // image, anything else brings Tarnwick forward.
    void handleArguments(const QStringList& arguments);

    AppModel& model() { return *model_; }
    FloatingPanel* panel() const { return panel_.get(); }
    QSystemTrayIcon* tray() const { return tray_; }
    QMenu* trayMenu() const;
    const GlobalCaptureShortcut* shortcut() const { return shortcut_.get(); }
    bool captureRunning() const { return captureProcess_ != nullptr; }
    // The running scrolling capture, nothing between sessions.
    ScrollingCaptureController* scrollingCapture() const { return scrolling_.get(); }
    // The open editor, nothing between sessions.
    EditorExportWindow* editor() const { return editorWindow_; }

    // Commands of the menus, the panel and the hot keys.
    void showPanel();
    void captureScreenshot(ScreenCaptureMode mode);
    void captureText();
    // A tall shot of a page the user scrolls; it opens in the editor like any capture.
    void captureScrolling();
    void recordScreen();
    void openImage();
    // Reads the file off the GUI thread; it opens in the editor once no session runs, in the order
    // the files were asked, and one that cannot be read is said once no capture or question holds
    // the screen.
    void importImage(const QString& path);
    void editShot(const QUuid& id);
    void exportSeries();
    // The folder for shots saved without markers, asked for an open editor;
    // `completion` runs exactly once, with nothing on cancel or without an editor.
    void chooseImageSaveDirectory(const std::function<void(std::optional<QString>)>& completion);
    void showShortcutGuide();
    void showPermissionSetup();
    void toggleTaskbarIcon();
    void about();
    // Tarnwick started again or its icon activated.
    void reopen();

    // The quit check: false refuses (a scrolling capture or the recorder is brought forward, or the
    // user chose to stay).
    bool shouldQuit();
    // How the event loop ended: the user's quit, or a signal (SIGTERM at logout, SIGINT, SIGHUP).
    enum class Ending { quit, signal };
    // The last steps before the process ends, whatever ended it: stops a
    // running picker, lets the recorder clean up (after a signal it keeps an
    // unsaved recording for the next start), and removes the picker's files.
    // Prepared series stay until a start finds them a week old.
    void terminate(Ending ending = Ending::quit);

    // The texts of the about box.
    static QString aboutTitle();
    static QString aboutText();

    // The recorder's seam and its reports.
    RecorderHooks recorder;
    void recorderTookScreen();
    void recordingSaved(const QString& file);
    void recordingDismissed();

    // The editing session: at most one at a time, `AppModel::busy` while it is open.
    // It opens on the screen of `capturedArea` (root pixels), else under the pointer.
    void openEditor(const Screenshot& shot, const QString& label, std::optional<QRect> capturedArea = std::nullopt);
    // Ends it: with `save` the edited shot goes into the series. Beeps and keeps
    // the editor while it captures a layer or, saving, cannot export.
    void finishEditor(bool save, bool prepareForPaste);

    // A modal dialog or question of the program is open: the one Qt shows, or one asked
    // through Hooks. While it is, it answers the commands in place of the session beneath.
    bool dialogOpen() const;

private:
    friend class AppMenus;
    bool recorderExists() const { return recorder.exists && recorder.exists(); }
    // What runs now, and the gate's answer to `command` carried out: true when it may run.
    ShellSession session() const;
    void setSession(ShellSession session);
    // A flow ends the session it started, never one begun while it ran.
    void endSession(ShellSession own);
    bool admit(ShellCommand command);
    void bringSessionForward();
    void bringDialogForward();
    // Runs a modal dialog or question; while it is open, it holds the keys.
    template <typename Ask>
    auto asking(Ask&& ask)
    {
        struct Open {
            AppShell& shell;
            explicit Open(AppShell& s) : shell(s) { ++shell.dialogs_; }
            ~Open()
            {
                --shell.dialogs_;
                shell.fileReads_.resume();
            }
        } open(*this);
        return ask();
    }
    // Only the editor that asks (the number of its opening) may be finished or take a layer.
    bool isOpenEditor(quint64 asking) const { return editorWindow_ && asking == editorsOpened_; }
    void fillActions();
    void setupPermissions();
    void registerHotKeys();
    // With `editor` the capture becomes an image layer of that session.
    void captureRegion(ScreenCaptureMode mode, EditorExportWindow* editor = nullptr);
    void launchPicker(ScreenCaptureMode mode, const QString& file, QPointer<EditorExportWindow> editor);
    void pickerFinished(ScreenCaptureMode mode, const QString& file, bool succeeded, QPointer<EditorExportWindow> editor);
    void captureFailed(const QString& sentence, const QPointer<EditorExportWindow>& editor);
    void recognizeText(const QImage& image);
    // An image read for a new shot, offered in its turn; false keeps it for later.
    bool openRead(const std::optional<CapturedImage>& captured);
    void restoreLayerEditor(const QPointer<EditorExportWindow>& editor, const std::optional<QImage>& image);
    void importLayerImage();
    void bringEditorForward();
    QString pickerProgram() const;
    PickerLauncher& pickers();
    void beep();

    QSettings& preferences_;
    QString temporaryRoot_;
    Hooks hooks_;
    std::unique_ptr<ClipboardBridge> bridge_;
    // Declared before the model: the model's hooks reach into it until the model goes.
    std::unique_ptr<X11HandOffHooks> handOffHooks_;
    std::unique_ptr<AppModel> model_;
    std::unique_ptr<FloatingPanel> panel_;
    QSystemTrayIcon* tray_ = nullptr;
    std::unique_ptr<AppMenus> menus_;
    std::unique_ptr<GlobalCaptureShortcut> shortcut_;
    QPointer<QProcess> captureProcess_;
    std::unique_ptr<PickerLauncher> pickers_;
    platform::SerialQueue textRecognitionQueue_{"com.tarnwick.text-recognition"};
    platform::DetachedWork textReadings_{this};
    // Image files the user named are read here: a disk that stalls must not hold the windows.
    // Each opens when no session runs; every end of a session offers the first in line again.
    platform::DetachedWork fileReads_{this};
    ScreenCapturePermission screenPermission_;
    std::unique_ptr<PermissionSetupModel> permissionModel_;
    std::unique_ptr<PermissionSetupController> permissionSetup_;
    std::unique_ptr<ShortcutGuideController> shortcutGuide_;
    std::unique_ptr<platform::ActiveWindowWatch> activeWindows_;
    QPointer<EditorExportWindow> editorWindow_;
    quint64 editorsOpened_ = 0;
    // The session the shell started; the recorder's and the editor's layer capture are read from them.
    ShellSession session_ = ShellSession::none;
    // Dialogs asked through Hooks that are open now (they may nest).
    int dialogs_ = 0;
    // The screen recorder while its session lasts; the real one unless `recorder` was given.
    QPointer<recording::RecorderSession> recording_;
    void useScreenRecorder();
    // Prepared-series folders that were there before this run.
    std::unique_ptr<ScrollingCaptureController> scrolling_;
};

} // namespace tarnwick
