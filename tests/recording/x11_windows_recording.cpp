#include "ClipEngine.h"
#include "capture/RecordingAreaSelector.h"
#include "recording/RecordingControlPanel.h"
#include "recording/RecordingWindow.h"
#include "recording/ScreenRecordingController.h"
#include "support/X11Client.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <X11/keysym.h>
#include <cmath>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

// The recording's windows on a real desktop: openbox, a tray host that keeps
// the top 32 pixels for itself, a plain desktop colour and no compositor.

using namespace std::chrono_literals;
using namespace tarnwick;
using namespace tarnwick::recording;
using namespace tarnwick::test;

namespace {

constexpr QRgb desktopColour = 0xff3a7bd5;
constexpr QRgb backdropColour = 0xffd0a020;

class RecordingWindows : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The server paints this colour itself wherever a window goes away.
        const std::uint32_t colour = desktopColour & 0xffffff;
        xcb_change_window_attributes(c(), x.root(), XCB_CW_BACK_PIXEL, &colour);
        xcb_clear_area(c(), 0, x.root(), 0, 0, 0, 0);
        x.sync();
        // The tray host comes once openbox manages windows, so that openbox keeps its strip free.
        desktop.push_back(std::make_unique<QProcess>());
        ASSERT_TRUE(startOpenbox(*desktop.back()));
        desktop.push_back(std::make_unique<QProcess>());
        desktop.back()->start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "32",
                                         "--SetPartialStrut", "true"});
        ASSERT_TRUE(waitUntil([&] { return x.selectionOwner("_NET_SYSTEM_TRAY_S0") != 0; }, 30s)) << "no tray host";
        ASSERT_TRUE(waitUntil([&] { return workArea().top() == 32; }, 30s)) << "the strip is not kept free";
        ASSERT_TRUE(waitUntil([&] { return QGuiApplication::primaryScreen()->availableGeometry() == workArea(); }, 10s));
        ASSERT_EQ(x.selectionOwner("_NET_WM_CM_S0"), 0u) << "no compositor";

        ASSERT_EQ(makeClip(clip), 0);
    }

    void TearDown() override
    {
        for (auto& p : desktop) {
            p->kill();
            p->waitForFinished(5000);
        }
    }

    xcb_connection_t* c() const { return x.connection(); }

    QRect workArea()
    {
        const auto v = x.cardinals(x.root(), "_NET_WORKAREA");
        return v.size() >= 4 ? QRect(int(v[0]), int(v[1]), int(v[2]), int(v[3])) : QRect();
    }

    // A session of the real controller whose engine hands over the clip.
    std::unique_ptr<ScreenRecordingController> session(bool entireDisplay)
    {
        settings.setValue("recordingEntireDisplay", entireDisplay);
        RecordingServices s = RecordingServices::system();
        s.temporaryRoot = dir.filePath("private");
        s.makeEngine = [this] { return std::make_shared<ClipEngine>(clip); };
        s.confirmDiscard = [](QWidget*) { return true; };
        s.selectArea = [this](const QString& prompt, RecordingAreaSelector::Completion done) {
            auto selector = std::make_shared<RecordingAreaSelector>();
            selector->select(prompt, std::move(done));
            selector_ = selector;
            return std::shared_ptr<void>(selector);
        };
        return std::make_unique<ScreenRecordingController>(&settings, [] { return true; }, s);
    }

    // The child of the root that holds `window`: its window manager's frame, or the window itself.
    xcb_window_t outermost(xcb_window_t window)
    {
        for (;;) {
            const auto tree = reply(xcb_query_tree_reply(c(), xcb_query_tree(c(), window), nullptr));
            if (!tree || tree->parent == tree->root || tree->parent == XCB_NONE)
                return window;
            window = tree->parent;
        }
    }

    // Where `window` shows on the root (root pixels), nullopt while it is not viewable.
    std::optional<QRect> shown(xcb_window_t window, bool withFrame)
    {
        const auto attributes =
            reply(xcb_get_window_attributes_reply(c(), xcb_get_window_attributes(c(), window), nullptr));
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
            return std::nullopt;
        const xcb_window_t which = withFrame ? outermost(window) : window;
        const auto geometry = reply(xcb_get_geometry_reply(c(), xcb_get_geometry(c(), which), nullptr));
        const auto origin = reply(
            xcb_translate_coordinates_reply(c(), xcb_translate_coordinates(c(), which, x.root(), 0, 0), nullptr));
        if (!geometry || !origin)
            return std::nullopt;
        const int border = geometry->border_width;
        return QRect(origin->dst_x - border, origin->dst_y - border, geometry->width + 2 * border,
                     geometry->height + 2 * border);
    }

    // The frame of `window` once the window manager has framed it and it has kept still for a moment.
    std::optional<QRect> settledFrame(xcb_window_t window)
    {
        std::optional<QRect> last;
        QElapsedTimer still;
        still.start();
        const bool settled = waitUntil(
            [&] {
                const std::optional<QRect> now = shown(window, true);
                if (!now || now != last || x.cardinals(window, "_NET_FRAME_EXTENTS").size() != 4) {
                    last = now;
                    still.restart();
                    return false;
                }
                return still.elapsed() >= 600;
            },
            15s);
        return settled ? last : std::nullopt;
    }

    QImage rootPixels(const QRect& r)
    {
        const auto image = reply(xcb_get_image_reply(
            c(), xcb_get_image(c(), XCB_IMAGE_FORMAT_Z_PIXMAP, x.root(), std::int16_t(r.x()), std::int16_t(r.y()),
                               std::uint16_t(r.width()), std::uint16_t(r.height()), ~0u),
            nullptr));
        if (!image)
            return {};
        return QImage(xcb_get_image_data(image.get()), r.width(), r.height(), r.width() * 4, QImage::Format_RGB32).copy();
    }

    QRgb rootPixel(QPoint p) { return rootPixels(QRect(p, QSize(1, 1))).pixel(0, 0); }

    X11Client x;
    QTemporaryDir dir;
    QString clip = dir.filePath("clip.mp4");
    QSettings settings{dir.filePath("settings.ini"), QSettings::IniFormat};
    std::weak_ptr<RecordingAreaSelector> selector_;
    std::vector<std::unique_ptr<QProcess>> desktop;
};

