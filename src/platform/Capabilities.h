#pragma once

namespace tarnwick::platform {

class X11Connection;

// The three capabilities in the order the permission window lists them.
enum class Capability { screen, pasteWatch, autoPaste };

// What the X server lets Tarnwick do: read the screen, watch Ctrl+V in other
// windows (RECORD), type Ctrl+V itself (XTEST).
struct Capabilities {
    bool screen = false; // a GetImage of the root window answers
    bool record = false; // a RECORD context can be created
    bool xtest = false;  // the XTEST extension is present

    bool all() const { return screen && record && xtest; }
};

bool hasScreenAccess(X11Connection& connection);
bool hasRecordExtension(X11Connection& connection);
bool hasXTestExtension(X11Connection& connection);
Capabilities checkCapabilities(X11Connection& connection);

} // namespace tarnwick::platform
