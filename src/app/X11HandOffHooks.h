#pragma once

#include "platform/PasteKeyboard.h"
#include "platform/PasteMonitor.h"
#include "platform/X11Connection.h"

#include <QString>

namespace tarnwick {

class AppModel;

// The X server side of the model's hand-off: the Ctrl+V watch (RECORD), our
// own Ctrl+V (XTEST), the active window and the capabilities the panel names.
// The watch starts when installed, and the model's refresh restarts it when
// its connection broke. GUI thread; owned by the shell, outlived by nothing it
// installs hooks into.
class X11HandOffHooks {
public:
    // `display` is the X display of the watch and the hooks ($DISPLAY when empty).
    explicit X11HandOffHooks(QString display = {});

    // Sets the model's and its hand-off's system hooks and refreshes the model,
    // which starts the watch.
    void install(AppModel& model);
    platform::PasteMonitor& monitor() { return monitor_; }

private:
    // The hooks' own connection; the watch has connections of its own.
    platform::X11Connection connection_;
    platform::PasteMonitor monitor_;
    platform::PasteKeyboard keyboard_;
};

} // namespace tarnwick
