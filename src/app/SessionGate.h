#pragma once

namespace tarnwick {

// What the shell runs now. One at a time: an image layer captured for the editor
// runs inside the editor's session (editorCapture), the editor's own finish is a
// session until the window has gone (editorClosing), the recorder holds the
// screen from its area selection to the end of its capture (recorderCapture), and
// a synchronous export may run while the recorder is open. A modal dialog or
// question of the program holds the keys over whatever runs beneath it (dialog).
enum class ShellSession {
    none,
    picker,
    textReading,
    editor,
    editorCapture,
    editorClosing,
    scrolling,
    recording,
    recorderCapture,
    exporting,
    dialog
};

// The commands that start a session, end the editor's or bring one forward, and
// showing the panel.
enum class ShellCommand {
    capture,
    captureText,
    captureScrolling,
    record,
    openImage,
    openFile,
    editShot,
    exportSeries,
    reopen,
    addLayer,
    showPanel,
    finishEditor
};

// What a command meets: it runs (its own checks of the series and the hand-off
// still apply), beeps, brings the running scrolling capture or recorder forward,
// brings the editor forward, does nothing, or brings the open dialog forward.
enum class GateAnswer { run, beep, sessionForward, editorForward, ignore, dialogForward };

// The one table of which command each session refuses, and how.
GateAnswer gate(ShellSession session, ShellCommand command);

// The panel shows the series as busy (no new shot, no paste) in every session
// but the recorder's.
constexpr bool isBusy(ShellSession session)
{
    return session != ShellSession::none && session != ShellSession::recording
        && session != ShellSession::recorderCapture;
}

} // namespace tarnwick
