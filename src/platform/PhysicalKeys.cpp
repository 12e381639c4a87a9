#include "platform/PhysicalKeys.h"

#include "platform/X11Internal.h"

#include <QGuiApplication>
#include <QKeyEvent>

namespace tarnwick::platform {

int latinKey(const QKeyEvent& event)
{
    const int key = event.key();
    const bool ownName = (key > 0 && key < 0x80) || key >= Qt::Key_Escape;
    const quint32 keycode = event.nativeScanCode();
    if (ownName || keycode == 0 || keycode > 255)
        return key;
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c)
        return key;
    // One round trip per key press; the mapping is always the current one.
    const auto cookie = xcb_get_keyboard_mapping(c, static_cast<xcb_keycode_t>(keycode), 1);
    x11::Reply<xcb_get_keyboard_mapping_reply_t> reply(xcb_get_keyboard_mapping_reply(c, cookie, nullptr));
    if (!reply || reply->keysyms_per_keycode == 0 || xcb_get_keyboard_mapping_keysyms_length(reply.get()) < 1)
        return key;
    const xcb_keysym_t first = xcb_get_keyboard_mapping_keysyms(reply.get())[0];
    if (first >= 0x20 && first < 0x7f)
        return QChar(static_cast<char16_t>(first)).toUpper().unicode();
    return key;
}

} // namespace tarnwick::platform
