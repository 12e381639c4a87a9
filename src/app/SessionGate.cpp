#include "app/SessionGate.h"

#include <array>
#include <cstddef>

namespace tarnwick {
namespace {

constexpr std::size_t commands = 12;
using A = GateAnswer;
constexpr A R = A::run, B = A::beep, F = A::sessionForward, E = A::editorForward, I = A::ignore, D = A::dialogForward;

// Columns in ShellCommand order: capture, captureText, captureScrolling, record,
// openImage, openFile, editShot, exportSeries, reopen, addLayer, showPanel,
// finishEditor.
constexpr std::array<std::array<A, commands>, 11> table{{
    /* none            */ {R, R, R, R, R, R, R, R, R, I, R, I},
    /* picker          */ {B, B, B, B, I, I, I, I, R, I, R, I},
    /* textReading     */ {B, B, B, B, I, I, I, I, R, I, R, I},
    /* editor          */ {E, B, E, B, I, E, I, I, E, R, R, R},
    // The editor is hidden while the picker runs for it: no command shows it over the picker
    // (an image handed over waits for the editor's end), a capture does not beep, and the
    // editor cannot be finished until the layer is in.
    /* editorCapture   */ {I, B, I, B, I, I, I, I, I, I, I, B},
    // The finish may wait on the series (a refused 27th shot) with the window still up;
    // a second finish from it is dropped.
    /* editorClosing   */ {E, B, E, B, I, E, I, I, E, R, R, I},
    /* scrolling       */ {F, F, F, F, F, F, F, I, F, I, F, I},
    // An export is a file write of its own and goes on beside a recording; the panel
    // may show beside the recorder's settings and review.
    /* recording       */ {F, F, F, F, F, F, F, R, F, I, R, I},
    // While the recorder holds the screen the panel stays away: it would be recorded.
    /* recorderCapture */ {F, F, F, F, F, F, F, R, F, I, F, I},
    /* exporting       */ {B, B, B, B, I, I, I, I, R, I, R, I},
    // The answer is the dialog's: what a key would start next to it (a second editor, a
    // capture under an open question) is what the answer may contradict.
    /* dialog          */ {D, D, D, D, D, D, D, D, D, I, R, I},
}};

} // namespace

GateAnswer gate(ShellSession session, ShellCommand command)
{
    return table[static_cast<std::size_t>(session)][static_cast<std::size_t>(command)];
}

} // namespace tarnwick