std::string text(const QRect& r)
{
    return QStringLiteral("%1×%2 at (%3, %4)").arg(r.width()).arg(r.height()).arg(r.x()).arg(r.y()).toStdString();
}

std::uint32_t idOf(QWidget* widget)
{
    return static_cast<std::uint32_t>(widget->winId());
}

} // namespace

TEST_F(RecordingWindows, ReviewOpensWithItsWholeFrameInsideTheAvailableArea)
{
    const QRect area = workArea();
    for (int opening = 1; opening <= 10; ++opening) {
        SCOPED_TRACE(opening);
        auto controller = session(true);
        bool dismissed = false;
        controller->onDismiss = [&] { dismissed = true; };
        controller->present();
        const std::uint32_t window = idOf(controller->window());
        ASSERT_TRUE(settledFrame(window));
        controller->model().startAction();
        ASSERT_TRUE(QTest::qWaitFor([&] { return controller->model().phase() == RecordingPhase::recording; }, 20000));
        controller->model().stopAction();
        ASSERT_TRUE(QTest::qWaitFor([&] { return controller->model().phase() == RecordingPhase::review; }, 20000));

        const std::optional<QRect> frame = settledFrame(window);
        ASSERT_TRUE(frame);
        const QRect client = *shown(window, false);
        EXPECT_TRUE(area.contains(*frame)) << "frame " << text(*frame) << " outside " << text(area);
        // As large as the review asks, where the screen has the room.
        const QSize decoration = frame->size() - client.size();
        EXPECT_EQ(client.size(), QSize(900, 820).boundedTo(area.size() - decoration)) << "frame " << text(*frame);

        controller->model().discardAction();
        ASSERT_TRUE(QTest::qWaitFor([&] { return dismissed; }, 10000));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // the window goes first, as in the shell
    }
}

