#include "editor/canvas/ImageCanvasView.h"
#include "support/X11Client.h"

#include <X11/keysym.h>
#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

namespace tarnwick::test {
namespace {

// The canvas's keys typed through XTEST with the Russian group active, where
// "]" types "ъ" and "[" types "х": the canvas must go by the physical key.
struct RussianKeys : ::testing::Test {
    void SetUp() override
    {
        ASSERT_EQ(runProcess(QStringLiteral("setxkbmap"), {QStringLiteral("-layout"), QStringLiteral("us,ru")}), 0);
        x.lockGroup(1);
        ASSERT_EQ(x.lockedGroup(), 1);
        QImage image(200, 100, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::darkBlue);
        state = std::make_unique<EditorState>(Screenshot::make(image, 1), QStringLiteral("A"));
        Annotation arrow = freshAnnotation(AnnotationTool::arrow, {20, 20});
        arrow.end = {120, 60};
        arrow.strokeWidth = 5;
        state->add(arrow, false);
        canvas = std::make_unique<ImageCanvasView>(*state);
        canvas->resize(400, 300);
        canvas->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(canvas.get()));
        x.focus(std::uint32_t(canvas->winId()));
        canvas->activateWindow();
        ASSERT_TRUE(waitUntil([&] { return canvas->hasFocus(); }));
    }

    void type(std::uint32_t keysym)
    {
        const std::uint8_t key = x.keycodeOf(keysym);
        ASSERT_NE(key, 0);
        x.press(key);
        x.release(key);
    }

    double width() const { return state->annotations().isEmpty() ? 0 : state->annotations()[0].strokeWidth; }

    X11Client x;
    std::unique_ptr<EditorState> state;
    std::unique_ptr<ImageCanvasView> canvas;
};

TEST_F(RussianKeys, BracketsNudgesDigitsAndDelete)
{
    // A held key: the server repeats it until the release.
    const std::uint8_t right = x.keycodeOf(XK_bracketright);
    x.press(right);
    ASSERT_TRUE(waitUntil([&] { return width() >= 9; }, std::chrono::seconds(5))) << width();
    x.release(right);
    // Repeats already queued before the release may still arrive under load: wait until the width settles.
    double held = -1;
    while (held != width()) {
        held = width();
        QTest::qWait(150);
    }
    type(XK_bracketleft);
    ASSERT_TRUE(waitUntil([&] { return width() == held - 1; })) << width();
    // Two undo steps: the held run and the single press.
    state->undo();
    EXPECT_EQ(width(), held);
    state->undo();
    EXPECT_EQ(width(), 5);
    state->redo();
    state->redo();
    state->setSelectedID(state->annotations()[0].id);

    type(XK_Right);
    ASSERT_TRUE(waitUntil([&] { return state->annotations()[0].start == QPointF(21, 20); }));
    type(XK_Down);
    ASSERT_TRUE(waitUntil([&] { return state->annotations()[0].start == QPointF(21, 21); }));

    type(XK_Delete);
    ASSERT_TRUE(waitUntil([&] { return state->annotations().isEmpty(); }));
    type(XK_3);
    ASSERT_TRUE(waitUntil([&] { return state->tool() == AnnotationTool::rectangle; }));
}

} // namespace
} // namespace tarnwick::test
