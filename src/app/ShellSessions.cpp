// Which session the shell runs, the gate's answers carried out, and the dialog of the
// program that holds the keys while it is open.
#include "app/AppShell.h"

#include "app/ScrollingCaptureController.h"
#include "editor/model/EditorState.h"
#include "editor/window/EditorExportWindow.h"

#include <QApplication>
#include <QWidget>

namespace tarnwick {
namespace {

// The modal dialog of ours in front: Qt's list of them is private, and a window-modal one
// (the panel's clear question) steps aside for a capture instead.
QWidget* modalDialog()
{
    QWidget* found = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible() && window->isModal() && window->windowModality() == Qt::ApplicationModal)
            found = window;
    if (QWidget* active = QApplication::activeModalWidget(); active && active->windowModality() == Qt::ApplicationModal)
        found = active;
    return found;
}

} // namespace

bool AppShell::dialogOpen() const { return dialogs_ > 0 || modalDialog(); }

ShellSession AppShell::session() const
{
    if (dialogOpen())
        return ShellSession::dialog;
    if (session_ == ShellSession::editor && editorWindow_ && editorWindow_->state().images().capturing())
        return ShellSession::editorCapture;
    if (session_ == ShellSession::none && recorderExists())
        return recorder.holdsScreen && recorder.holdsScreen() ? ShellSession::recorderCapture : ShellSession::recording;
    return session_;
}

void AppShell::setSession(ShellSession session)
{
    session_ = session;
    model_->setBusy(isBusy(session));
    // An image read while a session ran may open now.
    fileReads_.resume();
}

void AppShell::endSession(ShellSession own)
{
    if (session_ == own)
        setSession(ShellSession::none);
}

bool AppShell::admit(ShellCommand command)
{
    switch (gate(session(), command)) {
    case GateAnswer::run: return true;
    case GateAnswer::beep: beep(); break;
    case GateAnswer::sessionForward: bringSessionForward(); break;
    case GateAnswer::editorForward: bringEditorForward(); break;
    case GateAnswer::ignore: break;
    case GateAnswer::dialogForward: bringDialogForward(); break;
    }
    return false;
}

// A scrolling capture or a recorder in the way is brought forward instead of the command.
void AppShell::bringSessionForward()
{
    if (scrolling_)
        scrolling_->present();
    else if (recorderExists() && recorder.present)
        recorder.present();
}

void AppShell::bringDialogForward()
{
    QWidget* dialog = modalDialog();
    if (!dialog)
        return;
    dialog->setWindowState(dialog->windowState() & ~Qt::WindowMinimized);
    dialog->raise();
    dialog->activateWindow();
}

} // namespace tarnwick