TEST_F(RecordingWindows, StopControlCornersShowTheDesktop)
{
    auto controller = session(true);
    controller->present();
    ASSERT_TRUE(settledFrame(idOf(controller->window())));
    controller->model().startAction();
    ASSERT_TRUE(QTest::qWaitFor([&] { return controller->model().phase() == RecordingPhase::recording; }, 20000));
    const std::uint32_t strip = idOf(controller->control());
    ASSERT_TRUE(settledFrame(strip));
    const QRect r = *shown(strip, false);
    ASSERT_EQ(r.size(), QSize(258, 52));
    // Painted once the middle of the strip is no longer the desktop.
    ASSERT_TRUE(waitUntil([&] { return rootPixel(r.center()) != desktopColour; }, 30s));
    // Its answer to a ping follows the whole of that paint to the server.
    ASSERT_TRUE(x.ping(strip));
    const QImage shot = rootPixels(r);

    // Pixels more than a pixel outside the rounded shape (radius 14) belong to the desktop.
    constexpr double radius = 14;
    int wrong = 0;
    QString first;
    for (int py = 0; py < r.height(); ++py) {
        for (int px = 0; px < r.width(); ++px) {
            const double cx = px < radius ? radius : px >= r.width() - radius ? r.width() - radius : px + 0.5;
            const double cy = py < radius ? radius : py >= r.height() - radius ? r.height() - radius : py + 0.5;
            if (std::hypot(px + 0.5 - cx, py + 0.5 - cy) <= radius + 1)
                continue;
            if (shot.pixel(px, py) != desktopColour && wrong++ == 0)
                first = QStringLiteral("(%1, %2) is #%3").arg(px).arg(py).arg(shot.pixel(px, py) & 0xffffff, 6, 16, QLatin1Char('0'));
        }
    }
    EXPECT_EQ(wrong, 0) << "corner pixels that hide the desktop, the first " << first.toStdString();
    EXPECT_NE(shot.pixel(20, 26), desktopColour) << "the strip itself shows";

    controller->model().stopAction();
    ASSERT_TRUE(QTest::qWaitFor([&] { return controller->model().phase() == RecordingPhase::review; }, 20000));
}

TEST_F(RecordingWindows, AreaSelectorFreezesTheScreenWithoutTheRecordingWindow)
{
    const QRect area = workArea();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const std::uint8_t escape = x.keycodeOf(XK_Escape);
    const QRect prompt(screen.topLeft(), QSize(820, 60)); // the veil's own drawing
    // Below the recording window: the bare desktop, which the server repaints,
    // or another program's window, which repaints itself when it is told.
    for (const bool backdrop : {false, true}) {
        SCOPED_TRACE(backdrop ? "over a window" : "over the desktop");
        QWidget below(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnBottomHint);
        if (backdrop) {
            QPalette palette;
            palette.setColor(QPalette::Window, QColor::fromRgb(backdropColour));
            below.setPalette(palette);
            below.setAutoFillBackground(true);
            below.setGeometry(area);
            below.show();
            ASSERT_TRUE(waitUntil([&] { return rootPixel(area.center()) == backdropColour; }, 10s));
        }
        const QRgb ground = backdrop ? backdropColour : desktopColour;
        auto controller = session(false);
        for (int selection = 1; selection <= 10; ++selection) {
            SCOPED_TRACE(selection);
            controller->present();
            const std::optional<QRect> frame = settledFrame(idOf(controller->window()));
            ASSERT_TRUE(frame);
            ASSERT_TRUE(waitUntil([&] { return rootPixel(frame->center()) != ground; }, 30s)) << "the window shows";
            // A point of the same ground away from the window and the prompt.
            const QPoint away(area.right() - 4, area.bottom() - 4);
            ASSERT_FALSE(frame->contains(away));

            controller->model().startAction();
            ASSERT_TRUE(waitUntil(
                [&] {
                    const auto selector = selector_.lock();
                    if (!selector || selector->panels().empty())
                        return false;
                    for (QWidget* panel : selector->panels())
                        if (!panel->windowHandle() || !panel->windowHandle()->isExposed())
                            return false;
                    return x.keyboardGrabbedElsewhere() && rootPixel(away) != ground;
                },
                30s));
            // Every veil's answer to a ping follows its whole paint to the server.
            for (QWidget* panel : selector_.lock()->panels())
                ASSERT_TRUE(x.ping(std::uint32_t(panel->winId())));
            const QRgb veiled = rootPixel(away);
            const QImage frozen = rootPixels(frame->intersected(screen));
            const QPoint origin = frame->intersected(screen).topLeft();
            int kept = 0;
            for (int py = 0; py < frozen.height(); ++py)
                for (int px = 0; px < frozen.width(); ++px)
                    kept += !prompt.contains(origin + QPoint(px, py)) && frozen.pixel(px, py) != veiled;
            EXPECT_EQ(kept, 0) << "pixels of the recording window in the frozen picture, frame " << text(*frame);

            x.chord({escape});
            ASSERT_TRUE(QTest::qWaitFor([&] { return controller->model().phase() == RecordingPhase::setup; }, 10000));
        }
    }
}
