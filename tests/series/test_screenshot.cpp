#include "render/ScreenshotComposition.h"
#include "render/ScreenshotRenderer.h"
#include "series/Geometry.h"

#include "SeriesTestSupport.h"

using namespace tarnwick;
using namespace tarnwick::test;
using T = AnnotationTool;

namespace {

QVector<QUuid> ids(const QVector<Annotation>& list)
{
    QVector<QUuid> out;
    for (const Annotation& a : list)
        out << a.id;
    return out;
}

const QSizeF pixels(1000, 800);

} // namespace

TEST(Visibility, CommentsByTheirPointOthersWithHalfTheirStroke)
{
    const QRectF crop(100, 100, 200, 200);
    Annotation outside = element(T::comment, {99, 150}, {99, 150});
    Annotation inside = element(T::comment, {100, 150}, {100, 150});
    Annotation onFarEdge = element(T::comment, {300, 150}, {300, 150}); // half-open rectangle
    Annotation arrow = element(T::arrow, {150, 98}, {200, 98}, 4); // 2 px above, stroke 4 reaches it
    Annotation far = element(T::arrow, {150, 97}, {200, 97}, 4);
    Annotation blur = element(T::blur, {150, 95}, {200, 99.5}, 4); // no stroke: 0.5 px short
    EXPECT_EQ(ids(Screenshot::visibleAnnotations({outside, inside, onFarEdge, arrow, far, blur}, crop, pixels)),
              (QVector<QUuid>{inside.id, arrow.id}));

    // Stroke 0 uses max(width / 300, 3): 3000 px wide gives 10, reaching 5 px out.
    Annotation thin = element(T::rectangle, {10, 10}, {96, 96});
    EXPECT_TRUE(Screenshot::visibleAnnotations({thin}, crop, pixels).isEmpty());
    EXPECT_EQ(Screenshot::visibleAnnotations({thin}, crop, QSizeF(3000, 800)).size(), 1);
}

TEST(Visibility, MagnifierSourceRevealsOnlyWhatLiesBelowAndShotCommentsFollowTheCrop)
{
    Annotation below = element(T::rectangle, {600, 600}, {650, 650});
    Annotation lens = element(T::magnifier, {100, 100}, {200, 200});
    lens.magnifierSource = QRectF(590, 590, 80, 80);
    Annotation above = element(T::rectangle, {610, 610}, {620, 620});
    EXPECT_EQ(ids(Screenshot::visibleAnnotations({below, lens, above}, QRectF(0, 0, 300, 300), pixels)),
              (QVector<QUuid>{below.id, lens.id}));

    Screenshot shot;
    shot.pixelSize = pixels;
    Annotation a = element(T::comment, {10, 10}, {10, 10});
    Annotation b = element(T::comment, {500, 500}, {500, 500});
    shot.annotations = {a, element(T::arrow, {0, 0}, {5, 5}), b};
    EXPECT_EQ(ids(shot.comments()), (QVector<QUuid>{a.id, b.id}));
    shot.setCropRect(QRectF(400, 400, 200, 200));
    EXPECT_EQ(ids(shot.comments()), QVector<QUuid>{b.id});
}

