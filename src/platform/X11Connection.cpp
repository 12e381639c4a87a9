#include "platform/X11Connection.h"

#include "platform/X11Internal.h"

#include <X11/keysym.h>

#include <cstring>

namespace tarnwick::platform {

struct X11Connection::Impl {
    QString display;
    QString error;
    xcb_connection_t* connection = nullptr;
    int screen = 0;

    void close()
    {
        if (connection)
            xcb_disconnect(connection);
        connection = nullptr;
    }
};

X11Connection::X11Connection(QString display) : d_(std::make_unique<Impl>())
{
    d_->display = std::move(display);
}

X11Connection::~X11Connection()
{
    d_->close();
}

const QString& X11Connection::displayName() const
{
    return d_->display;
}

const QString& X11Connection::errorText() const
{
    return d_->error;
}

bool X11Connection::connect()
{
    if (d_->connection) {
        // Nobody waits for events here; reading them is how a closed socket shows.
        while (xcb_generic_event_t* event = xcb_poll_for_event(d_->connection))
            std::free(event);
        if (!xcb_connection_has_error(d_->connection))
            return true;
    }
    d_->close();
    d_->connection = x11::connect(d_->display, &d_->screen, &d_->error);
    return d_->connection != nullptr;
}

namespace x11 {

xcb_connection_t* Access::connection(X11Connection& x)
{
    return x.connect() ? x.d_->connection : nullptr;
}

xcb_window_t Access::root(X11Connection& x)
{
    xcb_connection_t* c = connection(x);
    return c ? rootOf(c, x.d_->screen) : XCB_NONE;
}

xcb_connection_t* connect(const QString& display, int* screen, QString* error)
{
    QByteArray name = display.toLocal8Bit();
    if (name.isEmpty())
        name = qgetenv("DISPLAY");
    int defaultScreen = 0;
    xcb_connection_t* c = xcb_connect(name.isEmpty() ? nullptr : name.constData(), &defaultScreen);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        if (error) {
            *error = name.isEmpty()
                ? QStringLiteral("Нет связи с X-сервером: переменная DISPLAY не задана.")
                : QStringLiteral("Нет связи с X-сервером «%1».").arg(QString::fromLocal8Bit(name));
        }
        return nullptr;
    }
    if (screen)
        *screen = defaultScreen;
    if (error)
        error->clear();
    return c;
}

xcb_window_t rootOf(xcb_connection_t* c, int screen)
{
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; it.rem; ++i, xcb_screen_next(&it)) {
        if (i == screen)
            return it.data->root;
    }
    return XCB_NONE;
}

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

bool hasExtension(xcb_connection_t* c, xcb_extension_t* ext)
{
    const xcb_query_extension_reply_t* data = xcb_get_extension_data(c, ext);
    return data && data->present;
}

namespace {

std::optional<std::uint32_t> cardinalProperty(xcb_connection_t* c, xcb_window_t window,
                                              xcb_atom_t property, xcb_atom_t type)
{
    if (property == XCB_ATOM_NONE)
        return std::nullopt;
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, property, type, 0, 1), nullptr));
    if (!reply || reply->type != type || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4)
        return std::nullopt;
    std::uint32_t value;
    std::memcpy(&value, xcb_get_property_value(reply.get()), sizeof value);
    return value;
}

} // namespace

std::optional<xcb_window_t> activeWindow(xcb_connection_t* c, xcb_window_t root)
{
    auto window = cardinalProperty(c, root, atom(c, "_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW);
    if (!window || *window == XCB_NONE)
        return std::nullopt;
    return *window;
}

std::optional<std::int64_t> windowPid(xcb_connection_t* c, xcb_window_t window)
{
    auto pid = cardinalProperty(c, window, atom(c, "_NET_WM_PID"), XCB_ATOM_CARDINAL);
    if (!pid || *pid == 0)
        return std::nullopt;
    return static_cast<std::int64_t>(*pid);
}

namespace {

std::uint8_t modifierOfKeysym(std::uint32_t sym)
{
    switch (sym) {
    case XK_Control_L:
    case XK_Control_R:
        return ControlKey;
    case XK_Shift_L:
    case XK_Shift_R:
        return ShiftKey;
    case XK_Alt_L:
    case XK_Alt_R:
    case XK_Meta_L:
    case XK_Meta_R:
    case XK_ISO_Level3_Shift:
    case XK_ISO_Level5_Shift:
    case XK_Mode_switch:
        return AltKey;
    case XK_Super_L:
    case XK_Super_R:
    case XK_Hyper_L:
    case XK_Hyper_R:
        return SuperKey;
    default:
        return NoModifier;
    }
}

// The evdev key code of the V key, for a keyboard on which no key types "v".
constexpr std::uint8_t physicalVKey = 55;

} // namespace

Keymap Keymap::load(xcb_connection_t* c)
{
    Keymap map;
    const xcb_setup_t* setup = xcb_get_setup(c);
    const int first = setup->min_keycode;
    const int count = setup->max_keycode - setup->min_keycode + 1;
    Reply<xcb_get_keyboard_mapping_reply_t> reply(xcb_get_keyboard_mapping_reply(
        c, xcb_get_keyboard_mapping(c, setup->min_keycode, static_cast<std::uint8_t>(count)), nullptr));
    if (!reply)
        return map;
    const int perKey = reply->keysyms_per_keycode;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply.get());
    const int total = xcb_get_keyboard_mapping_keysyms_length(reply.get());
    KeySet vAnywhere;
    for (int i = 0; i < count && (i + 1) * perKey <= total; ++i) {
        const int keycode = first + i;
        const xcb_keysym_t* row = syms + i * perKey;
        for (int col = 0; col < perKey; ++col) {
            const xcb_keysym_t sym = row[col];
            map.modifiers_[keycode] |= modifierOfKeysym(sym);
            if (sym == XK_v || sym == XK_V) {
                vAnywhere.set(keycode);
                // The first two columns are the first group's two levels.
                if (col < 2)
                    map.pasteKeys_.set(keycode);
            }
            if (sym == XK_Control_L && col < 2 && map.controlKey_ == 0)
                map.controlKey_ = static_cast<std::uint8_t>(keycode);
        }
    }
    if (map.pasteKeys_.none())
        map.pasteKeys_ = vAnywhere;
    if (map.pasteKeys_.none() && physicalVKey >= first && physicalVKey < first + count)
        map.pasteKeys_.set(physicalVKey);
    for (int k = 0; k < 256; ++k) {
        if (map.pasteKeys_.test(k)) {
            map.pasteKey_ = static_cast<std::uint8_t>(k);
            break;
        }
    }
    map.valid_ = map.pasteKey_ != 0;
    return map;
}

std::uint8_t Keymap::heldModifiers(const KeySet& down) const
{
    std::uint8_t held = NoModifier;
    for (int k = 0; k < 256; ++k) {
        if (down.test(k))
            held |= modifiers_[k];
    }
    return held;
}

KeySet keysDown(xcb_connection_t* c)
{
    KeySet down;
    Reply<xcb_query_keymap_reply_t> reply(xcb_query_keymap_reply(c, xcb_query_keymap(c), nullptr));
    if (!reply)
        return down;
    for (int byte = 0; byte < 32; ++byte) {
        for (int bit = 0; bit < 8; ++bit) {
            if (reply->keys[byte] & (1u << bit))
                down.set(byte * 8 + bit);
        }
    }
    return down;
}

} // namespace x11
} // namespace tarnwick::platform
