#include "ClipEngine.h"
#include "recording/RecordingControlPanel.h"
#include "recording/RecordingWindow.h"
#include "recording/ScreenRecordingController.h"
#include "platform/QtServerSync.h"
#include "support/DockedDesk.h"
#include "support/HeldWindowManager.h"

#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

// The recording's windows on a desk split into A (1×) and B (2×) with a taskbar along the bottom
// of both, moved between the monitors by the window manager as a user's drag of a title bar does.

using namespace std::chrono_literals;
using namespace tarnwick;
using namespace tarnwick::recording;
using namespace tarnwick::test;

namespace {

// Monitor B's scale: twice the size unless the build says otherwise.
#ifndef TARNWICK_TEST_SCALE_B
#define TARNWICK_TEST_SCALE_B 2
#endif
constexpr double scaleB = TARNWICK_TEST_SCALE_B;
// Made before main makes the application.
const bool bScaled = qputenv("QT_SCREEN_SCALE_FACTORS", "A=1;B=" + QByteArray::number(scaleB));

const QRect usableA(0, 0, 1920, 1048), usableB(1920, 0, 1920, 1048); // root pixels, less the taskbar

class RecordingWindowsOnMixedScales : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(bScaled);
        ASSERT_TRUE(splitIntoMonitors());
        ASSERT_EQ(QGuiApplication::screens().constLast()->devicePixelRatio(), scaleB);
        if (!lateWindowManager)
            startDesk();
        ASSERT_EQ(makeClip(clip), 0);
    }

    void startDesk()
    {
        openbox = &desktop.add();
        ASSERT_TRUE(startOpenbox(*openbox));
        ASSERT_TRUE(startBottomDock(x, desktop.add()));
    }

    std::unique_ptr<ScreenRecordingController> session()
    {
        settings.setValue("recordingEntireDisplay", true);
        RecordingServices s = RecordingServices::system();
        s.temporaryRoot = dir.filePath("private");
        s.makeEngine = [this] { return std::make_shared<ClipEngine>(clip); };
        s.confirmDiscard = [](QWidget*) { return true; };
        return std::make_unique<ScreenRecordingController>(&settings, [] { return true; }, s);
    }

    // Where the server shows `window` with its window manager's frame, in root pixels, once it
    // stays put; the frame's extents are known by then.
    QRect settledFrame(QWidget& window, const std::string& what)
    {
        const auto id = std::uint32_t(window.winId());
        return settledPlace([&] {
            const std::vector<std::uint32_t> e = x.cardinals(id, "_NET_FRAME_EXTENTS");
            const QRect client = x.rootGeometry(id);
            if (e.size() != 4 || client.isEmpty())
                return QRect();
            return client.adjusted(-int(e[0]), -int(e[2]), int(e[1]), int(e[3]));
        }, what);
    }

    // Checks, once Qt has `window` on the monitor of `usable` and it has stayed put, that it has
    // `points` (as far as the monitor's room allows, in whole points), lies inside the usable area,
    // and shows the buttons named `buttons` whole on it.
    void expectShownWithItsPointSize(QWidget& window, const QRect& usable, QSize points, const QStringList& buttons)
    {
        const bool onB = usable == usableB;
        const double ratio = onB ? scaleB : 1;
        ASSERT_TRUE(waitUntil([&] { return window.screen() == QGuiApplication::screens().at(onB ? 1 : 0); }, 30s));
        // A window manager's move alone leaves its pixels: settled where it has its points again.
        QRect frame, client;
        QSize expected;
        const auto near = [](QSize a, QSize b) { return std::abs(a.width() - b.width()) <= 1 && std::abs(a.height() - b.height()) <= 1; };
        const bool kept = waitUntil([&] {
            frame = settledFrame(window, "the window");
            client = x.rootGeometry(std::uint32_t(window.winId()));
            const QSize pixels = usable.size() - (frame.size() - client.size());
            expected = points.boundedTo(QSize(int(pixels.width() / ratio), int(pixels.height() / ratio)));
            return near(window.size(), expected) && near(client.size(), (QSizeF(window.size()) * ratio).toSize());
        }, 60s);
        EXPECT_TRUE(kept) << "the window has " << window.width() << "×" << window.height() << " pt, "
                          << client.width() << "×" << client.height() << " px; " << expected.width() << "×"
                          << expected.height() << " pt wanted";
        EXPECT_TRUE(usable.contains(frame)) << "frame at " << text(frame) << " on a usable " << text(usable);
        if (const char* shots = std::getenv("TARNWICK_TEST_SHOTS")) // for a look at the desk
            runProcess("ffmpeg", {"-v", "error", "-y", "-f", "x11grab", "-video_size", "3840x1080", "-i",
                                  qEnvironmentVariable("DISPLAY"), "-frames:v", "1",
                                  QStringLiteral("%1/%2-%3-%4.png").arg(shots, buttons.first(), onB ? "B" : "A").arg(window.height())});
        for (const QString& name : buttons) {
            QPushButton* button = nullptr;
            for (QPushButton* b : window.findChildren<QPushButton*>())
                if (b->text() == name && b->isVisible())
                    button = b;
            ASSERT_TRUE(button) << name.toStdString();
            const QPoint at = button->mapTo(&window, QPoint());
            const QRect shown(client.topLeft() + (QPointF(at) * ratio).toPoint(), (QSizeF(button->size()) * ratio).toSize());
            EXPECT_TRUE(usable.contains(shown)) << name.toStdString() << " at " << text(shown);
        }
    }

    // Has the window manager move `window` to the top left of `usable`, as a drag of its title bar
    // does, and checks it there.
    void expectMovedWithItsPointSize(QWidget& window, const QRect& usable, QSize points, const QStringList& buttons)
    {
        SCOPED_TRACE(usable == usableB ? "moved to B" : "moved to A");
        x.moveWindow(std::uint32_t(window.winId()), usable.x() + 40, usable.y() + 20);
        expectShownWithItsPointSize(window, usable, points, buttons);
    }

    QProcess* openbox = nullptr;
    bool lateWindowManager = false; // the desk's window manager and taskbar start after the window shows
    X11Client x;
    QTemporaryDir dir;
    QString clip = dir.filePath("clip.mp4");
    QSettings settings{dir.filePath("settings.ini"), QSettings::IniFormat};
    DeskPrograms desktop;
};

