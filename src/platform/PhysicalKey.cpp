#include "platform/PhysicalKey.h"

#include "platform/X11Internal.h"

// xkb.h names a field `explicit`, which C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <QPointer>
#include <algorithm>
#include <array>
#include <cctype>
#include <optional>
#include <set>

namespace tarnwick::platform {
namespace {

// The US keys of the main block from key code 10 ("1") to 61 ("/"); evdev and
// the older xfree86 key codes agree there. Zero where the key types no character.
constexpr char usMainBlock[] = "1234567890-=\0\0qwertyuiop[]\0\0asdfghjkl;'`\0\\zxcvbnm,./";
constexpr int usFirst = 10;

bool printable(xcb_keysym_t sym) { return sym >= 0x20 && sym <= 0x7e; }
// Qt's keys for printable ASCII are the upper-case characters themselves.
int qtKeyOf(unsigned char c) { return std::toupper(c); }

// XKB event kinds (the second byte of an XKB event) after which key codes may have moved.
constexpr std::uint8_t xkbNewKeyboardNotify = 0;
constexpr std::uint8_t xkbMapNotify = 1;

// Watches Qt's own event stream: drops the key map when the server changes it,
// and keeps the keys that are down, so a press of a held key reads as a repeat.
class KeyboardWatch final : public QObject, public QAbstractNativeEventFilter {
public:
    explicit KeyboardWatch(xcb_connection_t* c) : QObject(qApp), c_(c)
    {
        const char name[] = "XKEYBOARD";
        x11::Reply<xcb_query_extension_reply_t> xkb{
            xcb_query_extension_reply(c, xcb_query_extension(c, sizeof name - 1, name), nullptr)};
        xkbEvent_ = xkb && xkb->present ? xkb->first_event : -1;
        if (xkbEvent_ >= 0) {
            // Without it the server repeats a held key as release-press pairs, and
            // Qt tells a pair from a real release only when the press is already queued.
            const auto flag = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
            std::free(xcb_xkb_per_client_flags_reply(
                c, xcb_xkb_per_client_flags(c, XCB_XKB_ID_USE_CORE_KBD, flag, flag, 0, 0, 0), nullptr));
        }
        qApp->installNativeEventFilter(this);
    }
    // A child of the application is deleted after the application object has gone.
    ~KeyboardWatch() override
    {
        if (auto* app = QCoreApplication::instance())
            app->removeNativeEventFilter(this);
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override
    {
        const int type = x11::eventType(eventType, message);
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if (type == XCB_KEY_PRESS) {
            const auto* press = static_cast<const xcb_key_press_event_t*>(message);
            if (!down_.insert(press->detail).second)
                repeats_[next_++ % repeats_.size()] = {press->detail, press->time};
        } else if (type == XCB_KEY_RELEASE) {
            down_.erase(static_cast<const xcb_key_release_event_t*>(message)->detail);
        } else if (type == XCB_FOCUS_IN) {
            down_.clear(); // releases while another client had the keyboard never came here
        } else if (type == XCB_MAPPING_NOTIFY
                   || (xkbEvent_ >= 0 && type == xkbEvent_
                       && (event->pad0 == xkbNewKeyboardNotify || event->pad0 == xkbMapNotify))) {
            positions_.reset();
        }
        return false;
    }

    const KeyPositions& positions()
    {
        if (!positions_)
            positions_ = KeyPositions::load(c_);
        return *positions_;
    }

    bool wasRepeat(quint32 keycode, quint64 time) const
    {
        return std::any_of(repeats_.begin(), repeats_.end(),
                           [&](const Press& p) { return p.keycode == keycode && p.time == time && p.keycode; });
    }

private:
    struct Press {
        quint32 keycode = 0;
        quint64 time = 0;
    };

    xcb_connection_t* c_;
    int xkbEvent_ = -1;
    std::optional<KeyPositions> positions_;
    std::set<xcb_keycode_t> down_;
    // Recent repeated presses: Qt may queue several before it delivers the first.
    std::array<Press, 16> repeats_{};
    std::size_t next_ = 0;
};

QPointer<KeyboardWatch> watch;

KeyboardWatch* keyboardWatch()
{
    if (!watch) {
        if (xcb_connection_t* c = x11::qtConnection())
            watch = new KeyboardWatch(c);
    }
    return watch;
}

} // namespace

KeyPositions KeyPositions::load(xcb_connection_t* c)
{
    KeyPositions positions;
    const xcb_setup_t* setup = xcb_get_setup(c);
    positions.first_ = setup->min_keycode;
    const int count = setup->max_keycode - setup->min_keycode + 1;
    const x11::Reply<xcb_get_keyboard_mapping_reply_t> map(
        xcb_get_keyboard_mapping_reply(c, xcb_get_keyboard_mapping(c, setup->min_keycode, count), nullptr));
    const int perKey = map ? map->keysyms_per_keycode : 0;
    if (!map || perKey < 1 || xcb_get_keyboard_mapping_keysyms_length(map.get()) < count * perKey)
        return positions;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map.get());

    // The core map starts with the first level of group 1, then its second, then group 2's.
    std::optional<int> latin;
    for (int column : {0, 2}) {
        if (column >= perKey)
            break;
        int letters = 0;
        for (int i = 0; i < count; ++i)
            letters += syms[i * perKey + column] >= 'a' && syms[i * perKey + column] <= 'z';
        if (letters >= 20) {
            latin = column;
            break;
        }
    }
    positions.keys_.assign(std::size_t(count), 0);
    for (int i = 0; i < count; ++i) {
        const int keycode = positions.first_ + i;
        if (latin) {
            const xcb_keysym_t sym = syms[i * perKey + *latin];
            if (printable(sym))
                positions.keys_[std::size_t(i)] = qtKeyOf(static_cast<unsigned char>(sym));
        } else if (keycode >= usFirst && keycode - usFirst < int(sizeof usMainBlock) - 1 && usMainBlock[keycode - usFirst]) {
            positions.keys_[std::size_t(i)] = qtKeyOf(static_cast<unsigned char>(usMainBlock[keycode - usFirst]));
        }
    }
    return positions;
}

int KeyPositions::keyAt(int keycode) const
{
    const int i = keycode - first_;
    return i >= 0 && i < int(keys_.size()) ? keys_[std::size_t(i)] : 0;
}

int physicalKey(const QKeyEvent& event)
{
    const quint32 keycode = event.nativeScanCode();
    if (keycode < 8 || keycode > 255)
        return event.key();
    KeyboardWatch* w = keyboardWatch();
    const int key = w ? w->positions().keyAt(int(keycode)) : 0;
    return key ? key : event.key();
}

void watchKeyboard() { keyboardWatch(); }

bool isKeyRepeat(const QKeyEvent& event)
{
    if (event.isAutoRepeat())
        return true;
    const KeyboardWatch* w = event.type() == QEvent::KeyPress && event.nativeScanCode() ? keyboardWatch() : nullptr;
    return w && w->wasRepeat(event.nativeScanCode(), event.timestamp());
}

} // namespace tarnwick::platform
