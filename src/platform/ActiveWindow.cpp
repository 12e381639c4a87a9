#include "platform/ActiveWindow.h"

#include "platform/X11Internal.h"

#include <QCoreApplication>

namespace tarnwick::platform {

std::optional<ActiveWindow> ActiveWindow::query(X11Connection& connection)
{
    xcb_connection_t* c = x11::Access::connection(connection);
    if (!c)
        return std::nullopt;
    auto window = x11::activeWindow(c, x11::Access::root(connection));
    if (!window)
        return std::nullopt;

    // WM_CLASS doubles as the existence check: a stale _NET_ACTIVE_WINDOW
    // naming a destroyed window answers BadWindow.
    xcb_generic_error_t* error = nullptr;
    x11::Reply<xcb_get_property_reply_t> wmClass(xcb_get_property_reply(
        c, xcb_get_property(c, 0, *window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256), &error));
    if (error) {
        std::free(error);
        return std::nullopt;
    }
    ActiveWindow active;
    active.window = *window;
    active.pid = x11::windowPid(c, *window);
    if (wmClass && wmClass->format == 8) {
        const char* text = static_cast<const char*>(xcb_get_property_value(wmClass.get()));
        const QList<QByteArray> parts =
            QByteArray(text, xcb_get_property_value_length(wmClass.get())).split('\0');
        if (!parts.isEmpty())
            active.wmInstance = QString::fromLocal8Bit(parts.value(0));
        if (parts.size() > 1)
            active.wmClass = QString::fromLocal8Bit(parts.value(1));
    }
    return active;
}

bool ActiveWindow::belongsToThisProcess() const
{
    return pid && *pid == QCoreApplication::applicationPid();
}

} // namespace tarnwick::platform
