#include "CanvasTestSupport.h"

#include <QScreen>
#include <algorithm>
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

// A drag repaints only parts of the canvas; what is then on screen must be what a
// canvas with the arrow already in its new place draws, the blur above included,
// while the arrow moves beside the blur and once it is dropped in it.
TEST(CanvasDrag, TheScreenShowsWhatAFreshCanvasDrawsAfterEachMove)
{
    QImage stripes(200, 100, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x)
            stripes.setPixel(x, y, qRgb(x, (x + y) % 7 * 36, 200 - y));
    Annotation blur = element(AnnotationTool::blur, {120, 10}, {190, 90});
    blur.blurMode = BlurMode::pixelate;
    const Annotation arrow = element(AnnotationTool::arrow, {10, 15}, {40, 35}, 4);
    const auto showing = [&](const Annotation& moved) {
        auto state = std::make_unique<EditorState>(Screenshot::make(stripes, 1), QStringLiteral("A"));
        for (const Annotation& a : {moved, blur, element(AnnotationTool::rectangle, {20, 70}, {60, 90}, 4)})
            state->add(a, false);
        state->setTool(AnnotationTool::select);
        state->setSelectedID(moved.id);
        auto view = std::make_unique<ImageCanvasView>(*state);
        view->setFixedSize(400, 300);
        view->setAttribute(Qt::WA_ShowWithoutActivating); // the dragged canvas stays as it is
        view->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        return std::pair{std::move(state), std::move(view)};
    };
    const auto [state, canvas] = showing(arrow);
    const QPoint grab = CanvasFixture::view({17.5, 20});
    QTest::mousePress(canvas.get(), Qt::LeftButton, {}, grab);
    // The press selects the arrow and repaints everything; the moves after it only their parts.
    QTest::qWait(0);
    const QPointF path[] = {QPointF(67.5, 25), QPointF(57.5, 35), QPointF(140, 40)};
    for (const QPointF to : path) {
        const QPoint p = CanvasFixture::view(to);
        const QPointF moved = QPointF(p - grab) / CanvasFixture::scale;
        const auto [freshState, fresh] = showing(arrow.translated(QSizeF(moved.x(), moved.y())));
        QTest::qWait(0);
        QTest::mouseMove(canvas.get(), p);
        if (to == path[2])
            QTest::mouseRelease(canvas.get(), Qt::LeftButton, {}, p);
        const auto same = [&] {
            const QImage screen = canvas->screen()->grabWindow(canvas->winId()).toImage();
            const QImage expected = fresh->grab().toImage();
            for (int y = 0; y < expected.height(); ++y)
                for (int x = 0; x < expected.width(); ++x) {
                    const QColor a = screen.pixelColor(x, y), b = expected.pixelColor(x, y);
                    if (std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())}) > 2)
                        return false;
                }
            return true;
        };
        EXPECT_TRUE(QTest::qWaitFor(same, 5000)) << "with the arrow at " << to.x() << ", " << to.y();
    }
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
    state->cropping().select(QRectF(100, 0, 100, 100));
    ASSERT_TRUE(state->cropping().pending());
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
