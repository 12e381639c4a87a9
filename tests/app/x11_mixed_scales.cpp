#include "SplitDesk.h"
#include "support/DockedDesk.h"
#include "support/HeldWindowManager.h"

#include "editor/window/EditorExportWindow.h"
#include "panels/FloatingPanel.h"
#include "panels/FloatingPanelMenu.h"
#include "panels/FloatingPanelView.h"
#include "panels/PanelDragRegion.h"
#include "platform/QtServerSync.h"
#include "platform/UsableArea.h"

#include <QTimer>
#include <QToolButton>
#include <X11/keysym.h>
#include <xcb/xcb.h>

using namespace std::chrono_literals;
using namespace tarnwick;
using namespace tarnwick::test;

namespace {

// Made before main makes the application: monitor B of the split desk shows
// everything at twice the size, a 960×540 desk in Qt's units.
const bool bAtTwice = qputenv("QT_SCREEN_SCALE_FACTORS", "A=1;B=2");

class MixedScales : public SplitDesk {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(bAtTwice);
        SplitDesk::SetUp();
        ASSERT_EQ(b->devicePixelRatio(), 2.0);
        ASSERT_EQ(b->geometry(), QRect(1920, 0, 960, 540));
    }

    // Where the X server shows `window`, in root pixels.
    QRect nativeRect(WId window) { return x.rootGeometry(std::uint32_t(window)); }
    // The monitor (A or B) holding most of a root rectangle.
    static QString monitorOf(const QRect& native)
    {
        const QRect a(0, 0, 1920, 1080), bPixels(1920, 0, 1920, 1080);
        const auto area = [](const QRect& r) { return r.isEmpty() ? 0 : r.width() * r.height(); };
        return area(native & a) >= area(native & bPixels) ? QStringLiteral("A") : QStringLiteral("B");
    }

    QToolButton* menuButton()
    {
        for (auto* button : shell->panel()->findChildren<QToolButton*>())
            if (button->toolTip() == QStringLiteral("Снимки, передача и настройки"))
                return button;
        return nullptr;
    }
    QRect buttonPixels(QToolButton* button)
    {
        const QRect panel = nativeRect(shell->panel()->winId());
        const double scale = shell->panel()->devicePixelRatio();
        const QPoint at = button->mapTo(shell->panel(), QPoint());
        return QRect(panel.topLeft() + (QPointF(at) * scale).toPoint(), (QSizeF(button->size()) * scale).toSize());
    }

    // Clicks the panel's "…" like a user and checks where the menu shows. The check runs
    // from a timer, so it also runs inside a menu's own event loop.
    void expectMenuTouchesItsButton(const char* where)
    {
        SCOPED_TRACE(where);
        QToolButton* button = menuButton();
        ASSERT_TRUE(button);
        // The panel where it stays: a busy server may still be moving it when asked first.
        settledPlace([&] { return nativeRect(shell->panel()->winId()); }, "the panel");
        ASSERT_FALSE(HasFailure());
        QCoreApplication::processEvents();
        const QRect pixels = buttonPixels(button);
        const QString monitor = monitorOf(nativeRect(shell->panel()->winId()));
        FloatingPanelMenu& menu = shell->panel()->view().menu();
        QRect shown, last;
        QString screen;
        QTimer look;
        QObject::connect(&look, &QTimer::timeout, [&] {
            const QRect now = menu.isVisible() ? nativeRect(menu.winId()) : QRect();
            // Settled: the same place twice in a row, as a menu placed twice moves once more.
            if (!now.isEmpty() && now == last && shown.isEmpty()) {
                shown = now;
                screen = menu.screen()->name();
            }
            // Once seen, it is closed.
            if (!shown.isEmpty() && menu.isVisible())
                menu.close();
            last = now;
        });
        look.start(50);
        // The whole panel shows and takes the pointer: a mask made while Qt told of the new
        // monitor's size in the old one's scale once cut it to its top-left quarter.
        const QSize panelPixels = nativeRect(shell->panel()->winId()).size();
        QRect shape;
        const auto panelId = std::uint32_t(shell->panel()->winId());
        EXPECT_TRUE(waitUntil([&] { return (shape = x.shapeExtents(panelId)) == QRect(QPoint(), panelPixels); }, 30s))
            << "shape " << text(shape) << " of a panel of " << panelPixels.width() << "×" << panelPixels.height();
        x.click(pixels.center().x(), pixels.center().y());
        // Waits as long as a loaded machine needs: the menu shows and settles, or never does.
        ASSERT_TRUE(waitUntil([&] { return !shown.isEmpty() && !menu.isVisible(); }, 30s))
            << "menu " << (menu.isVisible() ? "visible at " + text(nativeRect(menu.winId())) : std::string("hidden"))
            << ", settled at " << text(shown) << ", button at " << text(pixels) << ", panel at "
            << text(nativeRect(shell->panel()->winId()));
        const QRect monitorPixels = monitor == "A" ? QRect(0, 0, 1920, 1080) : QRect(1920, 0, 1920, 1080);
        EXPECT_TRUE(monitorPixels.contains(shown)) << "menu at " << text(shown) << ", button at " << text(pixels);
        EXPECT_TRUE(shown.adjusted(-2, -2, 2, 2).intersects(pixels)) << "menu at " << text(shown) << ", button at " << text(pixels);
        EXPECT_EQ(screen, monitor);
    }