// A session that starts before its window manager does, as at login: the window shows unframed,
// and the frame and the taskbar's room come later.
class RecordingWindowsBeforeTheWindowManager : public RecordingWindowsOnMixedScales {
protected:
    RecordingWindowsBeforeTheWindowManager() { lateWindowManager = true; }
};

} // namespace

// Dragged by its title bar to the monitor of the other scale and back, the setup and the review keep their size
// in points, as far as the small monitor has room, and their bottom bars stay on it; the stop
// control keeps its size too.
TEST_F(RecordingWindowsOnMixedScales, WindowsKeepTheirSizeInPointsOnAMonitorOfAnotherScale)
{
    x.movePointer(600, 500); // the user works on A
    auto controller = session();
    controller->present();
    RecordingWindow& window = *controller->window();
    settledFrame(window, "the setup");
    ASSERT_EQ(window.screen(), QGuiApplication::screens().at(0));
    const QSize setup = window.size();
    for (const QRect& usable : {usableB, usableA})
        expectMovedWithItsPointSize(window, usable, setup, {QStringLiteral("Записать")});

    controller->model().startAction();
    ASSERT_TRUE(QTest::qWaitFor([&] { return controller->model().phase() == RecordingPhase::recording; }, 20000));
    RecordingControlPanel& control = *controller->control();
    const auto controlId = std::uint32_t(control.winId());
    ASSERT_FALSE(settledPlace([&] { return x.rootGeometry(controlId); }, "the stop control").isEmpty());
    x.moveWindow(controlId, 2400, 600);
    const QSize controlPixels = (QSizeF(258, 52) * scaleB).toSize();
    EXPECT_TRUE(waitUntil([&] { return x.rootGeometry(controlId).size() == controlPixels; }, 30s))
        << "the stop control has " << text(x.rootGeometry(controlId)) << " on B";
    EXPECT_EQ(control.size(), QSize(258, 52));

    controller->model().stopAction();
    ASSERT_TRUE(QTest::qWaitFor([&] { return controller->model().phase() == RecordingPhase::review; }, 20000));
    ASSERT_TRUE(waitUntil([&] { return window.size() == QSize(900, 820); }, 30s)) << window.width() << "×" << window.height();
    settledFrame(window, "the review");
    for (const QRect& usable : {usableB, usableA})
        expectMovedWithItsPointSize(window, usable, QSize(900, 820),
                                    {QStringLiteral("Удалить запись"), QStringLiteral("Сохранить MP4…")});
}

// Opened where the user works, on the monitor of the other scale, lower than the setup: the window
// opens there, as high as that monitor has room for, its bottom bar on it.
TEST_F(RecordingWindowsOnMixedScales, TheSetupOpenedOnTheOtherMonitorFitsThere)
{
    x.movePointer(2600, 500);
    auto controller = session();
    controller->present();
    RecordingWindow& window = *controller->window();
    SCOPED_TRACE("opened on B");
    expectShownWithItsPointSize(window, usableB, QSize(650, 625), {QStringLiteral("Записать")});
}

// Opened on the monitor of the other scale before the window manager runs: once it frames the
// window, the window fits between the frame and the taskbar with all the height it has room for.
TEST_F(RecordingWindowsBeforeTheWindowManager, TheSetupFitsTheFrameThatCameLate)
{
    x.movePointer(2600, 500);
    auto controller = session();
    controller->present();
    RecordingWindow& window = *controller->window();
    const auto id = std::uint32_t(window.winId());
    ASSERT_FALSE(settledPlace([&] { return x.rootGeometry(id); }, "the unframed setup").isEmpty());
    ASSERT_TRUE(x.cardinals(id, "_NET_FRAME_EXTENTS").empty());
    startDesk();
    ASSERT_FALSE(HasFatalFailure());
    SCOPED_TRACE("framed late on B");
    expectShownWithItsPointSize(window, usableB, QSize(650, 625), {QStringLiteral("Записать")});
}

// On a loaded machine the window manager takes its time to place the frame of the setup opened on
// the monitor of the other scale: Qt hears of the window while the frame still waits at A's top
// left corner. The setup opens on B all the same, as high as B has room for.
TEST_F(RecordingWindowsOnMixedScales, TheSetupFramedSlowlyOpensOnTheOtherMonitor)
{
    x.movePointer(2600, 500);
    HeldWindowManager wm;
    ASSERT_TRUE(wm.attach(openbox->processId(), x.root(), 60s)) << wm.log().toStdString();
    auto controller = session();
    controller->present();
    RecordingWindow& window = *controller->window();
    // Qt hears all the server told it while the frame waits at A's corner.
    ASSERT_TRUE(wm.releaseOnceHeard(60s, platform::syncQtWithServer)) << wm.log().toStdString();
    SCOPED_TRACE("framed slowly on B");
    expectShownWithItsPointSize(window, usableB, QSize(650, 625), {QStringLiteral("Записать")});
}
