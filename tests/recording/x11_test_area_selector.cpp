#include "capture/RecordingAreaSelector.h"
#include "recording/RecordingContent.h"
#include "platform/ScreenGrabber.h"
#include "support/X11Client.h"

#include <QGuiApplication>
#include <QPainter>
#include <QTest>
#include <QWidget>
#include <random>
#include <X11/keysym.h>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace tarnwick::recording;
using tarnwick::test::waitUntil;
using tarnwick::test::X11Client;

namespace {

struct Outcome {
    int calls = 0;
    std::optional<AreaSelection> selection;
    std::size_t panelsAtCompletion = 99;
};

} // namespace

TEST(RecordingAreaSelector, ReportsADragInGlobalCoordinatesOrEscapeAfterTheVeilsAreGone)
{
    X11Client x;
    struct Case {
        const char* name;
        std::function<void()> act;
        std::optional<QRectF> rect;
    } cases[] = {
        {"drag", [&] { x.drag(100, 120, 400, 320); }, QRectF(100, 120, 300, 200)},
        {"drag past the edge, then a drag too narrow is dropped",
         [&] {
             x.drag(500, 500, 515, 900);
             x.drag(1900, 1000, 2500, 1500);
         },
         QRectF(1900, 1000, 20, 80)},
        {"Escape during a drag",
         [&] {
             x.movePointer(10, 10);
             x.button(1, true);
             x.movePointer(200, 200);
             x.chord({x.keycodeOf(XK_Escape)});
             x.button(1, false);
         },
         std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingAreaSelector selector;
        Outcome outcome;
        selector.select(RecordingAreaSelector::defaultPrompt, [&](std::optional<AreaSelection> s) {
            ++outcome.calls;
            outcome.selection = s;
            outcome.panelsAtCompletion = selector.panels().size();
        });
        // The previous case's veils may still be going: the picture waits for them.
        EXPECT_TRUE(waitUntil([&] { return qsizetype(selector.panels().size()) == QGuiApplication::screens().size(); }, 30s));
        ASSERT_TRUE(waitUntil([&] { return x.keyboardGrabbedElsewhere(); }, 30s));
        c.act();
        ASSERT_TRUE(waitUntil([&] { return outcome.calls > 0; }, 30s));
        EXPECT_EQ(outcome.panelsAtCompletion, 0u);
        EXPECT_FALSE(x.keyboardGrabbedElsewhere()) << "the veil let the keyboard go";
        ASSERT_EQ(outcome.selection.has_value(), c.rect.has_value());
        if (c.rect) {
            EXPECT_EQ(outcome.selection->screen, QGuiApplication::primaryScreen());
            EXPECT_EQ(outcome.selection->rect, *c.rect);
        }
        EXPECT_EQ(outcome.calls, 1);
    }
}

TEST(RecordingAreaSelector, ReleasingItClosesTheVeilsWithoutAReport)
{
    X11Client x;
    bool called = false;
    {
        RecordingAreaSelector selector;
        selector.select(QStringLiteral("Выделите область страницы для прокрутки · Esc — отмена"),
                        [&](std::optional<AreaSelection>) { called = true; });
        ASSERT_TRUE(waitUntil([&] { return x.keyboardGrabbedElsewhere(); }, 30s));
    }
    EXPECT_TRUE(waitUntil([&] { return !x.keyboardGrabbedElsewhere(); }, 30s));
    EXPECT_FALSE(called);
}

// The recorder and the scrolling capture grab the area as soon as it is reported. A window below
// the veil repaints only once its owner hears it was uncovered — here this very thread, as on a
// busy machine any owner is late — so the report waits for the area to be redrawn.
TEST(RecordingAreaSelector, ReportsTheAreaOnceTheWindowBelowHasRedrawnIt)
{
    QImage noise(300, 200, QImage::Format_RGB32);
    std::mt19937 random(5);
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x)
            noise.setPixel(x, y, random() | 0xff000000u);
    QWidget below(nullptr, Qt::FramelessWindowHint);
    below.setGeometry(100, 120, 300, 200);
    struct Painter : QObject {
        QImage picture;
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() == QEvent::Paint)
                QPainter(static_cast<QWidget*>(watched)).drawImage(0, 0, picture);
            return false;
        }
    } painter;
    painter.picture = noise;
    below.installEventFilter(&painter);
    below.setAttribute(Qt::WA_OpaquePaintEvent);
    below.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&below));

    X11Client x;
    const auto grabber = tarnwick::platform::makeScreenGrabber();
    const auto shows = [&](const QRect& r) { return grabber->grab(r).convertToFormat(QImage::Format_RGB32); };
    ASSERT_TRUE(waitUntil([&] { return shows(QRect(100, 120, 300, 200)) == noise; }, 30s));
    RecordingAreaSelector selector;
    QImage seen;
    selector.select(RecordingAreaSelector::defaultPrompt, [&](std::optional<AreaSelection> s) {
        ASSERT_TRUE(s);
        seen = shows(s->pixels);
    });
    ASSERT_TRUE(waitUntil([&] { return x.keyboardGrabbedElsewhere(); }, 30s));
    x.drag(100, 120, 400, 320);
    ASSERT_TRUE(waitUntil([&] { return !seen.isNull(); }, 30s));
    EXPECT_EQ(seen.size(), noise.size());
    EXPECT_TRUE(seen == noise) << "the first grab after the report took the veil's picture";
}

TEST(ScreenID, IsTheRandRMonitorOfTheScreen)
{
    const auto monitors = RecordingContent::currentContent().displays;
    ASSERT_EQ(monitors.size(), 1u);
    EXPECT_NE(monitors[0].id, 0u) << "Xvfb reports a monitor";
    EXPECT_EQ(monitors[0].geometry, QRect(0, 0, 1920, 1080));
    EXPECT_EQ(screenID(QGuiApplication::primaryScreen()), monitors[0].id);
    EXPECT_EQ(screenID(QGuiApplication::primaryScreen(), {}), 0u);
}
