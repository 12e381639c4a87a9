#include "platform/WindowFrame.h"

#include "platform/X11Internal.h"

#include <algorithm>

namespace tarnwick::platform {

namespace {

using x11::Reply;

// The child of the root that holds `window`: its frame under a reparenting window manager.
xcb_window_t outermost(xcb_connection_t* c, xcb_window_t window)
{
    for (int depth = 0; depth < 16; ++depth) {
        Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr));
        if (!tree || tree->parent == XCB_NONE || tree->parent == tree->root)
            return window;
        window = tree->parent;
    }
    return window;
}

std::optional<QRect> onRoot(xcb_connection_t* c, xcb_window_t root, xcb_window_t window)
{
    const auto geometryCookie = xcb_get_geometry(c, window);
    const auto originCookie = xcb_translate_coordinates(c, window, root, 0, 0);
    Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, geometryCookie, nullptr));
    Reply<xcb_translate_coordinates_reply_t> origin(xcb_translate_coordinates_reply(c, originCookie, nullptr));
    if (!geometry || !origin)
        return std::nullopt;
    // The border lies outside the origin the translation gives.
    const int border = geometry->border_width;
    return QRect(origin->dst_x - border, origin->dst_y - border, geometry->width + 2 * border,
                 geometry->height + 2 * border);
}

bool supported(xcb_connection_t* c, xcb_window_t root, xcb_atom_t wanted)
{
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, root, x11::atom(c, "_NET_SUPPORTED"), XCB_ATOM_ATOM, 0, 4096), nullptr));
    if (!reply || reply->format != 32)
        return false;
    const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
    const auto* end = atoms + xcb_get_property_value_length(reply.get()) / 4;
    return std::find(atoms, end, wanted) != end;
}

} // namespace

std::optional<ShownWindow> shownWindow(X11Connection& connection, std::uint32_t window)
{
    xcb_connection_t* c = x11::Access::connection(connection);
    if (!c || window == XCB_NONE)
        return std::nullopt;
    const xcb_window_t root = x11::Access::root(connection);
    // Viewable: mapped, and so is every window that holds it, the frame too.
    Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr));
    if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
        return std::nullopt;
    const std::optional<QRect> client = onRoot(c, root, window);
    const xcb_window_t holder = outermost(c, window);
    const std::optional<QRect> frame = holder == window ? client : onRoot(c, root, holder);
    if (!client || !frame)
        return std::nullopt;
    return ShownWindow{*frame, *client};
}

std::optional<QRect> coveredArea(X11Connection& connection, std::uint32_t window)
{
    xcb_connection_t* c = x11::Access::connection(connection);
    if (!c || window == XCB_NONE)
        return std::nullopt;
    const xcb_window_t holder = outermost(c, window);
    Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, holder), nullptr));
    if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
        return std::nullopt;
    return onRoot(c, x11::Access::root(connection), holder);
}

std::optional<QMargins> frameExtents(X11Connection& connection, std::uint32_t window)
{
    xcb_connection_t* c = x11::Access::connection(connection);
    if (!c || window == XCB_NONE)
        return std::nullopt;
    return x11::extentsReply(
        c, xcb_get_property(c, 0, window, x11::atom(c, "_NET_FRAME_EXTENTS"), XCB_ATOM_CARDINAL, 0, 4));
}

bool requestFrameExtents(X11Connection& connection, std::uint32_t window)
{
    xcb_connection_t* c = x11::Access::connection(connection);
    if (!c || window == XCB_NONE)
        return false;
    x11::sendToRoot(c, x11::Access::root(connection), window, x11::atom(c, "_NET_REQUEST_FRAME_EXTENTS"), {});
    xcb_flush(c);
    return true;
}

bool moveResizeWindow(X11Connection& connection, std::uint32_t window, const QRect& client)
{
    xcb_connection_t* c = x11::Access::connection(connection);
    if (!c || window == XCB_NONE)
        return false;
    const xcb_window_t root = x11::Access::root(connection);
    const xcb_atom_t request = x11::atom(c, "_NET_MOVERESIZE_WINDOW");
    if (!supported(c, root, request))
        return false;
    // Static gravity: the numbers are the window's own area, whatever its frame.
    constexpr std::uint32_t staticGravity = 10, allFields = 0xf << 8, fromApplication = 1 << 12;
    x11::sendToRoot(c, root, window, request,
               {staticGravity | allFields | fromApplication, std::uint32_t(client.x()), std::uint32_t(client.y()),
                std::uint32_t(client.width()), std::uint32_t(client.height())});
    xcb_flush(c);
    return true;
}

} // namespace tarnwick::platform
