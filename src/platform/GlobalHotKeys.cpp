#include "platform/GlobalHotKeys.h"

#include "platform/KeyNames.h"
#include "platform/PhysicalKey.h"
#include "platform/QtServerSync.h"
#include "platform/X11Internal.h"

#include <X11/keysym.h>

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <set>
#include <vector>

namespace tarnwick::platform {
namespace {

std::optional<xcb_keysym_t> keysymOf(Qt::Key key)
{
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return XK_0 + (key - Qt::Key_0);
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return XK_a + (key - Qt::Key_A);
    switch (key) {
    case Qt::Key_Space: return XK_space;
    case Qt::Key_Return: return XK_Return;
    case Qt::Key_Escape: return XK_Escape;
    default: return std::nullopt;
    }
}

QString unavailableSentence()
{
    return QStringLiteral("В сеансе Wayland глобальные сочетания клавиш не работают: пользуйтесь меню Tarnwick.");
}

class NullGlobalHotKeys final : public GlobalHotKeys {
public:
    bool isAvailable() const override { return false; }
    bool add(Qt::Key, Qt::KeyboardModifiers, std::function<void()>) override { return false; }
    QString errorText() const override { return unavailableSentence(); }
};

// The keyboard as the grabs need it: which key codes type a keysym in the
// first group or sit where the editor's keys find it, and which modifier bit NumLock sets.
struct KeyboardLayout {
    std::vector<std::vector<xcb_keysym_t>> groupOneSyms; // per key code from `first`
    KeyPositions positions;
    int first = 0;
    std::uint16_t numLockMask = XCB_MOD_MASK_2;

    static KeyboardLayout load(xcb_connection_t* c)
    {
        KeyboardLayout layout;
        const xcb_setup_t* setup = xcb_get_setup(c);
        layout.first = setup->min_keycode;
        layout.positions = KeyPositions::load(c);
        const int count = setup->max_keycode - setup->min_keycode + 1;
        x11::Reply<xcb_get_keyboard_mapping_reply_t> map{
            xcb_get_keyboard_mapping_reply(c, xcb_get_keyboard_mapping(c, setup->min_keycode, count), nullptr)};
        if (!map)
            return layout;
        const int perKey = map->keysyms_per_keycode;
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map.get());
        const int total = xcb_get_keyboard_mapping_keysyms_length(map.get());
        for (int i = 0; i < count && (i + 1) * perKey <= total; ++i)
            layout.groupOneSyms.emplace_back(syms + i * perKey, syms + i * perKey + std::min(perKey, 2));

        x11::Reply<xcb_get_modifier_mapping_reply_t> mods{
            xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr)};
        if (mods) {
            const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mods.get());
            const int perModifier = mods->keycodes_per_modifier;
            for (int m = 0; m < 8; ++m)
                for (int k = 0; k < perModifier; ++k)
                    if (layout.types(codes[m * perModifier + k], XK_Num_Lock))
                        layout.numLockMask = std::uint16_t(1u << m);
        }
        return layout;
    }

    bool types(int keycode, xcb_keysym_t sym) const
    {
        const int i = keycode - first;
        if (i < 0 || i >= int(groupOneSyms.size()))
            return false;
        for (xcb_keysym_t s : groupOneSyms[std::size_t(i)])
            if (s == sym)
                return true;
        return false;
    }

    std::vector<xcb_keycode_t> keycodesOf(xcb_keysym_t sym) const
    {
        // Qt's key for printable ASCII is the upper-case character.
        const int key = sym >= 0x20 && sym <= 0x7e ? std::toupper(int(sym)) : -1;
        std::vector<xcb_keycode_t> codes;
        for (int i = 0; i < int(groupOneSyms.size()); ++i)
            if (types(first + i, sym) || positions.keyAt(first + i) == key)
                codes.push_back(xcb_keycode_t(first + i));
        return codes;
    }
};

// XKB event kinds (the second byte of an XKB event) after which key codes may have moved.
constexpr std::uint8_t xkbNewKeyboardNotify = 0;
constexpr std::uint8_t xkbMapNotify = 1;

constexpr std::uint16_t relevantModifiers =
    XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