    // Opens an editor on B while the window manager is held framing it, calls `whileHeld` there,
    // lets Qt hear all the server told it while the frame waits at A's corner, lets the window
    // manager go on, and checks that the editor shows on B, at its place there, with the size it
    // asks there in points.
    void expectEditorFramedSlowlyOnB(const std::function<void(EditorExportWindow&)>& whileHeld)
    {
        startDesktop();
        start();
        // The panel is framed before the window manager is held: the next window it frames is the editor.
        FloatingPanel* panel = shell->panel();
        ASSERT_TRUE(panel && waitUntil([&] { return x.cardinals(std::uint32_t(panel->winId()), "_NET_FRAME_EXTENTS").size() == 4; }, 30s));
        x.movePointer(3000, 500); // the user works on B
        HeldWindowManager wm;
        ASSERT_TRUE(wm.attach(desktop.front()->processId(), x.root(), 60s)) << wm.log().toStdString();
        QImage shot(300, 200, QImage::Format_RGB32);
        shot.fill(Qt::darkGray);
        ASSERT_TRUE(shot.save(dir.filePath("shot.png")));
        shell->importImage(dir.filePath("shot.png"));
        ASSERT_TRUE(waitUntil([&] { return shell->editor(); }, 30s));
        EditorExportWindow* editor = shell->editor();
        // The size it asks on B. Not the size it has now: while it shows, Qt may hear of its pixels
        // before its last resize and take them in a scale they were not made in, for a moment.
        const QSize points = EditorExportWindow::contentSize(platform::usableArea(*b));
        bool told = !whileHeld;
        ASSERT_TRUE(wm.releaseOnceHeard(60s, [&] {
            if (!told) {
                told = true;
                whileHeld(*editor);
            }
            platform::syncQtWithServer();
        })) << wm.log().toStdString();
        ASSERT_FALSE(HasFailure());

        ASSERT_TRUE(waitUntil([&] { return editor->isVisible() && !nativeRect(editor->winId()).isEmpty(); }, 30s));
        std::vector<std::uint32_t> extents;
        ASSERT_TRUE(waitUntil([&] { return (extents = x.cardinals(std::uint32_t(editor->winId()), "_NET_FRAME_EXTENTS")).size() == 4; }, 30s));
        const QRect client = settledPlace([&] { return nativeRect(editor->winId()); }, "the editor");
        EXPECT_EQ(editor->screen(), b);
        EXPECT_EQ(monitorOf(client), QStringLiteral("B")) << text(client);
        EXPECT_TRUE(QRect(1920, 0, 1920, 1080).contains(client.topLeft() - QPoint(int(extents[0]), int(extents[2]))))
            << text(client);
        EXPECT_EQ(editor->size(), points);
        EXPECT_EQ(client.size(), points * 2) << text(client);
    }
};

} // namespace

