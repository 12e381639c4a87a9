#include "capture/RecordingAreaSelector.h"
#include "recording/RecordingContent.h"
#include "support/X11Client.h"

#include <QGuiApplication>
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

TEST(ScreenID, IsTheRandRMonitorOfTheScreen)
{
    const auto monitors = RecordingContent::currentContent().displays;
    ASSERT_EQ(monitors.size(), 1u);
    EXPECT_NE(monitors[0].id, 0u) << "Xvfb reports a monitor";
    EXPECT_EQ(monitors[0].geometry, QRect(0, 0, 1920, 1080));
    EXPECT_EQ(screenID(QGuiApplication::primaryScreen()), monitors[0].id);
    EXPECT_EQ(screenID(QGuiApplication::primaryScreen(), {}), 0u);
}