std::uint16_t maskOf(Qt::KeyboardModifiers modifiers)
{
    std::uint16_t mask = 0;
    if (modifiers & Qt::ShiftModifier)
        mask |= XCB_MOD_MASK_SHIFT;
    if (modifiers & Qt::ControlModifier)
        mask |= XCB_MOD_MASK_CONTROL;
    if (modifiers & Qt::AltModifier)
        mask |= XCB_MOD_MASK_1;
    if (modifiers & Qt::MetaModifier)
        mask |= XCB_MOD_MASK_4;
    return mask;
}

// An open menu of ours holds the keyboard, so its keys come to its own window; they are the
// menu's (Return chooses, Escape closes), not the hot keys'.
bool toOurMenu(xcb_window_t window)
{
    const QWindowList windows = QGuiApplication::topLevelWindows();
    return std::any_of(windows.begin(), windows.end(), [window](const QWindow* w) {
        return w->type() == Qt::Popup && w->isVisible() && w->handle() && w->winId() == window;
    });
}

// Passive grabs on the root of Qt's own connection, so the presses arrive in
// Qt's event stream and are picked out by a native event filter.
class X11GlobalHotKeys final : public GlobalHotKeys, public QAbstractNativeEventFilter {
public:
    X11GlobalHotKeys(xcb_connection_t* c) : c_(c)
    {
        root_ = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        const char name[] = "XKEYBOARD";
        x11::Reply<xcb_query_extension_reply_t> xkb{
            xcb_query_extension_reply(c, xcb_query_extension(c, sizeof name - 1, name), nullptr)};
        xkbEvent_ = xkb && xkb->present ? xkb->first_event : -1;
        layout_ = KeyboardLayout::load(c);
        qApp->installNativeEventFilter(this);
    }

    ~X11GlobalHotKeys() override
    {
        // Qt's connection goes with the application object, and our grabs with it.
        if (!qApp)
            return;
        qApp->removeNativeEventFilter(this);
        for (const Entry& e : entries_)
            ungrab(e);
        // A round trip, not a flush: the server reads each client's requests in its own
        // time, and another program taking a key just let go must not find it still ours.
        syncQtWithServer();
    }

    bool isAvailable() const override { return true; }
    QString errorText() const override { return error_; }