TEST_F(MixedScales, ThePanelsMenuOpensAtItsButtonOnEitherMonitorAndAfterADrag)
{
    start();
    FloatingPanel& panel = *shell->panel();
    panel.move(1500, 700);
    // It starts on A too: only its new place says that the move is done.
    ASSERT_TRUE(waitUntil([&] { return nativeRect(panel.winId()).topLeft() == QPoint(1500, 700); }, 30s))
        << text(nativeRect(panel.winId()));
    expectMenuTouchesItsButton("on A");
    panel.move(2600, 300); // on B, in Qt's units
    ASSERT_TRUE(waitUntil([&] { return monitorOf(nativeRect(panel.winId())) == "B"; }, 30s));
    expectMenuTouchesItsButton("on B");

    // Dragged by its title from B to A and back, as a user moves it.
    for (const auto& [to, monitor] : {std::pair{QPoint(900, 500), "A"}, std::pair{QPoint(3000, 700), "B"}}) {
        const QWidget& title = panel.view().dragRegion();
        const QPoint grip = nativeRect(panel.winId()).topLeft()
            + (QPointF(title.mapTo(&panel, QPoint(title.width() / 2, title.height() / 2))) * panel.devicePixelRatio()).toPoint();
        x.drag(grip.x(), grip.y(), to.x(), to.y());
        ASSERT_TRUE(waitUntil([&] { return monitorOf(nativeRect(panel.winId())) == monitor; }, 30s)) << monitor;
        expectMenuTouchesItsButton(monitor);
    }
}

TEST_F(MixedScales, AnEditorLargerThanTheSmallMonitorKeepsItsTitleBarOnIt)
{
    startDesktop();
    start();
    QImage shot(300, 200, QImage::Format_RGB32);
    shot.fill(Qt::darkGray);
    ASSERT_TRUE(shot.save(dir.filePath("shot.png")));
    x.movePointer(3000, 500); // the user works on B
    shell->importImage(dir.filePath("shot.png"));
    ASSERT_TRUE(waitUntil([&] { return shell->editor(); }, 30s));
    EditorExportWindow* editor = shell->editor();
    ASSERT_TRUE(editor && waitUntil([&] { return editor->isVisible() && !nativeRect(editor->winId()).isEmpty(); }, 30s));
    // The window manager has framed it by now: its extents say how tall the title bar is.
    std::vector<std::uint32_t> extents;
    ASSERT_TRUE(waitUntil([&] { return (extents = x.cardinals(std::uint32_t(editor->winId()), "_NET_FRAME_EXTENTS")).size() == 4; }, 30s));
    const QRect client = settledPlace([&] { return nativeRect(editor->winId()); }, "the editor");
    const QRect titleBar(client.left() - int(extents[0]), client.top() - int(extents[2]), client.width() + int(extents[0] + extents[1]),
                         int(extents[2]));
    ASSERT_GT(titleBar.height(), 0);
    EXPECT_EQ(editor->screen(), b);
    EXPECT_TRUE(QRect(1920, 0, 1920, 1080).contains(titleBar.topLeft())) << text(titleBar);
    EXPECT_GE(titleBar.top(), 0) << text(titleBar);
    EXPECT_GE(editor->minimumWidth(), 850);
}

// On a loaded machine the window manager takes its time: the editor opened on B sits for a moment
// in a frame not yet placed, at the top left corner of A, while Qt hears of it. It shows on B all
// the same, at its place there, with its size in points.
TEST_F(MixedScales, AnEditorFramedSlowlyStaysOnTheMonitorItOpenedOn) { expectEditorFramedSlowlyOnB({}); }

// The window manager, held there, may also tell the editor where its unplaced frame put it: at A's
// corner, with the pixels of B. Qt takes them in A's scale, as twice the size in points, before the
// editor first shows; that is not a size the editor asked for.
TEST_F(MixedScales, AnEditorToldOfItsUnplacedFrameKeepsTheSizeItAskedOnItsMonitor)
{
    expectEditorFramedSlowlyOnB([this](EditorExportWindow& editor) {
        const auto id = std::uint32_t(editor.winId());
        const QRect unplaced = nativeRect(editor.winId());
        ASSERT_EQ(monitorOf(unplaced), QStringLiteral("A")) << text(unplaced);
        x.tellConfigured(id, unplaced);
    });
}
