#include "../capture/PickerRun.h"
#include "RealProgram.h"

#include <QImage>
#include <algorithm>
#include <cstdlib>
#include <xcb/xcb.h>

namespace tarnwick::test {
namespace {

using namespace std::chrono_literals;

class PickerSpace : public RealProgram {
protected:
    // A window framed by openbox, optionally with a client-drawn shadow.
    std::uint32_t framedWindow(std::uint32_t shadow)
    {
        const std::uint32_t window = x.createWindow();
        if (shadow)
            x.setCardinals(window, "_GTK_FRAME_EXTENTS", {shadow, shadow, shadow, shadow});
        const bool framed = waitUntil(
            [&] {
                // Openbox drops map requests that come while it starts up: ask again.
                xcb_map_window(x.connection(), window);
                x.sync();
                const auto stack = x.cardinals(x.root(), "_NET_CLIENT_LIST_STACKING");
                auto* attributes = xcb_get_window_attributes_reply(
                    x.connection(), xcb_get_window_attributes(x.connection(), window), nullptr);
                const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
                std::free(attributes);
                return viewable && x.cardinals(window, "_NET_FRAME_EXTENTS").size() == 4
                    && std::find(stack.begin(), stack.end(), window) != stack.end();
            },
            10s);
        EXPECT_TRUE(framed);
        return window;
    }

    QString file(const char* name) { return home.filePath(QString::fromLatin1(name)); }
};

TEST_F(PickerSpace, SpaceInTheAreaPickerChoosesTheWindowAsTheWindowPickerDoesAndSwitchesBack)
{
    startDesktop();
    ASSERT_FALSE(HasFatalFailure());
    const auto space = [&] { x.chord({x.keycodeOf(XK_space)}); };
    struct Case {
        const char* name;
        std::uint32_t shadow;
        QStringList windowFlags; // the window picker it must match
    } cases[] = {
        {"no client shadow, as Ctrl+Shift+Space picks", 0, {"-w", "-o"}},
        {"client shadow kept, as -w without -o keeps it", 12, {"-w"}},
    };
    std::uint32_t seed = 5;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ++seed;
        const std::uint32_t window = framedWindow(c.shadow);
        const QPoint inside = geometry(QString::number(window)).center();
        paint(x, window, QRect(0, 0, 200, 100), seed);
        const QString byWindowPicker = file("window.png"), bySpace = file("space.png");
        QFile::remove(byWindowPicker);
        QFile::remove(bySpace);
        ASSERT_EQ(pick(x, c.windowFlags, byWindowPicker, [&] { x.click(inside.x(), inside.y()); }), 0);
        // The window has no background: what the veil left on it goes, as its program would redraw it.
        paint(x, window, QRect(0, 0, 200, 100), seed);
        ASSERT_EQ(pick(x, {}, bySpace, [&] {
                      space();
                      x.click(inside.x(), inside.y());
                  }),
                  0)
            << "Space and a click in the area picker picked nothing";
        const QImage expected(byWindowPicker), got(bySpace);
        ASSERT_FALSE(expected.isNull());
        ASSERT_FALSE(got.isNull());
        EXPECT_EQ(got.size(), expected.size());
        EXPECT_EQ(got.offset(), expected.offset()) << "where the shot was taken";
        EXPECT_EQ(differences(got, expected), QRect()) << "where the pixels differ from the window picker's";
        xcb_destroy_window(x.connection(), window);
        x.sync();
    }

    // Space twice: the rubber band again, and a drag takes exactly its area.
    const QImage noise = paint(x, x.root(), QRect(100, 600, 400, 300), 11);
    const QString area = file("area.png");
    ASSERT_EQ(pick(x, {}, area, [&] {
                  space();
                  // A person's second press: one at once would arrive as the key's repeat.
                  waitUntil([] { return false; }, 100ms);
                  space();
                  x.drag(150, 650, 450, 850);
              }),
              0);
    const QImage shot(area);
    EXPECT_EQ(shot.size(), QSize(300, 200));
    EXPECT_EQ(shot.offset(), QPoint(150, 650));
    EXPECT_EQ(differences(shot, noise.copy(50, 50, 300, 200)), QRect()) << "where the area's pixels differ";
}

} // namespace
} // namespace tarnwick::test
