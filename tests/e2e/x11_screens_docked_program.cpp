#include "e2e/RealProgram.h"
#include "support/DockedDesk.h"

#include <QScreen>
#include <X11/keysym.h>

using namespace std::chrono_literals;
using namespace tarnwick::test;

namespace {

// The real program started on a desk that is already split into two monitors, A and B, with a
// taskbar (trayer) along the bottom keeping 32 px through its strut: openbox's one work area for
// the desk is 0,0 3840×1048, and Qt, seeing two monitors at its start, calls each of them free.
class DockedDesk : public RealProgram {
protected:
    const QRect usableA{0, 0, 1920, 1048}, usableB{1920, 0, 1920, 1048};

    void SetUp() override
    {
        RealProgram::SetUp();
        ASSERT_TRUE(splitIntoMonitors());
        desktop.push_back(std::make_unique<QProcess>());
        ASSERT_TRUE(startOpenbox(*desktop.back()));
        desktop.push_back(std::make_unique<QProcess>());
        ASSERT_TRUE(startBottomDock(x, *desktop.back(), {"--align", "left", "--widthtype", "request"}));
        ASSERT_TRUE(waitUntil([&] { return x.selectionOwner("_NET_SYSTEM_TRAY_S0") != 0; }, 30s));
    }

    QRect panel()
    {
        QList<QRect> panels;
        for (const QString& w : windows(QStringLiteral("^Tarnwick$")))
            if (const QRect r(origin(w), geometry(w).size()); r.size() == QSize(180, 191))
                panels << r;
        return panels.size() == 1 ? panels[0] : QRect();
    }

    // The menus on the screen: shown windows that the window manager does not frame.
    QList<QRect> popups()
    {
        xcb_connection_t* c = x.connection();
        QList<QRect> found;
        const auto tree = reply(xcb_query_tree_reply(c, xcb_query_tree(c, x.root()), nullptr));
        if (!tree)
            return found;
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
            const auto attributes = reply(xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, children[i]), nullptr));
            const auto where = reply(xcb_get_geometry_reply(c, xcb_get_geometry(c, children[i]), nullptr));
            if (attributes && where && attributes->override_redirect && attributes->map_state == XCB_MAP_STATE_VIEWABLE
                && where->width > 100 && where->height > 100)
                found << QRect(where->x, where->y, where->width, where->height);
        }
        return found;
    }

    void expectInside(const char* what, const QRect& window)
    {
        const QRect& usable = window.center().x() < 1920 ? usableA : usableB;
        EXPECT_TRUE(usable.contains(window)) << what << " at " << text(window) << ", usable " << text(usable);
    }
};

} // namespace

TEST_F(DockedDesk, ThePanelAndItsMenuStayOffTheTaskbarOfASplitDesk)
{
    startProgram();
    ASSERT_FALSE(HasFatalFailure());
    const QRect first = settledPlace([&] { return panel(); });
    expectInside("the panel at start", first);
    EXPECT_EQ(first.bottomRight(), QPoint(1919 - 14, 1047 - 14)) << "14 px in from the corner of the usable area";

    // Dropped past the bottom of B by its title.
    const QPoint grip = first.topLeft() + QPoint(60, 20);
    x.drag(grip.x(), grip.y(), 3000, 1076);
    const QRect dropped = settledPlace([&] { return panel(); });
    expectInside("the panel dropped at the bottom of B", dropped);

    // Its menu, where the room below the «…» button is the taskbar's.
    singleClick(dropped.left() + 138, dropped.top() + 20);
    const QRect menu = settledPlace([&] {
        const QList<QRect> menus = popups();
        return menus.size() == 1 ? menus[0] : QRect();
    });
    expectInside("the panel's menu", menu);
    x.chord({x.keycodeOf(XK_Escape)});
}
