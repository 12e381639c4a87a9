#pragma once

// Raw xcb access shared by the X11 facades of the platform layer. Nothing
// outside src/platform includes this header.

#include "platform/X11Connection.h"

#include <xcb/xcb.h>

#include <QByteArray>
#include <QMargins>
#include <QString>
#include <array>
#include <bitset>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

namespace tarnwick::platform::x11 {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

// The event type (without the sent-by-another-client bit) of a native event
// Qt's xcb platform hands to a filter, -1 for anything else.
inline int eventType(const QByteArray& kind, const void* message)
{
    return kind == "xcb_generic_event_t" ? static_cast<const xcb_generic_event_t*>(message)->response_type & 0x7f : -1;
}

struct Access {
    // The live connection, or nullptr when the server does not answer.
    static xcb_connection_t* connection(X11Connection& x);
    static xcb_window_t root(X11Connection& x);
};

// Opens a connection to `display` ($DISPLAY when empty); nullptr and a
// sentence in `error` when it fails. `screen` receives the default screen.
xcb_connection_t* connect(const QString& display, int* screen, QString* error);
xcb_window_t rootOf(xcb_connection_t* c, int screen);
xcb_atom_t atom(xcb_connection_t* c, const char* name);
bool hasExtension(xcb_connection_t* c, xcb_extension_t* ext);
// Qt's own connection (GUI thread), nullptr without an X11 Qt platform.
xcb_connection_t* qtConnection();
// Makes `c` (Qt's connection) hear every property change of the root window.
void listenToRootProperties(xcb_connection_t* c);

// A property of four CARDINALs left, right, top, bottom (_NET_FRAME_EXTENTS,
// _GTK_FRAME_EXTENTS) as margins; nothing when absent, malformed or absurd.
std::optional<QMargins> extentsReply(xcb_connection_t* c, xcb_get_property_cookie_t cookie);

// Sends the window manager a client message about `window` (_NET_WM_STATE, _NET_MOVERESIZE_WINDOW …)
// through the root, as the EWMH asks.
void sendToRoot(xcb_connection_t* c, xcb_window_t root, xcb_window_t window, xcb_atom_t type,
                std::array<std::uint32_t, 5> data);

// The active window per _NET_ACTIVE_WINDOW, or nothing.
std::optional<xcb_window_t> activeWindow(xcb_connection_t* c, xcb_window_t root);
std::optional<std::int64_t> windowPid(xcb_connection_t* c, xcb_window_t window);

enum Modifier : std::uint8_t {
    NoModifier = 0,
    ControlKey = 1,
    ShiftKey = 2,
    AltKey = 4,
    SuperKey = 8,
};

using KeySet = std::bitset<256>;

// What the keys of the keyboard mean, from the core keyboard mapping: which
// key codes type "v" and which are modifier keys.
class Keymap {
public:
    static Keymap load(xcb_connection_t* c);

    bool isValid() const { return valid_; }
    // The keys that type "v" in the first keyboard group, so that Ctrl+V is the
    // same key whichever group (Russian, say) is active.
    const KeySet& pasteKeys() const { return pasteKeys_; }
    std::uint8_t pasteKey() const { return pasteKey_; }
    std::uint8_t controlKey() const { return controlKey_; }
    std::uint8_t modifierOf(std::uint8_t keycode) const { return modifiers_[keycode]; }
    // The modifier kinds held by the keys in `down`.
    std::uint8_t heldModifiers(const KeySet& down) const;

private:
    bool valid_ = false;
    KeySet pasteKeys_;
    std::uint8_t pasteKey_ = 0;
    std::uint8_t controlKey_ = 0;
    std::array<std::uint8_t, 256> modifiers_{};
};

// The keys the server reports as held right now.
KeySet keysDown(xcb_connection_t* c);

} // namespace tarnwick::platform::x11
