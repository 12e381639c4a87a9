#include "CanvasTestSupport.h"

#include "editor/canvas/ColorFormatButton.h"

#include <QMenu>

namespace tarnwick::test {
namespace {

QImage twoHalves()
{
    QImage image(200, 100, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(200, 30, 30));
    for (int y = 0; y < 100; ++y)
        for (int x = 100; x < 200; ++x)
            image.setPixel(x, y, qRgba(64, 0, 0, 128)); // premultiplied half-transparent red
    return image;
}

struct CursorColor : CanvasFixture {
    CursorColor() : CanvasFixture(twoHalves()) {}
};

TEST_F(CursorColor, ReadOutFollowsThePointerAndTheChosenFormat)
{
    ColorFormatButton button(state->cursorColor());
    button.resize(button.sizeHint());
    EXPECT_EQ(button.codeText(), QStringLiteral("Цвет курсора"));
    EXPECT_TRUE(button.toolTip().startsWith(QStringLiteral("Наведите курсор на снимок. ")));

    QTest::mouseMove(canvas.get(), view({50, 50}));
    EXPECT_TRUE(state->cursorColor().insideCanvas());
    EXPECT_EQ(button.codeText(), QStringLiteral("#C81E1E"));
    expectColor(button.grab().toImage().pixelColor(12, 16), QColor(200, 30, 30));

    QTest::mouseMove(canvas.get(), view({150, 50}));
    EXPECT_EQ(button.codeText(), QStringLiteral("#800000")); // un-premultiplied with rounding

    QMenu* menu = button.formatMenu();
    ASSERT_EQ(menu->actions().size(), 5);
    EXPECT_EQ(menu->actions()[2]->text(), QStringLiteral("CSS · rgba(255, 194, 0, 1)"));
    menu->actions()[2]->trigger();
    EXPECT_EQ(button.codeText(), QStringLiteral("rgba(128, 0, 0, 0.502)"));

    // Over the margin the last colour stays but the pointer is outside.
    QTest::mouseMove(canvas.get(), QPoint(5, 5));
    EXPECT_FALSE(state->cursorColor().insideCanvas());
    EXPECT_EQ(button.codeText(), QStringLiteral("rgba(128, 0, 0, 0.502)"));
}

TEST_F(CursorColor, PickingTakesTheColourUnderAClick)
{
    state->setTool(AnnotationTool::rectangle);
    state->setPickingColor(true);
    QTest::mouseClick(canvas.get(), Qt::LeftButton, {}, view({20, 20}));
    EXPECT_EQ(state->customColor(), (SampledColor{200, 30, 30, 255}));
    EXPECT_TRUE(state->annotations().isEmpty());
}

} // namespace
} // namespace tarnwick::test
