#pragma once

namespace tarnwick::platform {

// Returns once the X server has handled every request Qt's own connection
// sent so far: a window Qt just hid is off the screen for every other
// client, e.g. a grab that follows on another connection. Does nothing
// without an X11 Qt platform. GUI thread.
void syncQtWithServer();

} // namespace tarnwick::platform
