#pragma once

namespace tarnwick::platform {

class X11Connection;

// What the X server lets Tarnwick do; each stands in for one of the three
// permissions the interface asks for.
struct Capabilities {
    bool screen = false;          // a GetImage of the root window answers
    bool inputMonitoring = false; // a RECORD context can be created
    bool accessibility = false;   // the XTEST extension is present

    bool all() const { return screen && inputMonitoring && accessibility; }
};

bool hasScreenAccess(X11Connection& connection);
bool hasInputMonitoring(X11Connection& connection);
bool hasAccessibility(X11Connection& connection);
Capabilities checkCapabilities(X11Connection& connection);

} // namespace tarnwick::platform
