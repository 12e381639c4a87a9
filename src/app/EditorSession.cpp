// The editing session of the shell: opening a shot in the editor, image layers
// captured or imported for it, and its end.
#include "app/AppShell.h"

#include "capture/SelectionOverlays.h"
#include "editor/model/EditorState.h"
#include "editor/window/EditorExportWindow.h"
#include "panels/FloatingPanel.h"
#include "panels/WindowPlacement.h"
#include "platform/UsableArea.h"

#include <QScreen>

namespace tarnwick {

void AppShell::openEditor(const Screenshot& shot, const QString& label, std::optional<QRect> capturedArea)
{
    // One editor at a time: a shot that comes while one is open goes into the series as it is.
    if (editorWindow_) {
        if (model_->save(shot, shot.annotations, false))
            model_->setStatus(QStringLiteral("Редактор уже открыт: снимок ") + label + QStringLiteral(" добавлен в серию."));
        bringEditorForward();
        return;
    }
    setSession(ShellSession::editor);
    if (panel_)
        panel_->hide();
    const QPointer<AppShell> self(this);
    // The hooks belong to this editor alone.
    const quint64 owner = ++editorsOpened_;
    EditorShellHooks hooks;
    hooks.finishEditor = [self, owner](bool save, bool prepareForPaste) {
        if (self && self->isOpenEditor(owner))
            self->finishEditor(save, prepareForPaste);
    };
    hooks.chooseImageSaveDirectory = [self](std::function<void(std::optional<QString>)> completion) {
        if (self)
            self->chooseImageSaveDirectory(completion);
        else
            completion(std::nullopt);
    };
    hooks.addScreenshot = [self, owner](ScreenCaptureMode mode) {
        if (!self || !self->isOpenEditor(owner) || !self->admit(ShellCommand::addLayer)
            || self->model_->transferInProgress() || !self->editorWindow_->state().images().canAdd())
            return;
        self->captureRegion(mode, self->editorWindow_);
    };
    hooks.importImage = [self] {
        if (self)
            self->importLayerImage();
    };
    editorWindow_ = new EditorExportWindow(std::make_unique<EditorState>(shot, label), *model_, std::move(hooks));
    if (QScreen* screen = capture::workingScreen(capturedArea)) {
        editorWindow_->setScreen(screen);
        // Sized for the screen it opens on, which may be smaller than the primary one.
        const QRect available = platform::usableArea(*screen);
        editorWindow_->resize(EditorExportWindow::contentSize(available));
        editorWindow_->move(centredOn(available, editorWindow_->size()));
    }
    bringEditorForward();
}

void AppShell::bringEditorForward()
{
    if (!editorWindow_)
        return;
    editorWindow_->showNormal();
    editorWindow_->raise();
    editorWindow_->activateWindow();
}

void AppShell::editShot(const QUuid& id)
{
    if (!admit(ShellCommand::editShot))
        return;
    const QVector<Screenshot>& shots = model_->shots();
    for (qsizetype i = 0; i < shots.size(); ++i) {
        if (shots[i].id == id) {
            openEditor(shots[i], shotLabel(i));
            return;
        }
    }
}

void AppShell::restoreLayerEditor(const QPointer<EditorExportWindow>& editor, const std::optional<QImage>& image)
{
    if (!editor)
        return;
    editor->state().images().setCapturing(false);
    fileReads_.resume();
    if (editor != editorWindow_)
        return;
    if (image)
        editor->state().images().add({*image});
    bringEditorForward();
}

void AppShell::importLayerImage()
{
    const QPointer<EditorExportWindow> session = editorWindow_;
    if (!session || !session->state().images().canAdd())
        return;
    const QStringList files = asking([this, &session] { return hooks_.chooseLayerImages(session); });
    if (!files.isEmpty() && session && session == editorWindow_)
        session->state().images().addFiles(files);
}

void AppShell::finishEditor(bool save, bool prepareForPaste)
{
    if (!editorWindow_ || !admit(ShellCommand::finishEditor))
        return;
    EditorState& state = editorWindow_->state();
    if (save && !state.canExport()) {
        beep();
        return;
    }
    setSession(ShellSession::editorClosing);
    state.backgroundRemoval().cancel();
    state.qr().abandon();
    state.style().setPickingColor(false);
    // A 27th shot is refused (beep) and the editor stays, so nothing is lost.
    if (save && !model_->save(state.editedShot(), state.annotations(), prepareForPaste)) {
        setSession(ShellSession::editor);
        return;
    }
    // Files still being read for layers end with the session that asked for them.
    const bool layersLost = state.images().readsWaiting() > 0;
    EditorExportWindow* window = editorWindow_;
    editorWindow_ = nullptr;
    window->closeFinished();
    // The finish may have started inside the window's own key handling.
    window->deleteLater();
    setSession(ShellSession::none);
    if (!save)
        model_->setStatus(QStringLiteral("Изменения отменены"));
    if (layersLost) {
        QString status = model_->status();
        if (!status.isEmpty())
            status += status.endsWith(u'.') ? QStringLiteral(" ") : QStringLiteral(". ");
        model_->setStatus(status + QStringLiteral("Изображение, которое ещё читалось, в снимок не вставлено: редактор закрыт раньше."));
    }
    if (activeWindows_)
        activeWindows_->activateLast();
    showPanel();
}

} // namespace tarnwick
