// The panel's menu is a window of its own: the panel, moved by openbox while the menu is open,
// takes it along, touching its button as when it opened.

#include "panels/ButtonMenu.h"
#include "panels/FloatingPanel.h"
#include "panels/FloatingPanelMenu.h"
#include "panels/FloatingPanelView.h"
#include "platform/UsableArea.h"
#include "series/SeriesTestSupport.h"
#include "support/DockedDesk.h"
#include "support/X11Client.h"

#include <QApplication>
#include <QMenu>
#include <QProcess>
#include <QScreen>
#include <QToolButton>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::test;

TEST(PanelMenuUnderOpenbox, TheMenuStaysByItsButtonWhenThePanelIsMovedByTheWindowManager)
{
    QProcess openbox;
    ASSERT_TRUE(startOpenbox(openbox));
    X11Client x;
    SeriesParts<FakeClipboardBackend> parts;
    AppModel model(parts.bridge, parts.settings);
    FloatingPanel panel(model, parts.settings);
    panel.present();
    const auto id = std::uint32_t(panel.winId());
    ASSERT_TRUE(waitUntil([&] { return x.cardinals(id, "WM_STATE").size() >= 1 && x.cardinals(id, "WM_STATE")[0] == 1; }))
        << "openbox did not take the panel in";
    const QRect was = settledPlace([&] { return x.rootGeometry(id); }, "the panel");

    QToolButton& button = panel.view().menuButton();
    QMenu& menu = panel.view().menu();
    button.click();
    ASSERT_TRUE(waitUntil([&] { return menu.isVisible(); })) << "the menu did not open";
    // Where the menu belongs for the button where the server shows it now, and where it is, in the
    // server's pixels; above 1× the places are rounded to whole points.
    const double scale = qApp->devicePixelRatio();
    const int slack = scale > 1 ? int(std::ceil(scale)) : 0;
    const auto wanted = [&] {
        const QRect anchor((QPointF(x.rootGeometry(id).topLeft()) / scale).toPoint() + button.mapTo(&panel, QPoint()), button.size());
        return (QPointF(menuOrigin(anchor, menu.size(), platform::usableArea(*button.screen()))) * scale).toPoint();
    };
    const auto shown = [&] { return x.rootGeometry(std::uint32_t(menu.winId())).topLeft(); };
    const auto near = [&](QPoint a, QPoint b) { return std::abs(a.x() - b.x()) <= slack && std::abs(a.y() - b.y()) <= slack; };
    const QPoint opened = settledPlace([&] { return QRect(shown(), QSize(1, 1)); }, "the menu").topLeft();
    ASSERT_TRUE(near(opened, wanted())) << opened.x() << "," << opened.y() << " for " << wanted().x() << "," << wanted().y();

    // Towards the middle of the screen, as a pager or the window manager's keys move it.
    const std::vector<std::uint32_t> extents = x.cardinals(id, "_NET_FRAME_EXTENTS");
    const QPoint frame = extents.size() == 4 ? QPoint(int(extents[0]), int(extents[2])) : QPoint();
    const QPoint by(-700, -360);
    x.moveWindow(id, was.x() - frame.x() + by.x(), was.y() - frame.y() + by.y());
    QRect now;
    ASSERT_TRUE(waitUntil([&] { return (now = x.rootGeometry(id)).topLeft() == was.topLeft() + by; }))
        << "openbox did not move the panel: " << text(was) << " to " << text(now);
    EXPECT_TRUE(menu.isVisible()) << "the move closed the menu";
    QPoint at;
    EXPECT_TRUE(waitUntil([&] { return near(at = shown(), wanted()); }))
        << "the menu stays at " << at.x() << "," << at.y() << ", its button wants " << wanted().x() << "," << wanted().y();
    menu.close();
}
