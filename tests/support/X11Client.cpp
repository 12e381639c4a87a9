#include "support/X11Client.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <xcb/xcb.h>
// xkb.h names a field "explicit"; C++ needs it renamed.
#define explicit xkb_explicit
#include <xcb/xkb.h>
#undef explicit
#include <xcb/xtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace tarnwick::test {

namespace {

template <typename T>
struct Freed {
    T* p;
    ~Freed() { std::free(p); }
    T* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

} // namespace

X11Client::X11Client(const QString& display)
{
    const QByteArray name = display.toLocal8Bit();
    int screen = 0;
    c_ = xcb_connect(name.isEmpty() ? nullptr : name.constData(), &screen);
    if (xcb_connection_has_error(c_)) {
        xcb_disconnect(c_);
        c_ = nullptr;
        throw std::runtime_error("no X server at " + name.toStdString());
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c_));
    for (int i = 0; i < screen; ++i)
        xcb_screen_next(&it);
    root_ = it.data->root;
}

X11Client::~X11Client()
{
    if (c_)
        xcb_disconnect(c_);
}

std::uint32_t X11Client::atom(const char* name)
{
    Freed<xcb_intern_atom_reply_t> reply{xcb_intern_atom_reply(
        c_, xcb_intern_atom(c_, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr)};
    return reply ? reply->atom : 0;
}

std::uint32_t X11Client::createWindow(std::optional<std::int64_t> pid, const QByteArray& wmInstance,
                                      const QByteArray& wmClass)
{
    const xcb_window_t window = xcb_generate_id(c_);
    const std::uint32_t events = XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE;
    xcb_create_window(c_, XCB_COPY_FROM_PARENT, window, root_, 0, 0, 200, 100, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
    if (pid) {
        const std::uint32_t value = static_cast<std::uint32_t>(*pid);
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, window, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &value);
    }
    if (!wmInstance.isEmpty() || !wmClass.isEmpty()) {
        QByteArray value = wmInstance + '\0' + wmClass + '\0';
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                            static_cast<std::uint32_t>(value.size()), value.constData());
    }
    xcb_map_window(c_, window);
    sync();
    return window;
}

void X11Client::destroyWindow(std::uint32_t window)
{
    xcb_destroy_window(c_, window);
    sync();
}

void X11Client::setActiveWindow(std::uint32_t window)
{
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, root_, atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 32, 1, &window);
    sync();
}

void X11Client::removeActiveWindow()
{
    xcb_delete_property(c_, root_, atom("_NET_ACTIVE_WINDOW"));
    sync();
}

std::uint32_t X11Client::selectionOwner(const char* selection)
{
    Freed<xcb_get_selection_owner_reply_t> reply{
        xcb_get_selection_owner_reply(c_, xcb_get_selection_owner(c_, atom(selection)), nullptr)};
    return reply ? reply->owner : 0;
}

void X11Client::focus(std::uint32_t window)
{
    xcb_set_input_focus(c_, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
    sync();
}

std::uint8_t X11Client::keycodeOf(std::uint32_t keysym)
{
    const xcb_setup_t* setup = xcb_get_setup(c_);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    Freed<xcb_get_keyboard_mapping_reply_t> map{xcb_get_keyboard_mapping_reply(
        c_, xcb_get_keyboard_mapping(c_, setup->min_keycode, static_cast<std::uint8_t>(count)), nullptr)};
    if (!map)
        return 0;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map.p);
    for (int i = 0; i < count; ++i) {
        if (syms[i * map->keysyms_per_keycode] == keysym)
            return static_cast<std::uint8_t>(setup->min_keycode + i);
    }
    return 0;
}

