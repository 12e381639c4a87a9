#include "platform/Capabilities.h"

#include "platform/X11Internal.h"

#include <xcb/record.h>
#include <xcb/xtest.h>

namespace tarnwick::platform {

bool hasScreenAccess(X11Connection& connection)
{
    xcb_connection_t* c = x11::Access::connection(connection);
    if (!c)
        return false;
    xcb_generic_error_t* error = nullptr;
    x11::Reply<xcb_get_image_reply_t> image(xcb_get_image_reply(
        c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, x11::Access::root(connection), 0, 0, 1, 1, ~0u), &error));
    std::free(error);
    return image != nullptr;
}

bool hasRecordExtension(X11Connection& connection)
{
    xcb_connection_t* c = x11::Access::connection(connection);
    if (!c || !x11::hasExtension(c, &xcb_record_id))
        return false;
    x11::Reply<xcb_record_query_version_reply_t> version(xcb_record_query_version_reply(
        c, xcb_record_query_version(c, XCB_RECORD_MAJOR_VERSION, XCB_RECORD_MINOR_VERSION), nullptr));
    if (!version)
        return false;
    // Present is not enough: a server may refuse contexts to some clients.
    xcb_record_context_t context = xcb_generate_id(c);
    xcb_record_client_spec_t clients = XCB_RECORD_CS_ALL_CLIENTS;
    xcb_record_range_t range{};
    range.device_events.first = XCB_KEY_PRESS;
    range.device_events.last = XCB_KEY_RELEASE;
    xcb_generic_error_t* error =
        xcb_request_check(c, xcb_record_create_context_checked(c, context, 0, 1, 1, &clients, &range));
    if (error) {
        std::free(error);
        return false;
    }
    xcb_record_free_context(c, context);
    xcb_flush(c);
    return true;
}

bool hasXTestExtension(X11Connection& connection)
{
    xcb_connection_t* c = x11::Access::connection(connection);
    if (!c || !x11::hasExtension(c, &xcb_test_id))
        return false;
    x11::Reply<xcb_test_get_version_reply_t> version(
        xcb_test_get_version_reply(c, xcb_test_get_version(c, 2, 2), nullptr));
    return version != nullptr;
}

Capabilities checkCapabilities(X11Connection& connection)
{
    return {hasScreenAccess(connection), hasRecordExtension(connection), hasXTestExtension(connection)};
}

} // namespace tarnwick::platform
