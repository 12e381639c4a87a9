#include "platform/TopLevelWindows.h"

#include "platform/X11Internal.h"

namespace tarnwick::platform {

namespace {

using x11::Reply;

std::vector<xcb_window_t> clientStack(xcb_connection_t* c, xcb_window_t root)
{
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, root, x11::atom(c, "_NET_CLIENT_LIST_STACKING"), XCB_ATOM_WINDOW, 0, 1 << 16),
        nullptr));
    if (!reply || reply->format != 32)
        return {};
    const auto* v = static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
    return {v, v + xcb_get_property_value_length(reply.get()) / 4};
}

std::vector<xcb_window_t> rootChildren(xcb_connection_t* c, xcb_window_t root)
{
    Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr));
    if (!tree)
        return {};
    const xcb_window_t* v = xcb_query_tree_children(tree.get());
    return {v, v + xcb_query_tree_children_length(tree.get())};
}

} // namespace

std::optional<QMargins> x11::extentsReply(xcb_connection_t* c, xcb_get_property_cookie_t cookie)
{
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c, cookie, nullptr));
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 16)
        return std::nullopt;
    const auto* v = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    // A hostile client can publish anything; a shadow wider than a screen is not one.
    for (int i = 0; i < 4; ++i) {
        if (v[i] > 4096)
            return std::nullopt;
    }
    return QMargins(int(v[0]), int(v[2]), int(v[1]), int(v[3]));
}

std::vector<TopLevelWindow> topLevelWindows(X11Connection& connection)
{
    xcb_connection_t* c = x11::Access::connection(connection);
    if (!c)
        return {};
    const xcb_window_t root = x11::Access::root(connection);
    std::vector<xcb_window_t> windows = clientStack(c, root);
    const bool managed = !windows.empty();
    if (!managed)
        windows = rootChildren(c, root);

    const xcb_atom_t frameAtom = x11::atom(c, "_NET_FRAME_EXTENTS");
    const xcb_atom_t gtkAtom = x11::atom(c, "_GTK_FRAME_EXTENTS");
    struct Pending {
        xcb_get_window_attributes_cookie_t attributes;
        xcb_get_geometry_cookie_t geometry;
        xcb_translate_coordinates_cookie_t origin;
        xcb_get_property_cookie_t frame, gtk;
    };
    // One round trip for the lot: a desktop may have hundreds of windows.
    std::vector<Pending> pending;
    pending.reserve(windows.size());
    for (xcb_window_t w : windows) {
        pending.push_back({xcb_get_window_attributes(c, w), xcb_get_geometry(c, w),
                           xcb_translate_coordinates(c, w, root, 0, 0),
                           xcb_get_property(c, 0, w, frameAtom, XCB_ATOM_CARDINAL, 0, 4),
                           xcb_get_property(c, 0, w, gtkAtom, XCB_ATOM_CARDINAL, 0, 4)});
    }
    std::vector<TopLevelWindow> result;
    for (std::size_t i = 0; i < windows.size(); ++i) {
        Reply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c, pending[i].attributes, nullptr));
        Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, pending[i].geometry, nullptr));
        Reply<xcb_translate_coordinates_reply_t> origin(
            xcb_translate_coordinates_reply(c, pending[i].origin, nullptr));
        const QMargins frame = x11::extentsReply(c, pending[i].frame).value_or(QMargins());
        const QMargins shadow = x11::extentsReply(c, pending[i].gtk).value_or(QMargins());
        if (!attributes || !geometry || !origin || attributes->map_state != XCB_MAP_STATE_VIEWABLE
            || attributes->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT || (!managed && attributes->override_redirect))
            continue;
        const QRect client(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
        TopLevelWindow window{windows[i], client.marginsAdded(frame), client.marginsRemoved(shadow).marginsAdded(frame)};
        if (!window.withoutShadow.isValid())
            window.withoutShadow = window.frame;
        result.push_back(window);
    }
    return result;
}

const TopLevelWindow* windowAt(const std::vector<TopLevelWindow>& windows, QPoint point)
{
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        if (it->frame.contains(point))
            return &*it;
    }
    return nullptr;
}

} // namespace tarnwick::platform
