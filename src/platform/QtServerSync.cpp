#include "platform/QtServerSync.h"

#include "platform/X11Internal.h"

#include <QGuiApplication>
#include <xcb/xcb.h>

#include <cstdlib>

namespace tarnwick::platform {

xcb_connection_t* x11::qtConnection()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

void x11::listenToRootProperties(xcb_connection_t* c)
{
    // Added to whatever Qt asked for, which may not include them.
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, root), nullptr));
    const std::uint32_t mask = (attributes ? attributes->your_event_mask : 0) | XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);
}

void syncQtWithServer()
{
    if (xcb_connection_t* c = x11::qtConnection())
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

} // namespace tarnwick::platform