    bool add(Qt::Key key, Qt::KeyboardModifiers modifiers, std::function<void()> pressed) override
    {
        const std::optional<xcb_keysym_t> sym = keysymOf(key);
        if (!sym) {
            error_ = QStringLiteral("Клавишу %1 нельзя сделать глобальной.").arg(hotKeyText(key, modifiers));
            return false;
        }
        Entry entry{*sym, maskOf(modifiers), {}, std::move(pressed), hotKeyText(key, modifiers)};
        if (!grab(entry))
            return false;
        entries_.push_back(std::move(entry));
        return true;
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override
    {
        const int type = x11::eventType(eventType, message);
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if (type == XCB_KEY_PRESS) {
            const auto* press = static_cast<const xcb_key_press_event_t*>(message);
            if (toOurMenu(press->event))
                return false;
            const std::uint16_t state = press->state & relevantModifiers;
            for (const Entry& e : entries_) {
                if (e.modifiers != state || std::find(e.keycodes.begin(), e.keycodes.end(), press->detail) == e.keycodes.end())
                    continue;
                // The action runs after this event is handled, and not at all once we are gone.
                QTimer::singleShot(0, &guard_, e.pressed);
                return true;
            }
        } else if (type == XCB_MAPPING_NOTIFY
                   || (xkbEvent_ >= 0 && type == xkbEvent_
                       && (event->pad0 == xkbNewKeyboardNotify || event->pad0 == xkbMapNotify))) {
            scheduleRegrab();
        }
        return false;
    }

private:
    struct Entry {
        xcb_keysym_t sym;
        std::uint16_t modifiers;
        std::vector<xcb_keycode_t> keycodes;
        std::function<void()> pressed;
        QString text;
    };

    std::array<std::uint16_t, 4> lockCombinations() const
    {
        return {0, XCB_MOD_MASK_LOCK, layout_.numLockMask, std::uint16_t(XCB_MOD_MASK_LOCK | layout_.numLockMask)};
    }

    // Grabs every key code of the entry with every lock combination; all or nothing.
    bool grab(Entry& entry)
    {
        entry.keycodes = layout_.keycodesOf(entry.sym);
        if (entry.keycodes.empty()) {
            error_ = QStringLiteral("На этой клавиатуре нет клавиши для сочетания %1.").arg(entry.text);
            return false;
        }
        std::vector<xcb_void_cookie_t> cookies;
        for (xcb_keycode_t code : entry.keycodes)
            for (std::uint16_t lock : lockCombinations())
                cookies.push_back(xcb_grab_key_checked(c_, 1, root_, entry.modifiers | lock, code,
                                                       XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        bool taken = false;
        for (xcb_void_cookie_t cookie : cookies)
            if (x11::Reply<xcb_generic_error_t> error{xcb_request_check(c_, cookie)})
                taken = true;
        if (taken) {
            ungrab(entry);
            xcb_flush(c_);
            entry.keycodes.clear();
            error_ = QStringLiteral("Сочетание %1 уже занято другой программой.").arg(entry.text);
            return false;
        }
        return true;
    }

    void ungrab(const Entry& entry)
    {
        for (xcb_keycode_t code : entry.keycodes)
            for (std::uint16_t lock : lockCombinations())
                xcb_ungrab_key(c_, code, root_, entry.modifiers | lock);
    }

    // Every key code and modifier state our grabs hold.
    std::set<std::pair<xcb_keycode_t, std::uint16_t>> held() const
    {
        std::set<std::pair<xcb_keycode_t, std::uint16_t>> combos;
        for (const Entry& e : entries_)
            for (xcb_keycode_t code : e.keycodes)
                for (std::uint16_t lock : lockCombinations())
                    combos.emplace(code, std::uint16_t(e.modifiers | lock));
        return combos;
    }

    // The keys may now sit on other key codes, NumLock on another modifier. The server says so
    // also when the user only types on another keyboard with the same keys; then nothing changes.
    // Otherwise the new grabs come first and only then go the old ones that are left over, so a
    // hot key pressed meanwhile is never let through, nor taken by another program.
    void scheduleRegrab()
    {
        if (regrabPending_)
            return;
        regrabPending_ = true;
        QTimer::singleShot(0, &guard_, [this] {
            regrabPending_ = false;
            KeyboardLayout fresh = KeyboardLayout::load(c_);
            const auto before = held();
            layout_ = std::move(fresh);
            for (Entry& e : entries_)
                e.keycodes = layout_.keycodesOf(e.sym);
            const auto after = held();
            std::vector<xcb_void_cookie_t> cookies;
            for (const auto& [code, modifiers] : after)
                if (!before.count({code, modifiers}))
                    cookies.push_back(xcb_grab_key_checked(c_, 1, root_, modifiers, code, XCB_GRAB_MODE_ASYNC,
                                                           XCB_GRAB_MODE_ASYNC));
            for (const auto& [code, modifiers] : before)
                if (!after.count({code, modifiers}))
                    xcb_ungrab_key(c_, code, root_, modifiers);
            // A new key code another program holds stays its own; the rest are ours.
            for (xcb_void_cookie_t cookie : cookies)
                std::free(xcb_request_check(c_, cookie));
            xcb_flush(c_);
        });
    }

    xcb_connection_t* c_;
    xcb_window_t root_ = 0;
    int xkbEvent_ = -1;
    KeyboardLayout layout_;
    std::vector<Entry> entries_;
    QString error_;
    bool regrabPending_ = false;
    QObject guard_;
};

} // namespace

std::unique_ptr<GlobalHotKeys> makeGlobalHotKeys()
{
    const bool wayland = qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland");
    xcb_connection_t* c = x11::qtConnection();
    if (wayland || !c)
        return std::make_unique<NullGlobalHotKeys>();
    return std::make_unique<X11GlobalHotKeys>(c);
}

QString hotKeyText(Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    // Written with the glyphs and turned into key names by the one function that knows them.
    QString glyphs;
    if (modifiers & Qt::MetaModifier)
        glyphs += u'⌃';
    if (modifiers & Qt::AltModifier)
        glyphs += u'⌥';
    if (modifiers & Qt::ShiftModifier)
        glyphs += u'⇧';
    if (modifiers & Qt::ControlModifier)
        glyphs += u'⌘';
    switch (key) {
    case Qt::Key_Space: glyphs += QStringLiteral("Space"); break;
    case Qt::Key_Return: glyphs += u'↩'; break;
    case Qt::Key_Escape: glyphs += u'⎋'; break;
    default: glyphs += QChar(int(key)); break;
    }
    return keyText(glyphs);
}

} // namespace tarnwick::platform
