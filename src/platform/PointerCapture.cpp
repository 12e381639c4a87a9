#include "platform/PointerCapture.h"

#include "platform/TarnwickError.h"
#include "platform/X11Internal.h"

#include <xcb/xfixes.h>
#include <xcb/xinput.h>

#include <cstring>
#include <poll.h>
#include <pthread.h>

namespace tarnwick::platform {

struct PointerCapture::Connection {
    xcb_connection_t* c = nullptr;
    xcb_window_t root = 0;

    explicit Connection(const QString& display)
    {
        int screen = 0;
        QString error;
        c = x11::connect(display, &screen, &error);
        if (!c)
            throw TarnwickError(error);
        root = x11::rootOf(c, screen);
    }
    ~Connection()
    {
        if (c)
            xcb_disconnect(c);
    }
};

PointerCapture::PointerCapture(const QString& display)
    : queries_(std::make_unique<Connection>(display)), events_(std::make_unique<Connection>(display))
{
    xcb_connection_t* c = queries_->c;
    if (x11::hasExtension(c, &xcb_xfixes_id)) {
        // XFixes answers cursor requests only after the client said which version it speaks.
        x11::Reply<xcb_xfixes_query_version_reply_t> version(
            xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 4, 0), nullptr));
        xfixes_ = version && version->major_version >= 1;
    }
}

PointerCapture::~PointerCapture() { stopWatchingClicks(); }

std::optional<PointerCapture::Cursor> PointerCapture::cursor()
{
    if (!xfixes_)
        return std::nullopt;
    xcb_connection_t* c = queries_->c;
    x11::Reply<xcb_xfixes_get_cursor_image_reply_t> reply(
        xcb_xfixes_get_cursor_image_reply(c, xcb_xfixes_get_cursor_image(c), nullptr));
    if (!reply || reply->width == 0 || reply->height == 0)
        return std::nullopt;
    Cursor cursor;
    cursor.image = QImage(reply->width, reply->height, QImage::Format_ARGB32_Premultiplied);
    const std::uint32_t* pixels = xcb_xfixes_get_cursor_image_cursor_image(reply.get());
    for (int y = 0; y < reply->height; ++y)
        std::memcpy(cursor.image.scanLine(y), pixels + y * reply->width, 4 * static_cast<std::size_t>(reply->width));
    cursor.position = QPoint(reply->x, reply->y);
    cursor.topLeft = cursor.position - QPoint(reply->xhot, reply->yhot);
    cursor.serial = reply->cursor_serial;
    return cursor;
}

bool PointerCapture::watchClicks(std::function<void(QPoint)> onClick)
{
    stopWatchingClicks();
    xcb_connection_t* c = events_->c;
    if (!x11::hasExtension(c, &xcb_input_id))
        return false;
    x11::Reply<xcb_input_xi_query_version_reply_t> version(
        xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr));
    if (!version || (version->major_version < 2) || (version->major_version == 2 && version->minor_version < 2))
        return false;
    struct {
        xcb_input_event_mask_t header;
        std::uint32_t mask;
    } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS};
    xcb_generic_error_t* error = xcb_request_check(c, xcb_input_xi_select_events_checked(c, events_->root, 1, &mask.header));
    if (error) {
        std::free(error);
        return false;
    }
    watching_ = true;
    watcher_ = std::thread([this, onClick = std::move(onClick)] { watch(onClick); });
    return true;
}

void PointerCapture::watch(std::function<void(QPoint)> onClick)
{
    pthread_setname_np(pthread_self(), "tarnwick-clicks");
    xcb_connection_t* c = events_->c;
    const std::uint8_t opcode = xcb_get_extension_data(c, &xcb_input_id)->major_opcode;
    pollfd fd{xcb_get_file_descriptor(c), POLLIN, 0};
    while (watching_ && !xcb_connection_has_error(c)) {
        poll(&fd, 1, 50); // wakes often enough to notice the stop
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            const auto* generic = reinterpret_cast<xcb_ge_generic_event_t*>(event);
            if ((event->response_type & 0x7f) == XCB_GE_GENERIC && generic->extension == opcode
                && generic->event_type == XCB_INPUT_RAW_BUTTON_PRESS) {
                const auto* press = reinterpret_cast<xcb_input_raw_button_press_event_t*>(event);
                if (press->detail == 1 || press->detail == 3) {
                    x11::Reply<xcb_query_pointer_reply_t> pointer(
                        xcb_query_pointer_reply(c, xcb_query_pointer(c, events_->root), nullptr));
                    if (pointer)
                        onClick(QPoint(pointer->root_x, pointer->root_y));
                }
            }
            std::free(event);
        }
    }
}

void PointerCapture::stopWatchingClicks()
{
    watching_ = false;
    if (watcher_.joinable())
        watcher_.join();
}

} // namespace tarnwick::platform
