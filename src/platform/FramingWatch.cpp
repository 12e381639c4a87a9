#include "platform/FramingWatch.h"

#include "platform/X11Internal.h"

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWindow>
#include <optional>

namespace tarnwick::platform {

namespace {

// Where Qt puts `window` on the screen, in root pixels: Qt keeps a screen's top left corner in
// root pixels and scales what lies beyond it.
QPoint askedCorner(const QWindow& window)
{
    const QScreen* screen = window.screen();
    const QPoint corner = window.geometry().topLeft();
    if (!screen)
        return corner;
    const QPoint origin = screen->geometry().topLeft();
    return origin + (QPointF(corner - origin) * window.devicePixelRatio()).toPoint();
}

class FramingWatch final : public QObject, public QAbstractNativeEventFilter {
public:
    explicit FramingWatch(xcb_connection_t* c) : QObject(qApp), c_(c) { qApp->installNativeEventFilter(this); }

    bool nativeEventFilter(const QByteArray& kind, void* message, qintptr*) override
    {
        if (x11::eventType(kind, message) == XCB_CONFIGURE_NOTIFY)
            holdPlace(*static_cast<xcb_configure_notify_event_t*>(message));
        return false;
    }

private:
    // The server's own news of a window (not the window manager's word): Qt would ask the server
    // where the window is now, and the news may be of a change made before the window manager put
    // the window into its frame, while the frame is not placed yet. Asked here instead, with the
    // server held so that the answers agree, and told to Qt as the window manager tells a place,
    // which Qt takes as it is.
    void holdPlace(xcb_configure_notify_event_t& e)
    {
        if ((e.response_type & 0x80) || e.event != e.window)
            return;
        const QWindow* window = topLevel(e.window);
        if (!window)
            return;
        xcb_grab_server(c_);
        const std::optional<QPoint> shown = placed(e.window);
        xcb_ungrab_server(c_);
        xcb_flush(c_);
        // Until the frame is placed and shown, the window is where Qt put it; the window manager
        // tells where it went once it has placed the frame.
        const QPoint at = shown.value_or(askedCorner(*window));
        e.x = std::int16_t(at.x());
        e.y = std::int16_t(at.y());
        e.response_type |= 0x80;
    }

    // Where the server shows `window` (root pixels), unless it sits in a frame not yet shown.
    std::optional<QPoint> placed(xcb_window_t window)
    {
        const x11::Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c_, xcb_query_tree(c_, window), nullptr));
        if (!tree)
            return std::nullopt;
        if (tree->parent != tree->root) {
            const x11::Reply<xcb_get_window_attributes_reply_t> frame(
                xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, tree->parent), nullptr));
            if (!frame || frame->map_state != XCB_MAP_STATE_VIEWABLE)
                return std::nullopt;
        }
        const x11::Reply<xcb_translate_coordinates_reply_t> at(
            xcb_translate_coordinates_reply(c_, xcb_translate_coordinates(c_, window, tree->root, 0, 0), nullptr));
        if (!at)
            return std::nullopt;
        return QPoint(at->dst_x, at->dst_y);
    }

    static const QWindow* topLevel(xcb_window_t id)
    {
        for (const QWindow* window : QGuiApplication::topLevelWindows())
            if (window->handle() && window->type() != Qt::ForeignWindow && window->winId() == id)
                return window;
        return nullptr;
    }

    xcb_connection_t* c_;
};

} // namespace

void holdPlacesWhileFraming()
{
    static QPointer<FramingWatch> watch;
    if (watch || !qApp)
        return;
    if (xcb_connection_t* c = x11::qtConnection())
        watch = new FramingWatch(c);
}

} // namespace tarnwick::platform
