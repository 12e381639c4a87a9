#include "platform/PasteKeyboard.h"

#include "platform/PasteMonitor.h"
#include "platform/X11Internal.h"

#include <xcb/xtest.h>

#include <iterator>

namespace tarnwick::platform {

PasteKeyboard::PasteKeyboard(X11Connection& connection, PasteMonitor* monitor)
    : connection_(connection), monitor_(monitor)
{
}

PasteOutcome PasteKeyboard::paste(std::uint32_t targetWindow)
{
    xcb_connection_t* c = x11::Access::connection(connection_);
    if (!c)
        return PasteOutcome::NoConnection;
    if (!x11::hasExtension(c, &xcb_test_id))
        return PasteOutcome::NoXTest;
    auto active = x11::activeWindow(c, x11::Access::root(connection_));
    if (!active || *active != targetWindow)
        return PasteOutcome::TargetNotActive;

    const x11::Keymap keymap = x11::Keymap::load(c);
    if (!keymap.isValid() || keymap.controlKey() == 0)
        return PasteOutcome::Failed;
    if (keymap.heldModifiers(x11::keysDown(c)) != x11::NoModifier)
        return PasteOutcome::ModifiersHeld;

    if (monitor_)
        monitor_->expectSyntheticPaste();
    const struct {
        std::uint8_t type;
        std::uint8_t key;
    } presses[] = {
        {XCB_KEY_PRESS, keymap.controlKey()},
        {XCB_KEY_PRESS, keymap.pasteKey()},
        {XCB_KEY_RELEASE, keymap.pasteKey()},
        {XCB_KEY_RELEASE, keymap.controlKey()},
    };
    xcb_void_cookie_t cookies[std::size(presses)];
    for (std::size_t i = 0; i < std::size(presses); ++i)
        cookies[i] = xcb_test_fake_input_checked(c, presses[i].type, presses[i].key, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    bool failed = false;
    for (const xcb_void_cookie_t& cookie : cookies) {
        if (xcb_generic_error_t* error = xcb_request_check(c, cookie)) {
            std::free(error);
            failed = true;
        }
    }
    return failed ? PasteOutcome::Failed : PasteOutcome::Posted;
}

} // namespace tarnwick::platform
