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

void syncQtWithServer()
{
    if (xcb_connection_t* c = x11::qtConnection())
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

} // namespace tarnwick::platform
