#include "CanvasTestSupport.h"

#include "editor/canvas/ColorFormatButton.h"
#include "render/ScreenshotRenderer.h"

#include <QMenu>
#include <cmath>

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

TEST_F(CursorColor, ReadOutFollowsThePointerAndTheChosenFormatAndPickingTakesTheColourUnderAClick)
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

    // Picking takes the colour under a click and draws nothing.
    state->setTool(AnnotationTool::rectangle);
    state->style().setPickingColor(true);
    QTest::mouseClick(canvas.get(), Qt::LeftButton, {}, view({20, 20}));
    EXPECT_EQ(state->style().customColor(), (SampledColor{200, 30, 30, 255}));
    EXPECT_TRUE(state->annotations().isEmpty());
}

// The read-out draws one pixel; the output's own render is the reference after
// each change under the pointer, a crop and their undoing.
TEST_F(CursorColor, ReadOutMatchesTheOutputAfterEachChange)
{
    Annotation pixelate = element(AnnotationTool::blur, {60, 30}, {120, 80});
    pixelate.blurMode = BlurMode::pixelate;
    const std::function<void()> steps[] = {
        [&] { state->add(element(AnnotationTool::rectangle, {40, 30}, {90, 70}, 12), false); },
        [&] { state->add(pixelate, false); },
        [&] { state->setCropRect(QRectF(30, 20, 120, 70)); },
        [&] { state->undo(); },
        [&] { state->undo(); },
    };
    for (const QPointF at : {QPointF(42, 50), QPointF(100, 50)}) {
        QTest::mouseMove(canvas.get(), view(at));
        for (const auto& step : steps) {
            step();
            const Screenshot shot = state->editedShot();
            const QImage output = ScreenshotRenderer::render(shot, QString(), false);
            // A crop fits the view anew: the pointer now rests over another pixel.
            const QRectF ir = canvas->imageRect(), vp = canvas->previewViewport();
            const QPointF pixel = vp.topLeft() + (QPointF(view(at)) - ir.topLeft()) * (vp.width() / ir.width());
            const QPointF origin = shot.cropRect() ? shot.cropRect()->topLeft() : QPointF();
            const QPointF inOutput = pixel - origin;
            const QRgb expected = qUnpremultiply(output.pixel(int(std::floor(inOutput.x())), int(std::floor(inOutput.y()))));
            const auto shown = [&] {
                const std::optional<SampledColor> s = state->cursorColor().sample();
                // Both straight colours, rounded in their own ways.
                return s && std::abs(s->red - qRed(expected)) <= 1 && std::abs(s->green - qGreen(expected)) <= 1
                    && std::abs(s->blue - qBlue(expected)) <= 1 && s->alpha == qAlpha(expected);
            };
            EXPECT_TRUE(QTest::qWaitFor(shown, 5000)) << "at " << at.x() << ", after step " << (&step - steps);
        }
        while (state->canUndo())
            state->undo();
    }
}

} // namespace
} // namespace tarnwick::test
