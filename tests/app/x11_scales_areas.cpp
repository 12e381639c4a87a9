#include "app/ScrollingCaptureControlView.h"
#include "app/ScrollingCaptureController.h"
#include "capture/RecordingAreaSelector.h"
#include "platform/ScreenGrabber.h"
#include "platform/UsableArea.h"
#include "recording/RecordingContent.h"
#include "recording/RecordingControlPanel.h"
#include "recording/RecordingUIModel.h"
#include "recording/ScreenRecorder.h"
#include "recording/ScreenRecordingController.h"
#include "support/X11Client.h"
#include "NoisePage.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <cmath>
#include <future>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace tarnwick;
using tarnwick::test::noisePage;
using tarnwick::test::waitUntil;
using tarnwick::test::X11Client;

namespace {

// Made before main makes the application: the whole desk at one scale, or ("mixed")
// a desk split into monitor A at 1× and monitor B at 1.25×, where the areas are dragged.
const QByteArray scaleUnderTest = TARNWICK_TEST_SCALE;
const bool scaled = scaleUnderTest == "mixed" ? qputenv("QT_SCREEN_SCALE_FACTORS", "A=1;B=1.25")
                                              : qputenv("QT_SCALE_FACTOR", scaleUnderTest);

const QRgb outlineBlue = qRgb(10, 132, 255);

int blueIn(const QImage& image)
{
    int found = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            found += (image.pixel(x, y) & 0xffffff) == (outlineBlue & 0xffffff);
    return found;
}

// Another program's page of noise, drawn pixel for pixel on the screen's device pixels.
class DevicePage : public QWidget {
public:
    DevicePage(QScreen* screen, const QRect& pixels) : QWidget(nullptr, Qt::FramelessWindowHint)
    {
        setScreen(screen);
        const double scale = screen->devicePixelRatio();
        const QPoint origin = screen->geometry().topLeft();
        const QRect r = pixels.translated(-origin);
        setGeometry(QRect(origin + QPoint(int(std::floor(r.x() / scale)), int(std::floor(r.y() / scale))),
                          QSize(int(std::ceil(r.width() / scale)) + 2, int(std::ceil(r.height() / scale)) + 2)));
        page_ = noisePage(int(std::ceil(width() * scale)) + 2, int(std::ceil(height() * scale)) + 2, 7);
        page_.setDevicePixelRatio(scale);
        show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(this));
    }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).drawImage(QPointF(0, 0), page_); }

private:
    QImage page_;
};

class ScaledDesk : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(scaled);
        if (scaleUnderTest == "mixed") {
            for (const char* monitor : {"A 1920/508x1080/286+0+0 screen", "B 1920/508x1080/286+1920+0 none"})
                ASSERT_EQ(test::runProcess("xrandr", QStringList{"--setmonitor"} + QString::fromLatin1(monitor).split(u' ')),
                          0);
            ASSERT_TRUE(waitUntil([] { return QGuiApplication::screens().size() == 2; }, 10s));
            screen = QGuiApplication::screens().constLast();
            ASSERT_EQ(screen->devicePixelRatio(), 1.25);
        } else {
            screen = QGuiApplication::primaryScreen();
            ASSERT_EQ(screen->devicePixelRatio(), scaleUnderTest.toDouble());
        }
        // 1000 × 400 device pixels whose edges lie between Qt's whole units at every scale here.
        const QPoint origin = screen->geometry().topLeft();
        dragged = QRect(origin + QPoint(301, 203), QSize(1000, 400));
        grabber = platform::makeScreenGrabber();
    }

    // A left-button drag over exactly the device pixels of `dragged`.
    void drag() { x.drag(dragged.left(), dragged.top(), dragged.right() + 1, dragged.bottom() + 1); }

    X11Client x;
    QScreen* screen = nullptr;
    QRect dragged;
    std::unique_ptr<platform::ScreenGrabber> grabber;
};

