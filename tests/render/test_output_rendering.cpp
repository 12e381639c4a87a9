// ScreenshotRenderer::render: crops, blurs computed over what lies below them,
// badges, and the failures an output image reports.

#include "RenderTestSupport.h"

#include "panels/Theme.h"


using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

QImage rendered(const Screenshot& shot, const QString& label = {}, bool markers = false)
{
    return ScreenshotRenderer::render(shot, label, markers);
}

// Pixels that differ from the first pixel of their square on a grid of `block` pixels within `area`.
int unevenBlocks(const QImage& out, const QRect& area, int block)
{
    int uneven = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            uneven += out.pixel(x, y) != out.pixel(area.left() + (x - area.left()) / block * block,
                                                   area.top() + (y - area.top()) / block * block);
    return uneven;
}

} // namespace

TEST(OutputRendering, AFractionalCropTruncatesItsSizeAndStartsAtItsTopEdge)
{
    // Every pixel tells its own position: red = x, green = y.
    QImage image(200, 150, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < 150; ++y)
        for (int x = 0; x < 200; ++x)
            image.setPixel(x, y, qRgb(x, y, 77));
    Screenshot shot = shotOf(image);
    shot.setCropRect(QRectF(10.25, 20.25, 50.9, 30.7));
    const QImage out = rendered(shot);
    // Column 0 is image column 10, row 0 image row 20, and so on: no shift, no flip.
    EXPECT_EQ(out, image.copy(10, 20, 50, 30));
    // Without a crop the output is the whole canvas.
    shot.setCropRect(std::nullopt);
    EXPECT_EQ(rendered(shot), image);
}

TEST(OutputRendering, NoPictureUnderOnePixelOrForCoordinatesThatAreNotNumbers)
{
    Screenshot shot = shotOf(canvas(100, 100), {blurElement(BlurMode::pixelate, QRectF(10, 10, 50, 50))});
    for (const QRectF& crop : {QRectF(5, 5, 0.9, 40), QRectF(5, 5, -40, 40), QRectF(qQNaN(), 5, 40, 40), QRectF(5, 5, qInf(), 40)}) {
        shot.setCropRect(crop);
        EXPECT_EQ(errorOf([&] { rendered(shot, "A", true); }), QStringLiteral("Не удалось подготовить изображение."))
            << crop.x() << " " << crop.width() << " " << crop.height();
    }
    // A blur inside a sub-pixel crop is computed first: its failure is what the output
    // reports.
    const Annotation erase = blurElement(BlurMode::erase, QRectF(0, 0, 100, 100));
    Screenshot failing = shotOf(canvas(100, 100), {erase});
    failing.setCropRect(QRectF(5, 5, 0.5, 40));
    const QString rebuild = QStringLiteral("Оставьте вокруг выделения видимый фон для восстановления.");
    EXPECT_EQ(errorOf([&] { rendered(failing); }), rebuild);
}

TEST(OutputRendering, EachBlurIsComputedOnWhatLiesBelowItAndIsBlockConstant)
{
    const QRectF area(150, 60, 100, 80);
    const QRect inside = area.toRect().adjusted(10, 10, -10, -10);
    const Annotation arrow = arrowElement({40, 100}, {360, 100});
    const Annotation blur = blurElement(BlurMode::area, area);
    const QImage above = rendered(shotOf(canvas(400, 200), {arrow, blur}));
    const QImage below = rendered(shotOf(canvas(400, 200), {blur, arrow}));
    // Below the blur the arrow keeps its black core; above it only a grey smear is left.
    EXPECT_GT(countWhere(below, dark, inside), 300);
    EXPECT_EQ(countWhere(above, dark, inside), 0);
    // Outside the blur both arrows are the same sharp line.
    const QRect outside(40, 80, 100, 40);
    EXPECT_EQ(maxChannelDifference(above, below, outside), 0);

    // The erase removes the black square; the pixelation above it sees the erased
    // picture and the arrow drawn in between, not the original image.
    const Annotation erase = blurElement(BlurMode::erase, QRectF(170, 70, 60, 60));
    const Annotation between = arrowElement({20, 170}, {380, 170}, 10);
    const QRectF pixelArea(144, 48, 160, 160);
    const Annotation pixelate = blurElement(BlurMode::pixelate, pixelArea);
    const QImage square = painted(400, 240, Qt::white, [](QPainter& p) { p.fillRect(QRect(180, 80, 40, 40), Qt::black); });
    const QImage out = rendered(shotOf(square, {erase, between, pixelate}));
    auto greyish = [](QRgb c) { return qGray(c) < 200; };
    EXPECT_EQ(countWhere(out, greyish, QRect(170, 70, 60, 60)), 0);
    // The arrow's row turns into dark squares inside the pixelation and stays a sharp line
    // outside it: the output is block-constant, never a dashed placeholder.
    EXPECT_EQ(unevenBlocks(out, pixelArea.toRect(), static_cast<int>(pixelBlockSize(400))), 0);
    EXPECT_GT(countWhere(out, dark, QRect(150, 160, 150, 20)), 600);
    EXPECT_GT(countWhere(out, dark, QRect(30, 160, 100, 20)), 500);
    // The same pixelation straight over the image would show the square.
    EXPECT_GT(countWhere(rendered(shotOf(square, {pixelate})), greyish, QRect(170, 70, 60, 60)), 400);
}

