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

TEST(Visibility, CommentsByTheirPointOthersWithHalfTheirStrokeAndMagnifiersByTheirSource)
{
    const QRectF crop(100, 100, 200, 200);
    Annotation outside = element(T::comment, {99, 150}, {99, 150});
    Annotation inside = element(T::comment, {100, 150}, {100, 150});
    Annotation onFarEdge = element(T::comment, {300, 150}, {300, 150}); // half-open rectangle
    Annotation arrow = element(T::arrow, {150, 98}, {200, 98}, 4); // 2 px above, stroke 4 reaches it
    Annotation far = element(T::arrow, {150, 97}, {200, 97}, 4);
    EXPECT_EQ(ids(Screenshot::visibleAnnotations({outside, inside, onFarEdge, arrow, far}, crop, pixels)),
              (QVector<QUuid>{inside.id, arrow.id}));
    // A lens in the crop reveals what lies below its source, not what lies above.
    Annotation below = element(T::rectangle, {600, 600}, {650, 650});
    Annotation lens = element(T::magnifier, {150, 150}, {200, 200});
    lens.magnifierSource = QRectF(590, 590, 80, 80);
    Annotation above = element(T::rectangle, {610, 610}, {620, 620});
    EXPECT_EQ(ids(Screenshot::visibleAnnotations({below, lens, above}, crop, pixels)), (QVector<QUuid>{below.id, lens.id}));
}

TEST(ShotValue, ACropRoundsTheCornersOfWhatItShowsAndRebuildsOnlyOnAChange)
{
    QImage image(300, 200, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::red);
    Screenshot shot = Screenshot::make(image, 1);
    auto before = shot.composition;
    shot.imageCornerRadius = 20;
    shot.setCropRect(QRectF(60, 40, 200, 120));
    ASSERT_NE(shot.composition, before);
    before = shot.composition;
    shot.setCropRect(QRectF(60, 40, 200, 120));
    EXPECT_EQ(shot.composition, before); // the same crop again
    EXPECT_EQ(qAlpha(shot.composition->base().image.pixel(61, 41)), 0); // the crop's corner
    EXPECT_EQ(shot.image.pixel(61, 41), qRgb(255, 0, 0)); // the image itself is untouched
    // A crop reaching past the image rounds the corners of the visible part.
    shot.setCropRect(QRectF(-100, -100, 300, 250));
    EXPECT_EQ(qAlpha(shot.composition->base().image.pixel(198, 148)), 0);
}

TEST(ShotValue, ARoundingFailureStopsOutput)
{
    Screenshot shot = Screenshot::make(QImage(), 1);
    shot.pixelSize = QSizeF(300, 200);
    shot.canvasRect = QRectF(0, 0, 300, 200);
    shot.imageCornerRadius = 12;
    shot.setCropRect(QRectF(0, 0, 100, 100));
    ASSERT_TRUE(shot.composition);
    EXPECT_TRUE(shot.composition->scene(shot.annotations, QRectF(-10, -10, 320, 220)).error);
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

    shot.setCropRect(QRectF(140, 40, 60, 30));
    const QImage cut = shot.displayImage();
    ASSERT_EQ(cut.size(), QSize(60, 30));
}
