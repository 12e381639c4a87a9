#pragma once

namespace tarnwick {

// What the shell runs now. One at a time: an image layer captured for the editor
// runs inside the editor's session (editorCapture), and a synchronous export may
// run while the recorder's window is open.
enum class ShellSession { none, picker, textReading, editor, editorCapture, scrolling, recording, exporting };

// The commands that start a session or bring one forward.
enum class ShellCommand { capture, captureText, captureScrolling, record, openImage, openFile, editShot, exportSeries, reopen, addLayer };

// What a command meets: it runs (its own checks of the series and the hand-off
// still apply), beeps, brings the running scrolling capture or recorder forward,
// brings the editor forward, or does nothing.
enum class GateAnswer { run, beep, sessionForward, editorForward, ignore };

// The one table of which command each session refuses, and how.
GateAnswer gate(ShellSession session, ShellCommand command);

// The panel shows the series as busy (no new shot, no paste) in every session
// but the recorder's.
constexpr bool isBusy(ShellSession session) { return session != ShellSession::none && session != ShellSession::recording; }

} // namespace tarnwick