TEST(OutputRendering, BadgesOnlyWithMarkersNumberedAfterTheCrop)
{
    const Annotation arrow = arrowElement({20, 280}, {380, 280});
    const Annotation first = commentAt({150, 100}), second = commentAt({300, 200});
    Screenshot shot = shotOf(canvas(400, 300, QColor(230, 230, 230)), {commentAt({40, 150}), first, arrow, second});
    shot.setCropRect(QRectF(100, 0, 300, 300)); // leaves out the comment on the left
    Screenshot bare = shot;
    bare.annotations = {arrow};
    const QImage plain = rendered(bare);

    // No markers: no badge of any kind.
    EXPECT_EQ(rendered(shot), plain);

    // Markers: "B1" and "B2" where the kept comments point, and one square "B" in the corner.
    const QSizeF frame(300, 300);
    const double d = ScreenshotRenderer::badgeDiameter(frame.width());
    auto expected = [&](const QString& one, const QString& two, const QString& corner) {
        QImage reference = plain.copy();
        paint(reference, [&](QPainter& p) {
            p.setRenderHint(QPainter::Antialiasing);
            p.setRenderHint(QPainter::SmoothPixmapTransform);
            p.translate(-100, 0);
            ScreenshotRenderer::drawBadge(p, one, first.start, frame, false, Theme::marker());
            ScreenshotRenderer::drawBadge(p, two, second.start, frame, false, Theme::marker());
            ScreenshotRenderer::drawBadge(p, corner, QPointF(100 + 0.8 * d, 0.8 * d), frame, true, Theme::marker());
        });
        return reference;
    };
    const QImage marked = rendered(shot, "B", true);
    EXPECT_LE(maxChannelDifference(marked, expected("B1", "B2", "B")), 2);
}

TEST(OutputRendering, TheCanvasChainReachesTheOutputsPictureAndAFailedBlurAbortsBothWithOneError)
{
    // Erasing the whole picture leaves nothing to rebuild it from.
    const Annotation erase = blurElement(BlurMode::erase, QRectF(0, 0, 200, 100));
    const Annotation pixelate = blurElement(BlurMode::pixelate, QRectF(20, 20, 40, 40));
    const Screenshot shot = shotOf(busyImage(200, 100), {erase, pixelate});

    // The canvas meets the failure on the effects queue first. It is recorded for the
    // pixelation above as well, which reports the same sentence, and so does the output.
    drawnOnCanvas(shot);
    RenderScene scene = shot.composition->scene(shot.annotations, shot.canvasRect);
    const EffectReadiness readiness = scene.effects->readiness(shot.annotations);
    ASSERT_TRUE(readiness.failed && readiness.message);
    EXPECT_EQ(scene.effects->readiness({pixelate}), (EffectReadiness{false, true, readiness.message}));
    EXPECT_EQ(errorOf([&] { rendered(shot); }), *readiness.message);

    // Without a failure the canvas chain reaches the same picture as the output.
    const Screenshot chained = shotOf(busyImage(400, 200), {blurElement(BlurMode::pixelate, QRectF(40, 40, 120, 80)),
                                                            arrowElement({20, 100}, {380, 100}),
                                                            blurElement(BlurMode::pixelate, QRectF(100, 60, 160, 96))});
    EXPECT_EQ(maxChannelDifference(drawnOnCanvas(chained), rendered(chained)), 0);
}

TEST(OutputRendering, ARepeatedRenderComposesNothingAndDrawsTheSame)
{
    Screenshot shot = shotOf(busyImage(300, 200), {imageLayer(QRectF(250, 150, 80, 60), Qt::red),
                                                   blurElement(BlurMode::pixelate, QRectF(200, 100, 120, 90)),
                                                   commentAt({50, 50})});
    shot.canvasRect = QRectF(0, 0, 340, 220); // the layer reaches beyond the image
    const QImage first = rendered(shot, "C", true);
    const long composed = ScreenshotComposition::composeCount();
    EXPECT_EQ(rendered(shot, "C", true), first);
    // A comment moved or edited changes the badge, not the scene.
    shot.annotations[2].start = {60, 60};
    EXPECT_NE(rendered(shot, "C", true), first);
    EXPECT_EQ(ScreenshotComposition::composeCount(), composed);
    // The layer outside the image is drawn and the blur reaches over it.
    EXPECT_EQ(first.pixel(320, 205), qRgb(255, 0, 0));
}
