#include "PickerRun.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <thread>
#include <X11/keysym.h>
#include <xcb/xcb.h>
#include <gtest/gtest.h>


using namespace std::chrono_literals;
using tarnwick::test::paint;
using tarnwick::test::pick;
using tarnwick::test::waitUntil;
using tarnwick::test::startOpenbox;
using tarnwick::test::X11Client;

namespace {

QPoint rootOrigin(X11Client& x, std::uint32_t window)
{
    xcb_connection_t* c = x.connection();
    auto* reply = xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, window, x.root(), 0, 0), nullptr);
    const QPoint origin = reply ? QPoint(reply->dst_x, reply->dst_y) : QPoint();
    std::free(reply);
    return origin;
}

bool viewable(X11Client& x, std::uint32_t window)
{
    xcb_connection_t* c = x.connection();
    auto* reply = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr);
    const bool result = reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(reply);
    return result;
}

} // namespace

TEST(Picker, OneStartedAheadGrabsTheScreenOfTheKeyAndLeavesAtEndOfInput)
{
    X11Client x;
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("shot.png"));
    QImage atKey;
    ASSERT_EQ(pick(x, {}, file, [&] { x.drag(250, 130, 570, 372); },
                   [&] {
                       // The picker waits for its command line: change the screen now.
                       EXPECT_FALSE(x.keyboardGrabbedElsewhere());
                       atKey = paint(x, x.root(), QRect(200, 100, 600, 400), 11);
                   }),
              0);
    EXPECT_EQ(QImage(file).convertToFormat(QImage::Format_RGB32), atKey.copy(50, 30, 320, 242));

    QProcess waiting;
    waiting.start(QStringLiteral(TARNWICK_CAPTURE), {QStringLiteral("--standby")});
    ASSERT_TRUE(waiting.waitForStarted(5000));
    waiting.closeWriteChannel();
    ASSERT_TRUE(waiting.waitForFinished(5000));
    EXPECT_EQ(waiting.exitCode(), 1);
}

TEST(Picker, CancelOrFailureLeavesNoFile)
{
    X11Client x;
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("shot.png"));
    struct Case {
        const char* name;
        QString target;
        std::function<void()> act;
        int code;
    } cases[] = {
        {"Escape", file, [&] { x.chord({x.keycodeOf(XK_Escape)}); }, 1},
        {"Escape during a drag", file,
         [&] {
             x.movePointer(10, 10);
             x.button(1, true);
             x.movePointer(300, 300);
             x.chord({x.keycodeOf(XK_Escape)});
             x.button(1, false);
         },
         1},
        {"right click", file, [&] { x.click(100, 100, 3); }, 1},
        {"missing folder", dir.filePath(QStringLiteral("gone/shot.png")),
         [&] { x.drag(10, 10, 60, 60); }, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(pick(x, {}, c.target, c.act), c.code);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    }
}

// Another program (a menu, a game, a slow window manager) may hold the keyboard while the picker
// comes up. The picker takes it once it is free, so Escape still cancels.
TEST(Picker, TakesTheKeyboardOnceAnotherProgramLetsItGo)
{
    X11Client x;
    X11Client holder;
    xcb_connection_t* c = holder.connection();
    const auto held = tarnwick::test::reply(xcb_grab_keyboard_reply(
        c, xcb_grab_keyboard(c, 0, holder.root(), XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
        nullptr));
    ASSERT_TRUE(held && held->status == XCB_GRAB_STATUS_SUCCESS);

    QTemporaryDir dir;
    QProcess picker;
    picker.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    picker.start(QStringLiteral(TARNWICK_CAPTURE), {"-i", "-x", "-t", "png", dir.filePath(QStringLiteral("shot.png"))});
    ASSERT_TRUE(picker.waitForStarted(5000));
    // Its veil is up and asking for the keyboard; the holder keeps it a good while longer.
    ASSERT_TRUE(waitUntil([&] { return !x.viewableUnmanagedWindows().isEmpty(); }, 30s));
    std::this_thread::sleep_for(2500ms);
    xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
    holder.sync();

    ASSERT_TRUE(waitUntil([&] { return x.keyboardGrabbedElsewhere(); }, 30s)) << "the picker never took the keyboard";
    x.chord({x.keycodeOf(XK_Escape)});
    ASSERT_TRUE(picker.waitForFinished(30000));
    EXPECT_EQ(picker.exitCode(), 1);
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

TEST(Picker, AWindowClickGivesTheWindowWithItsFrameAndWithoutItsShadowOnRequest)
{
    X11Client x;
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("window.png"));
    QProcess openbox;

    struct Case {
        const char* name;
        bool windowManager;
        QStringList flags;
        int shadow; // _GTK_FRAME_EXTENTS on every side
    } cases[] = {
        {"bare server", false, {"-w"}, 0},
        {"bare server, shadow cut", false, {"-w", "-o"}, 10},
        {"openbox", true, {"-w"}, 0},
        {"openbox, shadow kept", true, {"-w"}, 10},
        {"openbox, shadow cut", true, {"-w", "-o"}, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.windowManager && openbox.state() == QProcess::NotRunning) {
            ASSERT_TRUE(startOpenbox(openbox));
        }
        const std::uint32_t window = x.createWindow();
        const auto cut = static_cast<std::uint32_t>(c.shadow);
        if (c.shadow)
            x.setCardinals(window, "_GTK_FRAME_EXTENTS", {cut, cut, cut, cut});
        std::vector<std::uint32_t> frame{0, 0, 0, 0};
        if (c.windowManager) {
            ASSERT_TRUE(waitUntil([&] {
                // Openbox drops map requests that come while it starts up: ask again.
                xcb_map_window(x.connection(), window);
                x.sync();
                const auto stack = x.cardinals(x.root(), "_NET_CLIENT_LIST_STACKING");
                frame = x.cardinals(window, "_NET_FRAME_EXTENTS");
                return frame.size() == 4 && viewable(x, window) && std::find(stack.begin(), stack.end(), window) != stack.end();
            }, 10s));
        }
        const QImage content = paint(x, window, QRect(0, 0, 200, 100), 3);
        const QPoint origin = rootOrigin(x, window);

        ASSERT_EQ(pick(x, c.flags, file, [&] { x.click(origin.x() + 100, origin.y() + 50); }), 0);
        const QImage shot = QImage(file).convertToFormat(QImage::Format_RGB32);
        const int inset = c.flags.contains("-o") ? c.shadow : 0;
        const QSize client(200 - 2 * inset, 100 - 2 * inset);
        const int left = int(frame[0]), right = int(frame[1]), top = int(frame[2]), bottom = int(frame[3]);
        EXPECT_EQ(shot.size(), client + QSize(left + right, top + bottom));
        EXPECT_EQ(shot.copy(left, top, client.width(), client.height()), content.copy(inset, inset, client.width(), client.height()));
        x.destroyWindow(window);
        QFile::remove(file);
    }
    openbox.kill();
    openbox.waitForFinished();
}
