#include "app/SessionGate.h"

#include <array>
#include <cstddef>

namespace tarnwick {
namespace {

constexpr std::size_t commands = 10;
using A = GateAnswer;
constexpr A R = A::run, B = A::beep, F = A::sessionForward, E = A::editorForward, I = A::ignore;

// Columns in ShellCommand order: capture, captureText, captureScrolling, record,
// openImage, openFile, editShot, exportSeries, reopen, addLayer.
constexpr std::array<std::array<A, commands>, 8> table{{
    /* none          */ {R, R, R, R, R, R, R, R, R, I},
    /* picker        */ {B, B, B, B, I, I, I, I, R, I},
    /* textReading   */ {B, B, B, B, I, I, I, I, R, I},
    /* editor        */ {E, B, E, B, I, E, I, I, E, R},
    // The editor is hidden while the picker runs for it: a capture neither shows it nor beeps.
    /* editorCapture */ {I, B, E, B, I, E, I, I, E, I},
    /* scrolling     */ {F, F, F, F, F, F, F, I, F, I},
    // An export is a file write of its own and goes on beside a recording.
    /* recording     */ {F, F, F, F, F, F, F, R, F, I},
    /* exporting     */ {B, B, B, B, I, I, I, I, R, I},
}};

} // namespace

GateAnswer gate(ShellSession session, ShellCommand command)
{
    return table[static_cast<std::size_t>(session)][static_cast<std::size_t>(command)];
}

} // namespace tarnwick
