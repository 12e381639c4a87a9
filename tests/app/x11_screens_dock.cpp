#include "SplitDesk.h"
#include "support/DockedDesk.h"

#include "editor/window/EditorExportWindow.h"
#include "panels/FloatingPanel.h"
#include "panels/FloatingPanelMenu.h"
#include "panels/FloatingPanelView.h"
#include "panels/PanelDragRegion.h"
#include "platform/UsableArea.h"
#include "recording/RecordingControlPanel.h"
#include "recording/RecordingWindow.h"
#include "recording/ScreenRecordingController.h"

#include <QApplication>
#include <QTimer>
#include <QToolButton>
#include <memory>
#include <xcb/xcb.h>

using namespace std::chrono_literals;
using namespace tarnwick;
using namespace tarnwick::test;

namespace {

// The split desk under openbox with a taskbar (trayer) along the bottom that keeps 32 px for
// itself through its strut; openbox's one work area for the whole desk is then 0,0 3840×1048.
// Here the desk changes after Qt started, which Qt follows on its own; the real program started
// on such a desk is in tests/e2e/x11_screens_docked_program.cpp.
class DockedSplitDesk : public SplitDesk {
protected:
    const QRect usableA{0, 0, 1920, 1048}, usableB{1920, 0, 1920, 1048};

    void SetUp() override
    {
        SplitDesk::SetUp();
        if (HasFatalFailure())
            return;
        desktop << new QProcess;
        ASSERT_TRUE(startOpenbox(*desktop.back()));
        desktop << new QProcess;
        ASSERT_TRUE(startBottomDock(x, *desktop.back()));
    }

    // Where the X server shows `window`, in root pixels, with the frame the window manager put
    // around it.
    QRect onServer(const QWidget& widget)
    {
        const auto id = std::uint32_t(widget.winId());
        QRect rect = x.rootGeometry(id);
        if (rect.isEmpty())
            return {};
        const std::vector<std::uint32_t> frame = x.cardinals(id, "_NET_FRAME_EXTENTS");
        if (frame.size() == 4)
            rect.adjust(-int(frame[0]), -int(frame[2]), int(frame[1]), int(frame[3]));
        return rect;
    }

    // The window's place once it has stayed put for a while: a busy server may still be moving it.
    QRect settled(const QWidget& widget)
    {
        return settledPlace([&] { return widget.isVisible() ? onServer(widget) : QRect(); },
                            std::string(widget.metaObject()->className()) + " «" + widget.windowTitle().toStdString() + "»");
    }

    // The window lies inside the usable area of the monitor that holds most of it.
    void expectInside(const char* what, const QRect& window)
    {
        const auto area = [](const QRect& r) { return r.isEmpty() ? 0 : r.width() * r.height(); };
        const QRect& usable =
            area(window & QRect(0, 0, 1920, 1080)) >= area(window & QRect(1920, 0, 1920, 1080)) ? usableA : usableB;
        EXPECT_TRUE(usable.contains(window)) << what << " at " << text(window) << ", usable " << text(usable);
    }

    // The recording window brought up on the monitor of `pointer`, once the window manager has framed it.
    std::unique_ptr<recording::ScreenRecordingController> presentRecorder(QPoint pointer)
    {
        settings.setValue("recordingCodec", "h264");
        recording::RecordingServices services = recording::RecordingServices::system();
        services.temporaryRoot = root;
        auto recorder = std::make_unique<recording::ScreenRecordingController>(&settings, [] { return true; }, services);
        x.movePointer(pointer.x(), pointer.y());
        recorder->present();
        const QWidget* window = recorder->window();
        if (window && waitUntil([&] { return x.cardinals(std::uint32_t(window->winId()), "_NET_FRAME_EXTENTS").size() == 4; }, 30s))
            return recorder;
        ADD_FAILURE() << "the recording window did not come up framed";
        return nullptr;
    }

    // Drags the panel by its title so that the grip would go to `to`.
    void dragPanel(QPoint to)
    {
        FloatingPanel& panel = *shell->panel();
        const QWidget& title = panel.view().dragRegion();
        const QPoint grip = settled(panel).topLeft() + title.mapTo(&panel, title.rect().center());
        x.drag(grip.x(), grip.y(), to.x(), to.y());
    }
};

} // namespace

