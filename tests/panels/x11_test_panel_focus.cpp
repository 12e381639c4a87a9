#include "panels/FloatingPanel.h"
#include "platform/ActiveWindow.h"
#include "platform/X11Connection.h"
#include "series/SeriesTestSupport.h"
#include "support/X11Client.h"

#include <QProcess>
#include <QWindow>
#include <xcb/xcb.h>

#include <X11/keysym.h>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace std::chrono_literals;

namespace {

std::vector<std::uint32_t> property(xcb_connection_t* c, std::uint32_t window, const char* name)
{
    auto* atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::uint16_t(strlen(name)), name), nullptr);
    auto* reply = xcb_get_property_reply(c, xcb_get_property(c, 0, window, atom->atom, XCB_GET_PROPERTY_TYPE_ANY, 0, 64),
                                         nullptr);
    std::vector<std::uint32_t> values;
    if (reply && reply->format == 32) {
        auto* data = static_cast<std::uint32_t*>(xcb_get_property_value(reply));
        values.assign(data, data + xcb_get_property_value_length(reply) / 4);
    }
    free(reply);
    free(atom);
    return values;
}

} // namespace

// The panel appears over the chat the user types in without taking the keyboard from it, and stays
// above it whatever its taskbar entry.
TEST(FloatingPanelUnderOpenbox, ShowingThePanelLeavesTheActiveWindowAndItsKeysAndStaysAbove)
{
    QProcess openbox;
    ASSERT_TRUE(test::startOpenbox(openbox));
    test::X11Client client;
    xcb_connection_t* c = client.connection();

    platform::X11Connection connection;
    const std::uint32_t chat = client.createWindow(std::nullopt, "chat", "Chat");
    platform::activateWindow(connection, chat);
    auto active = [&] { return property(c, client.root(), "_NET_ACTIVE_WINDOW"); };
    ASSERT_TRUE(test::waitUntil([&] { return active() == std::vector<std::uint32_t>{chat}; }));

    test::SeriesParts<test::FakeClipboardBackend> parts;
    AppModel model(parts.bridge, parts.settings);
    FloatingPanel panel(model, parts.settings);
    panel.present();
    const auto id = static_cast<std::uint32_t>(panel.winId());
    // The window manager has taken the panel in once it gives it a normal WM_STATE (we write the
    // desktop ourselves, so that alone proves nothing); then it is on every desktop.
    ASSERT_TRUE(test::waitUntil([&] {
        const auto state = property(c, id, "WM_STATE");
        return !state.empty() && state[0] == 1 && property(c, id, "_NET_WM_DESKTOP") == std::vector<std::uint32_t>{0xFFFFFFFF};
    }));
    EXPECT_TRUE(panel.isVisible());

    EXPECT_EQ(active(), std::vector<std::uint32_t>{chat});
    auto* focus = xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr);
    EXPECT_EQ(focus->focus, chat);
    free(focus);
    const std::uint8_t x = client.keycodeOf(XK_x);
    client.chord({x});
    EXPECT_TRUE(test::waitUntil([&] {
        const auto keys = client.takeKeyEvents();
        return std::any_of(keys.begin(), keys.end(), [&](const auto& key) { return key.press && key.keycode == x; });
    }));

    // Switching the taskbar entry maps the panel again; it stays above the other windows every time.
    auto* above = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, 19, "_NET_WM_STATE_ABOVE"), nullptr);
    for (int toggle = 1; toggle <= 14; ++toggle) {
        panel.setTaskbarEntry(toggle % 2 == 1);
        ASSERT_TRUE(test::waitUntil([&] { return panel.windowHandle()->isExposed(); })) << toggle;
        EXPECT_TRUE(test::waitUntil([&] {
            const auto states = property(c, static_cast<std::uint32_t>(panel.winId()), "_NET_WM_STATE");
            return std::count(states.begin(), states.end(), above->atom) == 1;
        })) << "toggle " << toggle; // a lost state never comes back by itself, so a long wait hides nothing
    }
    free(above);
    openbox.terminate();
    openbox.waitForFinished();
}
