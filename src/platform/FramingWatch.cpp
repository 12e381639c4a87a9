#include "platform/FramingWatch.h"

#include "platform/X11Internal.h"

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWindow>

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
    // The server's own news of a window (not the window manager's word): Qt asks the server where
    // the window is now. Heard late, the news may tell of a change made before the window manager
    // put the window into its frame, and the frame may not be placed yet.
    void holdPlace(xcb_configure_notify_event_t& e)
    {
        if ((e.response_type & 0x80) || e.event != e.window)
            return;
        const QWindow* window = topLevel(e.window);
        if (!window)
            return;
        const x11::Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c_, xcb_query_tree(c_, e.window), nullptr));
        if (!tree || tree->parent == tree->root)
            return;
        const x11::Reply<xcb_get_window_attributes_reply_t> frame(
            xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, tree->parent), nullptr));
        if (!frame || frame->map_state == XCB_MAP_STATE_VIEWABLE)
            return;
        // Told as the window manager tells a place, Qt takes it as it is: where Qt put the window.
        // The window manager tells where it went once it has placed the frame.
        const QPoint asked = askedCorner(*window);
        e.x = std::int16_t(asked.x());
        e.y = std::int16_t(asked.y());
        e.response_type |= 0x80;
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
