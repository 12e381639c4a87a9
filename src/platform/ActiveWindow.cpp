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

bool activateWindow(X11Connection& connection, std::uint32_t window)
{
    xcb_connection_t* c = x11::Access::connection(connection);
    if (!c || window == XCB_NONE)
        return false;
    const xcb_window_t root = x11::Access::root(connection);
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = x11::atom(c, "_NET_ACTIVE_WINDOW");
    // Source 2: the user asked for it (our panel's button), so focus-stealing
    // prevention lets it through.
    message.data.data32[0] = 2;
    message.data.data32[1] = XCB_CURRENT_TIME;
    message.data.data32[2] = x11::activeWindow(c, root).value_or(XCB_NONE);
    xcb_generic_error_t* error = xcb_request_check(
        c, xcb_send_event_checked(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                                  reinterpret_cast<const char*>(&message)));
    if (error) {
        std::free(error);
        return false;
    }
    return true;
}

bool ActiveWindow::belongsToThisProcess() const
{
    return pid && *pid == QCoreApplication::applicationPid();
}

} // namespace tarnwick::platform
