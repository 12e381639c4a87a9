#include "platform/WindowFrame.h"

#include "platform/X11Internal.h"

#include <algorithm>
#include <array>

namespace tarnwick::platform {

namespace {

using x11::Reply;

xcb_window_t rootOf(xcb_connection_t* c) { return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root; }

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

bool viewable(xcb_connection_t* c, xcb_window_t window)
{
    Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr));
    return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
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

std::optional<ShownWindow> shownWindow(std::uint32_t window)
{
    xcb_connection_t* c = x11::qtConnection();
    // Viewable: mapped, and so is every window that holds it, the frame too.
    if (!c || window == XCB_NONE || !viewable(c, window))
        return std::nullopt;
    const xcb_window_t root = rootOf(c);
    const std::optional<QRect> client = onRoot(c, root, window);
    const xcb_window_t holder = outermost(c, window);
    const std::optional<QRect> frame = holder == window ? client : onRoot(c, root, holder);
    if (!client || !frame)
        return std::nullopt;
    return ShownWindow{*frame, *client};
}

std::optional<QMargins> frameExtents(std::uint32_t window)
{
    xcb_connection_t* c = x11::qtConnection();
    if (!c || window == XCB_NONE)
        return std::nullopt;
    return x11::extentsReply(
        c, xcb_get_property(c, 0, window, x11::atom(c, "_NET_FRAME_EXTENTS"), XCB_ATOM_CARDINAL, 0, 4));
}

void requestFrameExtents(std::uint32_t window)
{
    xcb_connection_t* c = x11::qtConnection();
    if (!c || window == XCB_NONE)
        return;
    x11::sendToRoot(c, rootOf(c), window, x11::atom(c, "_NET_REQUEST_FRAME_EXTENTS"), {});
    xcb_flush(c);
}

bool moveResizeWindow(std::uint32_t window, const QRect& client)
{
    xcb_connection_t* c = x11::qtConnection();
    if (!c || window == XCB_NONE)
        return false;
    const xcb_window_t root = rootOf(c);
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

void setSizeLimits(std::uint32_t window, QSize least, QSize most, int step)
{
    xcb_connection_t* c = x11::qtConnection();
    if (!c || window == XCB_NONE)
        return;
    // WM_SIZE_HINTS: flags, x, y, width, height, min w/h, max w/h, increment w/h, aspect (4),
    // base w/h, gravity.
    constexpr std::uint32_t minSize = 1 << 4, maxSize = 1 << 5, increments = 1 << 6;
    std::array<std::uint32_t, 18> hints{};
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 0, 18), nullptr));
    if (reply && reply->format == 32) {
        const auto* items = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
        std::copy_n(items, std::min<int>(18, xcb_get_property_value_length(reply.get()) / 4), hints.begin());
    }
    const auto clamp = [](int v) { return std::uint32_t(std::clamp(v, 1, 32767)); };
    const std::array<std::uint32_t, 18> before = hints;
    hints[0] |= minSize | increments;
    hints[5] = clamp(least.width());
    hints[6] = clamp(least.height());
    // A window without a largest size says none.
    const bool limited = most.width() < 32767 || most.height() < 32767;
    hints[0] = limited ? hints[0] | maxSize : hints[0] & ~maxSize;
    hints[7] = clamp(most.width());
    hints[8] = clamp(most.height());
    hints[9] = hints[10] = clamp(step);
    // Told only when they change: each telling has the window manager fit the window again.
    if (hints == before)
        return;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 32,
                        std::uint32_t(hints.size()), hints.data());
    xcb_flush(c);
}

bool pointerButtonHeld()
{
    xcb_connection_t* c = x11::qtConnection();
    if (!c)
        return false;
    Reply<xcb_query_pointer_reply_t> pointer(xcb_query_pointer_reply(c, xcb_query_pointer(c, rootOf(c)), nullptr));
    constexpr std::uint16_t buttons = XCB_BUTTON_MASK_1 | XCB_BUTTON_MASK_2 | XCB_BUTTON_MASK_3;
    return pointer && (pointer->mask & buttons);
}

std::optional<QRect> coveredArea(X11Connection& connection, std::uint32_t window)
{
    xcb_connection_t* c = x11::Access::connection(connection);
    if (!c || window == XCB_NONE)
        return std::nullopt;
    const xcb_window_t holder = outermost(c, window);
    if (!viewable(c, holder))
        return std::nullopt;
    return onRoot(c, x11::Access::root(connection), holder);
}

} // namespace tarnwick::platform
