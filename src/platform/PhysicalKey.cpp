#include "platform/PhysicalKey.h"

#include "platform/X11Internal.h"

#include <QGuiApplication>
#include <cctype>

namespace tarnwick::platform {

int physicalKey(const QKeyEvent& event)
{
    const quint32 keycode = event.nativeScanCode();
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection() || keycode < 8 || keycode > 255)
        return event.key();
    // One round trip per key press: the mapping is always current and key presses are rare.
    xcb_connection_t* c = x11->connection();
    const x11::Reply<xcb_get_keyboard_mapping_reply_t> map(
        xcb_get_keyboard_mapping_reply(c, xcb_get_keyboard_mapping(c, xcb_keycode_t(keycode), 1), nullptr));
    if (!map || map->keysyms_per_keycode < 1 || xcb_get_keyboard_mapping_keysyms_length(map.get()) < 1)
        return event.key();
    const xcb_keysym_t sym = xcb_get_keyboard_mapping_keysyms(map.get())[0];
    if (sym < 0x20 || sym > 0x7e)
        return event.key();
    // Qt's keys for printable ASCII are the upper-case characters themselves.
    return std::toupper(int(sym));
}

} // namespace tarnwick::platform
