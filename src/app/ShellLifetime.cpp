// The shell's other sessions and its end: the screen recorder's seam, the
// quit check and the clean-up after the event loop.
#include "app/AppShell.h"

#include "app/DesktopServices.h"
#include "app/SessionFiles.h"
#include "panels/FloatingPanel.h"
#include "panels/PermissionSetupController.h"
#include "panels/PermissionSetupView.h"
#include "platform/TarnwickError.h"
#include "recording/RecorderSession.h"

#include <QFileInfo>

namespace tarnwick {

void AppShell::recordScreen()
{
    if (!admit(ShellCommand::record))
        return;
    if (model_->transferInProgress() || !recorder.start) {
        beep();
        return;
    }
    recorder.start();
}

void AppShell::useScreenRecorder()
{
    if (recorder.start)
        return;
    recorder.exists = [this] { return !recording_.isNull(); };
    recorder.present = [this] {
        if (recording_)
            recording_->present();
    };
    recorder.canQuit = [this] { return !recording_ || recording_->canQuit(); };
    recorder.holdsScreen = [this] { return recording_ && recording_->holdsScreen(); };
    recorder.unsaved = [this] {
        return recording_ && recording_->unsaved();
    };
    recorder.cleanup = [this] {
        if (recording_)
            recording_->cleanup();
    };
    recorder.keepForRecovery = [this] {
        if (recording_)
            recording_->keepForRecovery();
    };
    recorder.start = [this] {
        try {
            recording_ = recording::recorderModule().createSession(&preferences_, [this] { return screenPermission_.request(); });
        } catch (const TarnwickError& error) {
            model_->showError(error);
            return;
        }
        recording_->onCaptureChanged = [this](bool active) {
            if (active)
                recorderTookScreen();
        };
        // An image read while the recorder was open opens once it has gone, also when it goes later
        // than its report says.
        connect(recording_, &QObject::destroyed, this, [this] { fileReads_.resume(); });
        recording_->onSaved = [this](const QString& file) { recordingSaved(file); };
        recording_->onDismiss = [this] {
            // The controller is the caller: it goes once it has returned.
            if (recording_)
                recording_->deleteLater();
            recordingDismissed();
        };
        recording_->present();
    };
}

// The panel and the permission window would be recorded.
void AppShell::recorderTookScreen()
{
    if (panel_)
        panel_->hide();
    if (permissionSetup_ && permissionSetup_->window())
        permissionSetup_->window()->hide();
}

void AppShell::recordingSaved(const QString& file)
{
    model_->setStatus(QStringLiteral("Видео сохранено: ") + QFileInfo(file).fileName());
}

void AppShell::recordingDismissed()
{
    showPanel();
    fileReads_.resume();
}

bool AppShell::shouldQuit()
{
    if (scrolling_ || (recorderExists() && recorder.canQuit && !recorder.canQuit())) {
        bringSessionForward();
        beep();
        return false;
    }
    const bool recorderUnsaved = recorderExists() && recorder.unsaved && recorder.unsaved();
    if (model_->shots().isEmpty() && !editorWindow_ && !recorderUnsaved)
        return true;
    QString informative = QStringLiteral("Несохранённая запись видео, текущая серия и незавершённая разметка будут потеряны. ");
    // The clipboard outlives us only where a clipboard manager takes it over.
    informative += clipboardOutlivesUs() ? QStringLiteral("Подготовленная вставка останется в буфере обмена.")
                                         : QStringLiteral("Подготовленная вставка исчезнет из буфера обмена вместе с Tarnwick.");
    return asking([&] { return hooks_.confirmQuit(informative); });
}

void AppShell::terminate(Ending ending)
{
    if (captureProcess_) {
        captureProcess_->disconnect(this);
        captureProcess_->kill();
        captureProcess_->waitForFinished(1000);
    }
    // A signal is not the user discarding the recording: it stays, as a crash would leave it.
    if (recorderExists() && ending == Ending::signal && recorder.keepForRecovery)
        recorder.keepForRecovery();
    else if (recorderExists() && recorder.cleanup)
        recorder.cleanup();
    delete editorWindow_.data();
    // Prepared series stay: files pasted into a chat are read when the message is sent.
    removeCaptureFiles(temporaryRoot_);
}

} // namespace tarnwick
