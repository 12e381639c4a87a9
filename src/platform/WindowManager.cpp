#include "platform/WindowManager.h"

#include "platform/X11Internal.h"

#include <string>
#include <vector>

namespace tarnwick::platform {
namespace {

constexpr std::uint32_t allDesktops = 0xFFFFFFFF;

} // namespace

bool showOnAllDesktops(X11Connection& connection, std::uint32_t window)
{
    xcb_connection_t* c = x11::Access::connection(connection);
    if (!c || window == XCB_NONE)
        return false;
    const xcb_window_t root = x11::Access::root(connection);
    const xcb_atom_t desktop = x11::atom(c, "_NET_WM_DESKTOP");
    // The property is read when the window is mapped; a mapped window is moved by messages.
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, desktop, XCB_ATOM_CARDINAL, 32, 1, &allDesktops);
    x11::sendToRoot(c, root, window, desktop, {allDesktops, 2, 0, 0, 0});
    constexpr std::uint32_t add = 1;
    x11::sendToRoot(c, root, window, x11::atom(c, "_NET_WM_STATE"), {add, x11::atom(c, "_NET_WM_STATE_STICKY"), 0, 2, 0});
    // One round trip: the requests reached a live server.
    return x11::Reply<xcb_get_input_focus_reply_t>(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)) != nullptr;
}

bool keepAbove(X11Connection& connection, std::uint32_t window)
{
    xcb_connection_t* c = x11::Access::connection(connection);
    if (!c || window == XCB_NONE)
        return false;
    constexpr std::uint32_t add = 1;
    x11::sendToRoot(c, x11::Access::root(connection), window, x11::atom(c, "_NET_WM_STATE"),
               {add, x11::atom(c, "_NET_WM_STATE_ABOVE"), 0, 2, 0});
    return x11::Reply<xcb_get_input_focus_reply_t>(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)) != nullptr;
}

bool refuseFocus(X11Connection& connection, std::uint32_t window)
{
    xcb_connection_t* c = x11::Access::connection(connection);
    if (!c || window == XCB_NONE)
        return false;
    const xcb_atom_t protocols = x11::atom(c, "WM_PROTOCOLS"), takeFocus = x11::atom(c, "WM_TAKE_FOCUS");
    const x11::Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, protocols, XCB_ATOM_ATOM, 0, 64), nullptr));
    if (!reply)
        return false;
    std::vector<xcb_atom_t> kept;
    if (reply->format == 32) {
        const auto* offered = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
        for (int i = 0; i < xcb_get_property_value_length(reply.get()) / 4; ++i)
            if (offered[i] != takeFocus)
                kept.push_back(offered[i]);
    }
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, protocols, XCB_ATOM_ATOM, 32, std::uint32_t(kept.size()),
                        kept.data());
    return x11::Reply<xcb_get_input_focus_reply_t>(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)) != nullptr;
}

bool windowManagerRunning(X11Connection& connection)
{
    xcb_connection_t* c = x11::Access::connection(connection);
    if (!c)
        return false;
    const x11::Reply<xcb_get_window_attributes_reply_t> root(xcb_get_window_attributes_reply(
        c, xcb_get_window_attributes(c, x11::Access::root(connection)), nullptr));
    return root && (root->all_event_masks & XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT);
}

bool isManaged(X11Connection& connection, std::uint32_t window)
{
    xcb_connection_t* c = x11::Access::connection(connection);
    if (!c || window == XCB_NONE)
        return false;
    const xcb_atom_t state = x11::atom(c, "WM_STATE");
    x11::Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, state, state, 0, 1), nullptr));
    constexpr std::uint32_t withdrawn = 0;
    return reply && reply->format == 32 && xcb_get_property_value_length(reply.get()) >= 4
           && *static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get())) != withdrawn;
}

bool isManagementChange(X11Connection& connection, const QByteArray& eventType, const void* message,
                        std::uint32_t window)
{
    if (x11::eventType(eventType, message) != XCB_PROPERTY_NOTIFY)
        return false;
    const auto* change = static_cast<const xcb_property_notify_event_t*>(message);
    xcb_connection_t* c = x11::Access::connection(connection);
    return c && change->window == window && change->atom == x11::atom(c, "WM_STATE");
}

bool compositingManagerRunning(X11Connection& connection)
{
    xcb_connection_t* c = x11::Access::connection(connection);
    if (!c)
        return false;
    const xcb_window_t root = x11::Access::root(connection);
    int screen = 0;
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c)); it.rem; xcb_screen_next(&it), ++screen)
        if (it.data->root == root)
            break;
    const std::string name = "_NET_WM_CM_S" + std::to_string(screen);
    x11::Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, x11::atom(c, name.c_str())), nullptr));
    return owner && owner->owner != XCB_NONE;
}

bool clipboardManagerRunning(X11Connection& connection)
{
    xcb_connection_t* c = x11::Access::connection(connection);
    if (!c)
        return false;
    x11::Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, x11::atom(c, "CLIPBOARD_MANAGER")), nullptr));
    return owner && owner->owner != XCB_NONE;
}

void x11::sendToRoot(xcb_connection_t* c, xcb_window_t root, xcb_window_t window, xcb_atom_t type,
                   std::array<std::uint32_t, 5> data)
{
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = type;
    for (std::size_t i = 0; i < data.size(); ++i)
        message.data.data32[i] = data[i];
    xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
}

} // namespace tarnwick::platform
