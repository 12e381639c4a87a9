#include "panels/FloatingPanel.h"
#include "panels/ShortcutGuideController.h"
#include "panels/ShortcutGuideView.h"
#include "series/SeriesTestSupport.h"
#include "support/DockedDesk.h"

#include <QProcess>
#include <QScreen>
#include <gtest/gtest.h>

// The panels on a desk split into A (1×) and B (2×), moved between the monitors by the window
// manager: by the keyboard, by a pager, or by a drag the window manager makes itself.

using namespace std::chrono_literals;
using namespace tarnwick;
using namespace tarnwick::test;

namespace {

// Made before main makes the application: monitor B shows everything at twice the size.
const bool bAtTwice = qputenv("QT_SCREEN_SCALE_FACTORS", "A=1;B=2");

struct Monitor {
    const char* name;
    QRect pixels; // on the root
    int ratio;
};
const Monitor a{"A", QRect(0, 0, 1920, 1080), 1}, b{"B", QRect(1920, 0, 1920, 1080), 2};

class PanelsOnMixedScales : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(bAtTwice);
        ASSERT_TRUE(splitIntoMonitors());
        ASSERT_EQ(QGuiApplication::screens().constLast()->devicePixelRatio(), 2.0);
        ASSERT_TRUE(startOpenbox(desktop.add()));
        x.movePointer(600, 500); // the user works on A
    }

    // Has the window manager move `window`'s frame to `to` (root pixels) and waits until Qt has it
    // on `monitor` and the server shows it `points` large in that monitor's pixels; returns where.
    QRect moveTo(QWidget& window, const Monitor& monitor, QPoint to, QSize points)
    {
        const auto id = std::uint32_t(window.winId());
        x.moveWindow(id, to.x(), to.y());
        QRect shown;
        const bool kept = waitUntil([&] {
            shown = x.rootGeometry(id);
            return window.screen()->name() == monitor.name && shown.size() == points * monitor.ratio
                && window.size() == points;
        }, 30s);
        EXPECT_TRUE(kept) << "on " << monitor.name << ": " << text(shown) << " px, " << window.width() << "×"
                          << window.height() << " pt in Qt, of " << points.width() << "×" << points.height() << " pt";
        return settledPlace([&] { return x.rootGeometry(id); }, monitor.name);
    }

    DeskPrograms desktop;
    X11Client x;
};

} // namespace

// Moved onto the 2× monitor the panel once kept its 180×191 pixels, half its size, with its texts
// over each other; it keeps its size in points there and back, whole and inside the monitor.
TEST_F(PanelsOnMixedScales, TheFloatingPanelKeepsItsSizeInPointsWhenTheWindowManagerMovesIt)
{
    SeriesParts<FakeClipboardBackend> parts;
    AppModel model(parts.bridge, parts.settings);
    FloatingPanel panel(model, parts.settings);
    panel.present();
    const auto id = std::uint32_t(panel.winId());
    ASSERT_FALSE(settledPlace([&] { return x.rootGeometry(id); }, "the panel").isEmpty());
    const QSize points(FloatingPanel::panelWidth, FloatingPanel::panelHeight);
    for (const auto& [monitor, to] : {std::pair{b, QPoint(2600, 400)}, std::pair{a, QPoint(900, 400)},
                                      std::pair{b, QPoint(3700, 1000)}}) {
        SCOPED_TRACE(monitor.name);
        const QRect shown = moveTo(panel, monitor, to, points);
        EXPECT_TRUE(monitor.pixels.contains(shown)) << text(shown);
        // The whole of it shows and takes the pointer.
        EXPECT_TRUE(waitUntil([&] { return x.shapeExtents(id) == QRect(QPoint(), shown.size()); }, 30s))
            << "shape " << text(x.shapeExtents(id));
    }
}

// The shortcut guide, a framed window, keeps its size in points where the monitor has room for it.
TEST_F(PanelsOnMixedScales, TheShortcutGuideKeepsItsSizeInPointsOnTheOtherMonitor)
{
    SeriesParts<FakeClipboardBackend> parts;
    ShortcutGuideController guide(parts.settings, QString());
    guide.show();
    QWidget& window = *guide.window();
    const auto id = std::uint32_t(window.winId());
    ASSERT_FALSE(settledPlace([&] { return x.rootGeometry(id); }, "the guide").isEmpty());
    const QSize points = window.size();
    ASSERT_EQ(points, QSize(820, 650));
    for (const auto& [monitor, to] : {std::pair{b, QPoint(2000, 20)}, std::pair{a, QPoint(100, 20)}}) {
        SCOPED_TRACE(monitor.name);
        // As high as the monitor has room for, in whole points, below its frame's title bar.
        const auto fits = [&] {
            const std::vector<std::uint32_t> e = x.cardinals(id, "_NET_FRAME_EXTENTS");
            const int room = e.size() == 4 ? (monitor.pixels.height() - int(e[2] + e[3])) / monitor.ratio : 0;
            return window.screen()->name() == monitor.name && window.size() == points.boundedTo(QSize(points.width(), room))
                && x.rootGeometry(id).size() == window.size() * monitor.ratio;
        };
        x.moveWindow(id, to.x(), to.y());
        EXPECT_TRUE(waitUntil(fits, 30s)) << text(x.rootGeometry(id)) << " px, " << window.width() << "×"
                                          << window.height() << " pt";
    }
    EXPECT_EQ(window.size(), points) << "back on A";
}