TEST_F(DockedSplitDesk, EveryWindowWePlaceStaysOffTheDock)
{
    ASSERT_EQ(QGuiApplication::screens().size(), 2);
    EXPECT_EQ(platform::usableArea(*QGuiApplication::screens()[0]), usableA);
    EXPECT_EQ(platform::usableArea(*b), usableB);

    start();
    FloatingPanel& panel = *shell->panel();
    const QRect first = settled(panel);
    expectInside("the panel at start", first);
    EXPECT_EQ(first.bottomRight(), QPoint(1919 - 14, 1047 - 14)) << "14 px in from the corner of the usable area";

    // Dropped past each edge, it comes back inside the usable area of the monitor it was dropped on.
    const std::pair<const char*, QPoint> edges[] = {{"left", {20, 500}},         {"top", {900, 4}},
                                                    {"bottom of A", {900, 1076}}, {"bottom of B", {3000, 1076}},
                                                    {"right", {3836, 500}},       {"top of B", {2600, 4}}};
    for (const auto& [edge, to] : edges) {
        dragPanel(to);
        expectInside(edge, settled(panel));
    }

    // Its menu opened at the bottom of B, where the room below the button is the dock's.
    dragPanel({3000, 1076});
    expectInside("the panel at the bottom of B", settled(panel));
    FloatingPanelMenu& menu = panel.view().menu();
    QRect shown;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        // Looked at from a timer, so also inside the menu's own event loop.
        if (menu.isVisible() && shown.isEmpty()) {
            shown = settled(menu);
            menu.close();
        }
    });
    look.start(50);
    const QRect button = settled(panel.view().menuButton());
    x.click(button.center().x(), button.center().y());
    ASSERT_TRUE(waitUntil([&] { return !shown.isEmpty() && !menu.isVisible(); }, 30s));
    look.stop();
    expectInside("the panel's menu", shown);

    // The editor on the monitor of the capture.
    QImage shot(300, 200, QImage::Format_RGB32);
    shot.fill(Qt::darkGray);
    shot.setOffset(QPoint(2400, 300));
    ASSERT_TRUE(shot.save(dir.filePath("pick.png")));
    qputenv("FAKE_PICK", QFile::encodeName(dir.filePath("pick.png")));
    shell->captureScreenshot(ScreenCaptureMode::area);
    ASSERT_TRUE(waitUntil([&] { return shell->editor() && shell->editor()->isVisible(); }, 10s));
    ASSERT_TRUE(waitUntil([&] { return x.cardinals(std::uint32_t(shell->editor()->winId()), "_NET_FRAME_EXTENTS").size() == 4; }, 30s));
    expectInside("the editor", settled(*shell->editor()));
    shell->finishEditor(false, false);

    // The shortcut guide and the permission wizard, centred on the usable area.
    x.movePointer(3000, 500);
    shell->showShortcutGuide();
    shell->showPermissionSetup();
    for (const char* title : {"Горячие клавиши", "Разрешения"}) {
        QWidget* window = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->windowTitle().contains(QString::fromUtf8(title)))
                window = w;
        ASSERT_TRUE(window) << title;
        ASSERT_TRUE(waitUntil([&] { return x.cardinals(std::uint32_t(window->winId()), "_NET_FRAME_EXTENTS").size() == 4; }, 30s));
        expectInside(title, settled(*window));
        window->close();
    }

    // The recording window, the stop control at the bottom of the recorded monitor, and the window
    // again with the finished recording to trim.
    const std::unique_ptr<recording::ScreenRecordingController> presented = presentRecorder({3000, 900});
    ASSERT_TRUE(presented);
    recording::ScreenRecordingController& recorder = *presented;
    expectInside("the recording window", settled(*recorder.window()));
    RecordingOptions options = recorder.model().options();
    options.entireDisplay = true;
    options.showsCursor = false;
    recorder.model().setOptions(options);
    recorder.model().startAction();
    ASSERT_TRUE(waitUntil([&] { return recorder.control() && recorder.model().elapsed() >= 1; }, 20s))
        << recorder.model().message().value_or("").toStdString();
    expectInside("the stop control", settled(*recorder.control()));
    recorder.model().stopAction();
    ASSERT_TRUE(waitUntil([&] { return recorder.model().phase() == recording::RecordingPhase::review; }, 20s));
    ASSERT_TRUE(waitUntil([&] { return recorder.window()->isVisible(); }, 10s));
    expectInside("the review window", settled(*recorder.window()));
}

// Moved from one monitor to the other, the recording window stays where the user put it: it used to
// be pulled back to the monitor it left, or to go to and fro between the two for good.
TEST_F(DockedSplitDesk, TheRecordingWindowMovedToTheOtherMonitorStaysThere)
{
    const std::unique_ptr<recording::ScreenRecordingController> recorder = presentRecorder({600, 500});
    ASSERT_TRUE(recorder);
    QWidget& window = *recorder->window();
    const auto id = std::uint32_t(window.winId());
    const QRect before = settled(window);
    ASSERT_TRUE(usableA.contains(before)) << text(before);

    // By the window manager, as its keys or a pager move it; a drag by the title bar moves it the same way.
    const QRect dropped = before.translated(1920, 0);
    x.moveWindow(id, dropped.x(), dropped.y());
    ASSERT_TRUE(waitUntil([&] { return onServer(window) != before; }, 30s)) << "the window manager did not move it";
    const QRect after = settled(window);
    EXPECT_EQ(after, dropped);
}
