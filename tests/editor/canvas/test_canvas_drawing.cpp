#include "CanvasTestSupport.h"

#include <QSet>

namespace tarnwick::test {
namespace {

using CanvasDrawing = CanvasFixture;

TEST_F(CanvasDrawing, ShotSitsCentredOnTheDarkBackgroundWithAFaintBorder)
{
    EXPECT_EQ(canvas->imageRect(), QRectF(28, 64, 344, 172));
    const QImage shot = canvas->grab().toImage();
    expectColor(shot.pixelColor(3, 3), QColor(18, 18, 18));
    expectColor(shot.pixelColor(view({100, 50})), QColor(40, 90, 160));
    // The shadow darkens the background just outside the image, not far away.
    EXPECT_LT(shot.pixelColor(200, 60).red(), 17);
    // Border: white at 16 % on the ring just outside; the shot's own edge pixels are untouched.
    expectColor(shot.pixelColor(200, 64), QColor(40, 90, 160));
    expectColor(shot.pixelColor(371, 150), QColor(40, 90, 160));
    EXPECT_GT(shot.pixelColor(200, 63).red(), 18 + 20);
}

TEST_F(CanvasDrawing, ContentFrameKeepsSixtyPointsWhenInsetsCoverTheView)
{
    canvas->setInsets(290, 395);
    EXPECT_EQ(canvas->contentFrame(), QRectF(395, 0, 60, 60));
}

TEST_F(CanvasDrawing, PendingCropDimsItsSurroundAndHidesTheSelectionOutline)
{
    state->add(element(AnnotationTool::rectangle, {10, 10}, {40, 40}, 4), false);
    state->setTool(AnnotationTool::crop);
    state->setCropSelection(QRectF(100, 0, 100, 100));
    ASSERT_TRUE(state->pendingCrop());
    const QImage shot = canvas->grab().toImage();
    expectColor(shot.pixelColor(view({150, 50})), QColor(40, 90, 160)); // the thirds grid misses this point
    expectColor(shot.pixelColor(view({60, 80})), QColor(16, 36, 64)); // black at 60 %
}

struct TransparentShot : CanvasFixture {
    static QImage clear()
    {
        QImage image(200, 100, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        return image;
    }
    TransparentShot() : CanvasFixture(clear()) {}
};

TEST_F(TransparentShot, CheckerboardShowsThroughTransparentPixels)
{
    const QImage shot = canvas->grab().toImage();
    QSet<int> greys;
    for (int x = 100; x < 140; ++x)
        greys.insert(shot.pixelColor(x, 150).red());
    EXPECT_EQ(greys, (QSet<int>{48, 61}));
}

} // namespace
} // namespace tarnwick::test
