#pragma once

#include <QString>
#include <Qt>
#include <functional>
#include <memory>

namespace tarnwick::platform {

// System-wide hot keys: a key with exact modifiers that runs an action
// whichever window has the focus. One object holds a group of keys and
// releases all of them when destroyed, so another program can take them.
// Lives on the GUI thread.
//
// A key is the physical key that types it in the first keyboard group, so
// Ctrl+2 also fires with the Russian layout active; CapsLock and NumLock do
// not matter. While a menu of ours is open it holds the keyboard, and the
// keys it gets are its own, not hot keys. Under a Wayland session no key can
// be had (isAvailable() is false and add() refuses with a sentence saying so).
class GlobalHotKeys {
public:
    virtual ~GlobalHotKeys() = default;

    // False when hot keys cannot work in this session at all.
    virtual bool isAvailable() const = 0;

    // Grabs `key` (a digit, a letter, Space, Return or Escape) with exactly
    // `modifiers` (Control, Shift, Alt; Meta stands for Super). `pressed` runs
    // on the GUI thread after the key event has been handled. False when the
    // key cannot be had (another program holds it, an unknown key):
    // errorText() says why, and the keys added before stay.
    virtual bool add(Qt::Key key, Qt::KeyboardModifiers modifiers, std::function<void()> pressed) = 0;

    // Why the last add() failed, or why hot keys are unavailable: a Russian sentence.
    virtual QString errorText() const = 0;
};

// The X11 backend on Qt's own connection when Qt runs on xcb outside a
// Wayland session, the null backend otherwise.
std::unique_ptr<GlobalHotKeys> makeGlobalHotKeys();

// The key as the interface names it: "Ctrl+Shift+0", "Enter".
QString hotKeyText(Qt::Key key, Qt::KeyboardModifiers modifiers);

} // namespace tarnwick::platform
