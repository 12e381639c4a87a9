#include "support/X11Client.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <xcb/xcb.h>
// xkb.h names a field "explicit"; C++ needs it renamed.
#define explicit xkb_explicit
#include <xcb/xkb.h>
#undef explicit
#include <xcb/shape.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <thread>

namespace tarnwick::test {

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
    auto r = reply(xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
    return r ? r->atom : 0;
}

std::uint32_t X11Client::createWindow(std::optional<std::int64_t> pid, const QByteArray& wmInstance, const QByteArray& wmClass)
{
    const xcb_window_t window = xcb_generate_id(c_);
    const std::uint32_t events = XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE;
    xcb_create_window(c_, XCB_COPY_FROM_PARENT, window, root_, 0, 0, 200, 100, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
    if (pid) {
        const auto value = static_cast<std::uint32_t>(*pid);
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, window, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &value);
    }
    if (!wmInstance.isEmpty() || !wmClass.isEmpty()) {
        const QByteArray value = wmInstance + '\0' + wmClass + '\0';
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
    auto r = reply(xcb_get_selection_owner_reply(c_, xcb_get_selection_owner(c_, atom(selection)), nullptr));
    return r ? r->owner : 0;
}

QStringList X11Client::atomNames(std::uint32_t window, const char* property)
{
    QStringList names;
    for (std::uint32_t atom : cardinals(window, property))
        if (auto r = reply(xcb_get_atom_name_reply(c_, xcb_get_atom_name(c_, atom), nullptr)))
            names.push_back(QString::fromLatin1(xcb_get_atom_name_name(r.get()), xcb_get_atom_name_name_length(r.get())));
    return names;
}

void X11Client::closeWindow(std::uint32_t window)
{
    askWindowManager(window, "_NET_CLOSE_WINDOW", {0, 2}); // a direct action of the user
}

void X11Client::moveWindow(std::uint32_t window, int x, int y)
{
    // North-west gravity: the frame's own corner; x and y given; from a pager, for the user.
    askWindowManager(window, "_NET_MOVERESIZE_WINDOW",
                     {1 | 1u << 8 | 1u << 9 | 2u << 12, std::uint32_t(x), std::uint32_t(y)});
}

void X11Client::tellConfigured(std::uint32_t window, const QRect& rootPixels)
{
    xcb_configure_notify_event_t notify{};
    notify.response_type = XCB_CONFIGURE_NOTIFY;
    notify.event = notify.window = window;
    notify.x = std::int16_t(rootPixels.x());
    notify.y = std::int16_t(rootPixels.y());
    notify.width = std::uint16_t(rootPixels.width());
    notify.height = std::uint16_t(rootPixels.height());
    xcb_send_event(c_, 0, window, XCB_EVENT_MASK_STRUCTURE_NOTIFY, reinterpret_cast<const char*>(&notify));
    sync();
}

void X11Client::askWindowManager(std::uint32_t window, const char* request, const std::vector<std::uint32_t>& data)
{
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = atom(request);
    std::copy_n(data.begin(), std::min<std::size_t>(data.size(), 5), message.data.data32);
    xcb_send_event(c_, 0, root_, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&message));
    sync();
}

void X11Client::focus(std::uint32_t window)
{
    xcb_set_input_focus(c_, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
    sync();
}

std::uint32_t X11Client::inputFocus()
{
    auto focus = reply(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
    return focus ? focus->focus : 0;
}

std::uint8_t X11Client::keycodeOf(std::uint32_t keysym)
{
    const xcb_setup_t* setup = xcb_get_setup(c_);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    auto map = reply(xcb_get_keyboard_mapping_reply(
        c_, xcb_get_keyboard_mapping(c_, setup->min_keycode, static_cast<std::uint8_t>(count)), nullptr));
    const xcb_keysym_t* syms = map ? xcb_get_keyboard_mapping_keysyms(map.get()) : nullptr;
    for (int i = 0; syms && i < count; ++i) {
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
    // Sent as one batch, which the server takes in one go: a test held up between a press and
    // its release on a loaded machine would otherwise let the server repeat the key.
    for (std::uint8_t k : keycodes)
        xcb_test_fake_input(c_, XCB_KEY_PRESS, k, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    for (auto it = keycodes.rbegin(); it != keycodes.rend(); ++it)
        xcb_test_fake_input(c_, XCB_KEY_RELEASE, *it, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    sync();
}

void X11Client::sync()
{
    reply(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
}

void X11Client::putPixels(std::uint32_t window, int x, int y, int width, int height, const std::uint32_t* pixels,
                          bool throughChildren)
{
    const xcb_gcontext_t gc = xcb_generate_id(c_);
    const std::uint32_t mode = throughChildren ? XCB_SUBWINDOW_MODE_INCLUDE_INFERIORS : XCB_SUBWINDOW_MODE_CLIP_BY_CHILDREN;
    xcb_create_gc(c_, gc, window, XCB_GC_SUBWINDOW_MODE, &mode);
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

void X11Client::drag(int fromX, int fromY, int toX, int toY)
{
    movePointer(fromX, fromY);
    button(1, true);
    movePointer((fromX + toX) / 2, (fromY + toY) / 2);
    movePointer(toX, toY);
    button(1, false);
}

void X11Client::click(int x, int y, std::uint8_t which)
{
    movePointer(x, y);
    button(which, true);
    button(which, false);
}

std::vector<std::uint32_t> X11Client::paintNoise(std::uint32_t window, int x, int y, int width, int height,
                                                 std::uint32_t seed, bool throughChildren)
{
    std::vector<std::uint32_t> pixels(std::size_t(width) * height);
    std::uint32_t state = seed | 1;
    for (auto& p : pixels) {
        state ^= state << 13, state ^= state >> 17, state ^= state << 5;
        p = state; // a junk top byte, which a reader must not take for alpha
    }
    putPixels(window, x, y, width, height, pixels.data(), throughChildren);
    for (auto& p : pixels)
        p |= 0xff000000u;
    return pixels;
}

std::vector<std::uint32_t> X11Client::cardinals(std::uint32_t window, const char* property)
{
    const auto r = reply(xcb_get_property_reply(
        c_, xcb_get_property(c_, 0, window, atom(property), XCB_GET_PROPERTY_TYPE_ANY, 0, 1024), nullptr));
    if (!r || r->format != 32)
        return {};
    const auto* v = static_cast<const std::uint32_t*>(xcb_get_property_value(r.get()));
    return {v, v + xcb_get_property_value_length(r.get()) / 4};
}

void X11Client::setCardinals(std::uint32_t window, const char* property, const std::vector<std::uint32_t>& values)
{
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, window, atom(property), XCB_ATOM_CARDINAL, 32,
                        static_cast<std::uint32_t>(values.size()), values.data());
    sync();
}

bool X11Client::keyboardGrabbedElsewhere()
{
    // The probe takes the keyboard for a moment. Were another client's grab to come in that moment,
    // it would fail for good (a menu opened then stays deaf to keys), so the probe is taken and
    // given back with the server held: no other client's request runs in between.
    xcb_grab_server(c_);
    const auto cookie = xcb_grab_keyboard(c_, 0, root_, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    // Releases only a grab of this client's own: a no-op when someone else holds the keyboard.
    xcb_ungrab_keyboard(c_, XCB_CURRENT_TIME);
    xcb_ungrab_server(c_);
    const auto r = reply(xcb_grab_keyboard_reply(c_, cookie, nullptr));
    return r && r->status == XCB_GRAB_STATUS_ALREADY_GRABBED;
}

QList<std::uint32_t> X11Client::viewableUnmanagedWindows()
{
    QList<std::uint32_t> found;
    const auto tree = reply(xcb_query_tree_reply(c_, xcb_query_tree(c_, root_), nullptr));
    if (!tree)
        return found;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
        const auto a = reply(xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, children[i]), nullptr));
        if (a && a->override_redirect && a->map_state == XCB_MAP_STATE_VIEWABLE)
            found << children[i];
    }
    return found;
}

QRect X11Client::rootGeometry(std::uint32_t window)
{
    const auto geometry = reply(xcb_get_geometry_reply(c_, xcb_get_geometry(c_, window), nullptr));
    const auto origin =
        reply(xcb_translate_coordinates_reply(c_, xcb_translate_coordinates(c_, window, root_, 0, 0), nullptr));
    if (!geometry || !origin)
        return {};
    return QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
}

QRect X11Client::shapeExtents(std::uint32_t window)
{
    const auto extents = reply(xcb_shape_query_extents_reply(c_, xcb_shape_query_extents(c_, window), nullptr));
    if (!extents)
        return {};
    return QRect(extents->bounding_shape_extents_x, extents->bounding_shape_extents_y,
                 extents->bounding_shape_extents_width, extents->bounding_shape_extents_height);
}

std::uint32_t X11Client::topLevelUnderPointer()
{
    const auto r = reply(xcb_query_pointer_reply(c_, xcb_query_pointer(c_, root_), nullptr));
    return r ? r->child : 0;
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
    auto use = reply(xcb_xkb_use_extension_reply(c_, xcb_xkb_use_extension(c_, 1, 0), nullptr));
    if (!use || !use->supported)
        throw std::runtime_error("no XKB");
    xcb_xkb_latch_lock_state(c_, XCB_XKB_ID_USE_CORE_KBD, 0, 0, 1, static_cast<std::uint8_t>(group), 0, 0, 0);
    sync();
}

int X11Client::lockedGroup()
{
    reply(xcb_xkb_use_extension_reply(c_, xcb_xkb_use_extension(c_, 1, 0), nullptr));
    auto state = reply(xcb_xkb_get_state_reply(c_, xcb_xkb_get_state(c_, XCB_XKB_ID_USE_CORE_KBD), nullptr));
    return state ? state->lockedGroup : -1;
}

void X11Client::becomeWindowManager()
{
    const std::uint32_t events = XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    if (reply(xcb_request_check(c_, xcb_change_window_attributes_checked(c_, root_, XCB_CW_EVENT_MASK, &events))))
        throw std::runtime_error("another client manages the windows");
}

std::optional<X11Client::ActivationRequest> X11Client::activationRequest(std::chrono::milliseconds wait)
{
    const std::uint32_t activeAtom = atom("_NET_ACTIVE_WINDOW");
    std::optional<ActivationRequest> request;
    for (const auto deadline = std::chrono::steady_clock::now() + wait; !request && std::chrono::steady_clock::now() < deadline;) {
        auto event = reply(xcb_poll_for_event(c_));
        const std::uint8_t type = event ? event->response_type & 0x7f : 0;
        if (!event) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        } else if (type == XCB_MAP_REQUEST) {
            xcb_map_window(c_, reinterpret_cast<xcb_map_request_event_t*>(event.get())->window);
            xcb_flush(c_);
        } else if (auto* message = reinterpret_cast<xcb_client_message_event_t*>(event.get());
                   type == XCB_CLIENT_MESSAGE && message->type == activeAtom && message->format == 32) {
            request = ActivationRequest{message->window, message->data.data32[0]};
        }
    }
    return request;
}

bool X11Client::ping(std::uint32_t window, std::chrono::milliseconds wait)
{
    // A client answers on the root, to those who listen to its structure (and to the window manager).
    const auto attributes = reply(xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, root_), nullptr));
    if (!attributes)
        return false;
    const std::uint32_t events = attributes->your_event_mask | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(c_, root_, XCB_CW_EVENT_MASK, &events);
    const std::uint32_t protocols = atom("WM_PROTOCOLS"), pingAtom = atom("_NET_WM_PING");
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = protocols;
    message.data.data32[0] = pingAtom;
    message.data.data32[1] = XCB_CURRENT_TIME;
    message.data.data32[2] = window;
    xcb_send_event(c_, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
    xcb_flush(c_);
    return spinUntil(
        [&] {
            while (auto event = reply(xcb_poll_for_event(c_))) {
                auto* answer = reinterpret_cast<xcb_client_message_event_t*>(event.get());
                if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE && answer->type == protocols &&
                    answer->data.data32[0] == pingAtom && answer->data.data32[2] == window)
                    return true;
            }
            return false;
        },
        wait);
}

std::vector<X11Client::KeyEvent> X11Client::takeKeyEvents()
{
    std::vector<KeyEvent> events;
    while (auto event = reply(xcb_poll_for_event(c_))) {
        const std::uint8_t type = event->response_type & 0x7f;
        if (auto* key = reinterpret_cast<xcb_key_press_event_t*>(event.get()); type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE)
            events.push_back({type == XCB_KEY_PRESS, key->detail, key->state});
    }
    return events;
}

std::vector<X11Client::KeyEvent> X11Client::keyEvents(std::chrono::milliseconds wait)
{
    std::vector<KeyEvent> events;
    for (const auto deadline = std::chrono::steady_clock::now() + wait; std::chrono::steady_clock::now() < deadline;) {
        for (const KeyEvent& e : takeKeyEvents())
            events.push_back(e);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
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
    // OpenMP's threads (the tesseract command's) wait for each other by spinning: beside other
    // work one reading then takes minutes instead of a second.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("OMP_THREAD_LIMIT"), QStringLiteral("1"));
    process.setProcessEnvironment(env);
    process.start(program, args);
    if (!process.waitForStarted(5000))
        return -1;
    if (!input.isNull())
        process.write(input);
    process.closeWriteChannel();
    // Not waitForFinished: the clipboard owner may be us, and it answers only
    // while events are handled.
    if (!spinUntil([&] { return process.state() == QProcess::NotRunning; }, timeout)) {
        process.kill();
        process.waitForFinished(1000);
        return -1;
    }
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

int typeText(const QString& text, int delayMs)
{
    if (runProcess(QStringLiteral("xset"), {QStringLiteral("r"), QStringLiteral("off")}) != 0)
        return -1;
    return runProcess(QStringLiteral("xdotool"), {QStringLiteral("type"), QStringLiteral("--delay"), QString::number(delayMs), text});
}

bool startOpenbox(QProcess& openbox, std::chrono::milliseconds timeout)
{
    // Openbox runs its startup command once it manages windows.
    openbox.start(QStringLiteral("openbox"),
                  {QStringLiteral("--sm-disable"), QStringLiteral("--startup"), QStringLiteral("echo wm-ready")});
    QByteArray said;
    return spinUntil([&] { return (said += openbox.readAllStandardOutput()).contains("wm-ready"); }, timeout);
}

QByteArray xclipRead(const QString& target)
{
    QByteArray out;
    const QStringList args{QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-t"), target, QStringLiteral("-o")};
    return runProcess(QStringLiteral("xclip"), args, &out) == 0 ? out : QByteArray("<xclip failed>");
}

bool xclipWrite(const QByteArray& text)
{
    X11Client x;
    const std::uint32_t before = x.selectionOwner("CLIPBOARD");
    // Neither this run nor the wait turn the Qt event loop: Qt has not seen
    // the loss yet when this returns. xclip's parent exits before the child
    // owns the selection.
    QProcess xclip;
    xclip.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("xclip -selection clipboard -i >/dev/null 2>&1")});
    xclip.write(text);
    xclip.closeWriteChannel();
    if (!xclip.waitForFinished(5000) || xclip.exitCode() != 0)
        return false;
    for (const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30); x.selectionOwner("CLIPBOARD") == before;) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

QSet<QString> xclipTargets()
{
    static const QSet<QString> protocol{QStringLiteral("TARGETS"), QStringLiteral("MULTIPLE"), QStringLiteral("TIMESTAMP"),
                                        QStringLiteral("SAVE_TARGETS")};
    QSet<QString> targets;
    for (const QByteArray& line : xclipRead(QStringLiteral("TARGETS")).split('\n')) {
        if (!line.isEmpty() && !protocol.contains(QString::fromLatin1(line)))
            targets << QString::fromLatin1(line);
    }
    return targets;
}

} // namespace tarnwick::test