TEST(ShotValue, AMadeShotHasSaneDefaultsAndCopiesShareTheComposition)
{
    QImage image(320, 200, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    const Screenshot shot = Screenshot::make(image, 2);
    const Screenshot other = Screenshot::make(image, qInf());
    EXPECT_NE(shot.id, other.id);
    EXPECT_EQ(shot.pixelsPerPoint, 2);
    EXPECT_EQ(other.pixelsPerPoint, 1);
    EXPECT_TRUE(geo::same(shot.canvasRect, QRectF(0, 0, 320, 200)));
    ASSERT_TRUE(shot.composition);
    EXPECT_NE(shot.composition, other.composition);
    EXPECT_EQ(shot.composition->base().image.constBits(), image.constBits());
    const Screenshot copy = shot;
    EXPECT_EQ(copy.composition, shot.composition);
}

TEST(ShotValue, ACropRebuildsTheCompositionOnlyWhenItChangesARoundedShot)
{
    QImage image(300, 200, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::red);
    Screenshot shot = Screenshot::make(image, 1);
    auto before = shot.composition;
    shot.setCropRect(QRectF(50, 40, 200, 120));
    EXPECT_EQ(shot.composition, before); // square corners: nothing to round

    shot.imageCornerRadius = 20;
    shot.setCropRect(QRectF(50, 40, 200, 120));
    EXPECT_EQ(shot.composition, before); // the same crop again
    shot.setCropRect(QRectF(60, 40, 200, 120));
    ASSERT_NE(shot.composition, before);
    const QImage rounded = shot.composition->base().image;
    EXPECT_EQ(qAlpha(rounded.pixel(61, 41)), 0);   // the crop's corner
    EXPECT_EQ(qAlpha(rounded.pixel(51, 41)), 255); // the old crop's corner is square again
    EXPECT_EQ(shot.image.pixel(61, 41), qRgb(255, 0, 0)); // the image itself is untouched

    // A crop reaching past the image rounds the corners of the visible part.
    shot.setCropRect(QRectF(-100, -100, 300, 250));
    EXPECT_EQ(qAlpha(shot.composition->base().image.pixel(1, 1)), 0);
    EXPECT_EQ(qAlpha(shot.composition->base().image.pixel(198, 148)), 0);

    before = shot.composition;
    shot.setCropRect(std::nullopt);
    EXPECT_NE(shot.composition, before);
    EXPECT_EQ(qAlpha(shot.composition->base().image.pixel(1, 1)), 0);
    EXPECT_EQ(qAlpha(shot.composition->base().image.pixel(150, 1)), 255);
    before = shot.composition;
    shot.setCropRect(std::nullopt);
    EXPECT_EQ(shot.composition, before);
}

TEST(ShotValue, ARoundingFailureKeepsTheSquareImageAndStopsOutput)
{
    Screenshot shot = Screenshot::make(QImage(), 1);
    shot.pixelSize = QSizeF(300, 200);
    shot.canvasRect = QRectF(0, 0, 300, 200);
    shot.imageCornerRadius = 12;
    shot.setCropRect(QRectF(0, 0, 100, 100));
    ASSERT_TRUE(shot.composition);
    ASSERT_TRUE(shot.composition->scene(shot.annotations, shot.canvasRect).error);
    // Every scene of that composition reports it, framed ones with layers too.
    Annotation layer = element(T::image, {10, 10}, {50, 50});
    layer.embeddedImage = std::make_shared<QImage>(8, 8, QImage::Format_ARGB32_Premultiplied);
    EXPECT_TRUE(shot.composition->scene({layer}, QRectF(-10, -10, 320, 220)).error);
    EXPECT_EQ(errorOf([&] { ScreenshotRenderer::render(shot, QStringLiteral("A"), true); }),
              QStringLiteral("Не удалось скруглить углы снимка."));
}

TEST(ShotValue, TheDisplayImageIsTheWholeCanvasCutToTheCrop)
{
    QImage image(200, 100, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    Screenshot shot = Screenshot::make(image, 1);
    // An image layer reaching out of the picture grows the canvas.
    Annotation layer = element(T::image, {150, 50}, {250, 90});
    auto pixels = std::make_shared<QImage>(100, 40, QImage::Format_ARGB32_Premultiplied);
    pixels->fill(Qt::blue);
    layer.embeddedImage = pixels;
    shot.annotations = {layer};
    shot.canvasRect = QRectF(0, 0, 260, 100);

    const QImage whole = shot.displayImage();
    ASSERT_EQ(whole.size(), QSize(260, 100));
    EXPECT_EQ(whole.pixel(240, 60), qRgb(0, 0, 255)); // drawn outside the image
    EXPECT_EQ(whole.pixel(10, 10), qRgb(255, 255, 255));

    shot.setCropRect(QRectF(140, 40, 60, 30));
    const QImage cut = shot.displayImage();
    ASSERT_EQ(cut.size(), QSize(60, 30));
    EXPECT_EQ(cut.pixel(5, 5), qRgb(255, 255, 255));
    EXPECT_EQ(cut.pixel(15, 15), qRgb(0, 0, 255));
    // A crop beside the canvas cuts nothing.
    shot.setCropRect(QRectF(500, 500, 10, 10));
    EXPECT_EQ(shot.displayImage().size(), QSize(260, 100));
}

TEST(Navigation, FitsInsideTheInsetAndLimitsThePan)
{
    CanvasNavigation nav;
    const QRectF bounds(0, 0, 856, 656), image(0, 0, 1600, 1200);
    const QRectF fitted = nav.imageRect(bounds, image);
    EXPECT_TRUE(geo::same(fitted, QRectF(28, 28, 800, 600)));
    nav.pan = QSizeF(500, -500);
    EXPECT_TRUE(geo::same(nav.imageRect(bounds, image), fitted)); // fits: no shift
    nav.zoom = 2; // 1600 × 1200 in the 800 × 600 inset: the pan stops at the edges
    EXPECT_TRUE(geo::same(nav.imageRect(bounds, image), QRectF(28, -572, 1600, 1200)));
}
