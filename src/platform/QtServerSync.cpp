#include "platform/QtServerSync.h"

#include <QGuiApplication>
#include <xcb/xcb.h>

#include <cstdlib>

namespace tarnwick::platform {

void syncQtWithServer()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (c)
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

} // namespace tarnwick::platform