void X11Client::press(std::uint8_t keycode)
{
    xcb_test_fake_input(c_, XCB_KEY_PRESS, keycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    sync();
}

void X11Client::release(std::uint8_t keycode)
{
    xcb_test_fake_input(c_, XCB_KEY_RELEASE, keycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    sync();
}

void X11Client::chord(const std::vector<std::uint8_t>& keycodes)
{
    for (std::uint8_t k : keycodes)
        press(k);
    for (auto it = keycodes.rbegin(); it != keycodes.rend(); ++it)
        release(*it);
}

void X11Client::sync()
{
    std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
}

void X11Client::putPixels(std::uint32_t window, int x, int y, int width, int height, const std::uint32_t* pixels)
{
    const xcb_gcontext_t gc = xcb_generate_id(c_);
    xcb_create_gc(c_, gc, window, 0, nullptr);
    // Strips small enough for a server without BIG-REQUESTS.
    const int rows = std::max(1, 200000 / std::max(1, width * 4));
    for (int top = 0; top < height; top += rows) {
        const int n = std::min(rows, height - top);
        xcb_put_image(c_, XCB_IMAGE_FORMAT_Z_PIXMAP, window, gc, static_cast<std::uint16_t>(width),
                      static_cast<std::uint16_t>(n), static_cast<std::int16_t>(x), static_cast<std::int16_t>(y + top),
                      0, 24, static_cast<std::uint32_t>(width * n * 4),
                      reinterpret_cast<const std::uint8_t*>(pixels + std::size_t(top) * width));
    }
    xcb_free_gc(c_, gc);
    sync();
}

void X11Client::movePointer(int x, int y)
{
    xcb_test_fake_input(c_, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root_, static_cast<std::int16_t>(x),
                        static_cast<std::int16_t>(y), 0);
    sync();
}

void X11Client::button(std::uint8_t button, bool press)
{
    xcb_test_fake_input(c_, press ? XCB_BUTTON_PRESS : XCB_BUTTON_RELEASE, button, XCB_CURRENT_TIME, XCB_NONE, 0, 0,
                        0);
    sync();
}

void X11Client::lockGroup(int group)
{
    Freed<xcb_xkb_use_extension_reply_t> use{xcb_xkb_use_extension_reply(c_, xcb_xkb_use_extension(c_, 1, 0), nullptr)};
    if (!use || !use->supported)
        throw std::runtime_error("no XKB");
    xcb_xkb_latch_lock_state(c_, XCB_XKB_ID_USE_CORE_KBD, 0, 0, 1, static_cast<std::uint8_t>(group), 0, 0, 0);
    sync();
}

int X11Client::lockedGroup()
{
    Freed<xcb_xkb_use_extension_reply_t> use{xcb_xkb_use_extension_reply(c_, xcb_xkb_use_extension(c_, 1, 0), nullptr)};
    Freed<xcb_xkb_get_state_reply_t> state{
        xcb_xkb_get_state_reply(c_, xcb_xkb_get_state(c_, XCB_XKB_ID_USE_CORE_KBD), nullptr)};
    return state ? state->lockedGroup : -1;
}

void X11Client::becomeWindowManager()
{
    const std::uint32_t events = XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_generic_error_t* error =
        xcb_request_check(c_, xcb_change_window_attributes_checked(c_, root_, XCB_CW_EVENT_MASK, &events));
    if (error) {
        std::free(error);
        throw std::runtime_error("another client manages the windows");
    }
}

namespace {

// Reads a connection's events until `wait` passes or `handle` answers true.
void pollEvents(xcb_connection_t* c, std::chrono::milliseconds wait, const std::function<bool(xcb_generic_event_t*)>& handle)
{
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (std::chrono::steady_clock::now() < deadline) {
        xcb_generic_event_t* event = xcb_poll_for_event(c);
        if (!event) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        const bool done = handle(event);
        std::free(event);
        if (done)
            return;
    }
}

} // namespace

std::optional<X11Client::ActivationRequest> X11Client::activationRequest(std::chrono::milliseconds wait)
{
    const std::uint32_t activeAtom = atom("_NET_ACTIVE_WINDOW");
    std::optional<ActivationRequest> request;
    pollEvents(c_, wait, [&](xcb_generic_event_t* event) {
        const std::uint8_t type = event->response_type & 0x7f;
        if (type == XCB_MAP_REQUEST) {
            xcb_map_window(c_, reinterpret_cast<xcb_map_request_event_t*>(event)->window);
            xcb_flush(c_);
        } else if (type == XCB_CLIENT_MESSAGE) {
            auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
            if (message->type == activeAtom && message->format == 32)
                request = ActivationRequest{message->window, message->data.data32[0]};
        }
        return request.has_value();
    });
    return request;
}

std::vector<X11Client::KeyEvent> X11Client::keyEvents(std::chrono::milliseconds wait)
{
    std::vector<KeyEvent> events;
    pollEvents(c_, wait, [&](xcb_generic_event_t* event) {
        const std::uint8_t type = event->response_type & 0x7f;
        if (type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE) {
            auto* key = reinterpret_cast<xcb_key_press_event_t*>(event);
            events.push_back({type == XCB_KEY_PRESS, key->detail, key->state});
        }
        return false;
    });
    return events;
}

bool spinUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeout.count())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

int runProcess(const QString& program, const QStringList& args, QByteArray* output, const QByteArray& input,
               std::chrono::milliseconds timeout)
{
    QProcess process;
    process.start(program, args);
    if (!process.waitForStarted(5000))
        return -1;
    if (!input.isNull())
        process.write(input);
    process.closeWriteChannel();
    // A busy loop rather than waitForFinished: the clipboard owner may be us,
    // and it answers only while events are handled.
    const bool finished = spinUntil([&] { return process.state() == QProcess::NotRunning; }, timeout);
    if (!finished) {
        process.kill();
        process.waitForFinished(1000);
        return -1;
    }
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QByteArray xclipRead(const QString& target)
{
    QByteArray out;
    const int code = runProcess(QStringLiteral("xclip"),
                                {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-t"), target,
                                 QStringLiteral("-o")},
                                &out);
    return code == 0 ? out : QByteArray("<xclip failed>");
}

QSet<QString> xclipTargets()
{
    static const QSet<QString> protocol{QStringLiteral("TARGETS"), QStringLiteral("MULTIPLE"), QStringLiteral("TIMESTAMP"),
                                        QStringLiteral("SAVE_TARGETS")};
    QSet<QString> targets;
    for (const QByteArray& line : xclipRead(QStringLiteral("TARGETS")).split('\n')) {
        const QString target = QString::fromLatin1(line);
        if (!target.isEmpty() && !protocol.contains(target))
            targets << target;
    }
    return targets;
}

} // namespace tarnwick::test