TEST_F(ScaledDesk, TheScrollingCaptureTakesTheDraggedPixelsAndNoneOfItsOutline)
{
    DevicePage page(screen, dragged.adjusted(-40, -40, 40, 40));
    const QImage shown = grabber->grab(dragged);
    ASSERT_EQ(blueIn(shown), 0);

    // The first frame is grabbed once the outline shows on the screen.
    std::promise<void> outlineShown;
    std::shared_future<void> shownFuture = outlineShown.get_future().share();
    ScrollingCaptureController controller([shownFuture] {
        return ScrollingCaptureEngine::Grab([shownFuture, real = ScrollingCaptureEngine::screenGrab()](const QRect& r) {
            shownFuture.wait_for(60s);
            return real(r);
        });
    });
    std::optional<ScrollingCaptureController::Outcome> outcome;
    controller.onComplete = [&](const ScrollingCaptureController::Outcome& o) { outcome = o; };
    controller.begin();
    ASSERT_TRUE(waitUntil([&] { return controller.selector() && !controller.selector()->panels().empty(); }, 10s));
    ASSERT_TRUE(waitUntil([&] { return x.keyboardGrabbedElsewhere(); }, 10s));
    drag();

    // The ring shows around the area and not a pixel of it inside.
    const QRect around = dragged.adjusted(-4, -4, 4, 4);
    QImage live;
    const bool ringShown = waitUntil([&] {
        live = grabber->grab(around);
        return blueIn(live) >= 2 * (dragged.width() + dragged.height());
    }, 30s);
    outlineShown.set_value();
    ASSERT_TRUE(ringShown) << "no outline around the area";
    EXPECT_EQ(blueIn(live.copy(QRect(4, 4, dragged.width(), dragged.height()))), 0)
        << "the outline lies on the grabbed pixels";
    EXPECT_TRUE(live.copy(QRect(4, 4, dragged.width(), dragged.height())) == shown) << "the area changed under the outline";

    ScrollingCaptureModel& model = controller.model();
    ASSERT_TRUE(waitUntil([&] { return model.ready(); }, 30s));
    EXPECT_EQ(model.dimensions(), QStringLiteral("1000 × 400 px"));
    model.finish();
    ASSERT_TRUE(waitUntil([&] { return outcome.has_value(); }, 30s));
    const auto* shot = std::get_if<ScrollingCaptureShot>(&*outcome);
    ASSERT_TRUE(shot);
    EXPECT_EQ(shot->image.size(), dragged.size());
    EXPECT_EQ(blueIn(shot->image), 0) << "the outline is in the shot";
    EXPECT_TRUE(shot->image.convertToFormat(QImage::Format_RGB32) == shown.convertToFormat(QImage::Format_RGB32))
        << "the shot is not the dragged pixels";
    EXPECT_EQ(shot->scale, screen->devicePixelRatio());
}

TEST_F(ScaledDesk, TheRecordingTakesTheDraggedPixelsAndItsControlStaysOffThem)
{
    recording::RecordingAreaSelector selector;
    std::optional<recording::AreaSelection> selection;
    bool done = false;
    selector.select(recording::RecordingAreaSelector::defaultPrompt, [&](std::optional<recording::AreaSelection> s) {
        selection = s;
        done = true;
    });
    ASSERT_TRUE(waitUntil([&] { return x.keyboardGrabbedElsewhere(); }, 10s));
    drag();
    ASSERT_TRUE(waitUntil([&] { return done; }, 10s));
    ASSERT_TRUE(selection && selection->screen == screen);
    EXPECT_EQ(selection->pixels, dragged);

    // The rectangle the recorder is handed.
    const std::vector<platform::Monitor> monitors = recording::RecordingContent::currentContent().displays;
    const std::uint32_t id = recording::screenID(screen, monitors);
    const auto monitor = std::find_if(monitors.begin(), monitors.end(), [&](const auto& m) { return m.id == id; });
    ASSERT_NE(monitor, monitors.end());
    EXPECT_EQ(ScreenRecorder::sourcePixels(*monitor, screen->geometry(), selection->rect,
                                                      screen->devicePixelRatio()),
              dragged);

    // Its control, where the screen shows it.
    const QPointF at = recording::ScreenRecordingController::controlOrigin(
        platform::usableArea(*screen), selection->rect, recording::ScreenRecordingController::controlSize);
    recording::RecordingUIModel model(nullptr);
    recording::RecordingControlPanel control(model);
    control.setScreen(screen);
    control.move(at.toPoint());
    control.showWithoutFocus();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&control));
    const QRect controlPixels = x.rootGeometry(std::uint32_t(control.winId()));
    ASSERT_FALSE(controlPixels.isEmpty());
    EXPECT_FALSE(controlPixels.intersects(dragged)) << "the control covers recorded pixels";
}

} // namespace
