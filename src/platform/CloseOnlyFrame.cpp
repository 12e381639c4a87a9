#include "platform/CloseOnlyFrame.h"

#include "platform/X11Internal.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <vector>

namespace tarnwick::platform {

void frameWithCloseOnly(std::uint32_t window)
{
    xcb_connection_t* c = x11::qtConnection();
    if (!c || window == XCB_NONE)
        return;
    const xcb_atom_t property = x11::atom(c, "_NET_WM_WINDOW_TYPE"), toolbar = x11::atom(c, "_NET_WM_WINDOW_TYPE_TOOLBAR");
    std::vector<xcb_atom_t> types{toolbar};
    x11::Reply<xcb_get_property_reply_t> current(
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, property, XCB_ATOM_ATOM, 0, 32), nullptr));
    if (current && current->format == 32) {
        const auto* items = static_cast<const xcb_atom_t*>(xcb_get_property_value(current.get()));
        std::copy_if(items, items + xcb_get_property_value_length(current.get()) / 4, std::back_inserter(types),
                     [&](xcb_atom_t type) { return type != toolbar; });
    }
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, property, XCB_ATOM_ATOM, 32, std::uint32_t(types.size()), types.data());
    xcb_flush(c);
}

} // namespace tarnwick::platform
