#include "ClipEngine.h"
#include "recording/RecordingControlPanel.h"
#include "recording/RecordingWindow.h"
#include "recording/ScreenRecordingController.h"
#include "support/DockedDesk.h"

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

// Made before main makes the application: monitor B shows everything at twice the size.
const bool bAtTwice = qputenv("QT_SCREEN_SCALE_FACTORS", "A=1;B=2");

const QRect usableA(0, 0, 1920, 1048), usableB(1920, 0, 1920, 1048); // root pixels, less the taskbar

class RecordingWindowsOnMixedScales : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(bAtTwice);
        ASSERT_TRUE(splitIntoMonitors());
        ASSERT_EQ(QGuiApplication::screens().constLast()->devicePixelRatio(), 2.0);
        desktop.push_back(std::make_unique<QProcess>());
        ASSERT_TRUE(startOpenbox(*desktop.back()));
        desktop.push_back(std::make_unique<QProcess>());
        ASSERT_TRUE(startBottomDock(x, *desktop.back()));
        ASSERT_EQ(runProcess("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "testsrc=size=640x360:rate=30", "-t", "1",
                                        "-c:v", "libx264", "-pix_fmt", "yuv420p", clip},
                             nullptr, {}, 60s),
                  0);
    }
    void TearDown() override
    {
        for (auto& p : desktop) {
            p->kill();
            p->waitForFinished(5000);
        }
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

    // Has the window manager move `window` to the top left of `usable` and checks, once Qt has
    // it on that monitor, that it has `points` (as far as the monitor's room allows), lies inside
    // the usable area, and shows the buttons named `buttons` whole on it.
    void expectMovedWithItsPointSize(QWidget& window, const QRect& usable, QSize points, const QStringList& buttons)
    {
        const bool toB = usable == usableB;
        SCOPED_TRACE(toB ? "on B" : "on A");
        x.moveWindow(std::uint32_t(window.winId()), usable.x() + 40, usable.y() + 20);
        const int ratio = toB ? 2 : 1;
        ASSERT_TRUE(waitUntil([&] { return window.screen() == QGuiApplication::screens().at(toB ? 1 : 0); }, 30s));
        // Settled where it keeps its size in points: the window manager's move alone leaves its pixels.
        QRect frame, client;
        const bool kept = waitUntil([&] {
            frame = settledFrame(window, "the window");
            client = x.rootGeometry(std::uint32_t(window.winId()));
            // Whole points: the room rounded down.
            const QSize pixels = usable.size() - (frame.size() - client.size());
            const QSize room(pixels.width() / ratio, pixels.height() / ratio);
            return window.size() == points.boundedTo(room);
        }, 60s);
        EXPECT_TRUE(kept) << "the window has " << window.width() << "×" << window.height() << " pt, "
                          << client.width() << "×" << client.height() << " px, of " << points.width() << "×"
                          << points.height() << " pt before the move";
        EXPECT_EQ(QSizeF(client.size()), QSizeF(window.size()) * ratio) << "Qt and the server disagree";
        EXPECT_TRUE(usable.contains(frame)) << "frame at " << text(frame) << " on a usable " << text(usable);
        if (const char* shots = std::getenv("TARNWICK_TEST_SHOTS")) // for a look at the desk
            runProcess("ffmpeg", {"-v", "error", "-y", "-f", "x11grab", "-video_size", "3840x1080", "-i",
                                  qEnvironmentVariable("DISPLAY"), "-frames:v", "1",
                                  QStringLiteral("%1/%2-%3-%4.png").arg(shots).arg(buttons.first()).arg(toB ? "B" : "A").arg(window.height())});
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

    X11Client x;
    QTemporaryDir dir;
    QString clip = dir.filePath("clip.mp4");
    QSettings settings{dir.filePath("settings.ini"), QSettings::IniFormat};
    std::vector<std::unique_ptr<QProcess>> desktop;
};

} // namespace

// Dragged by its title bar to the 2× monitor and back, the setup and the review keep their size
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
    EXPECT_TRUE(waitUntil([&] { return x.rootGeometry(controlId).size() == QSize(516, 104); }, 30s))
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
