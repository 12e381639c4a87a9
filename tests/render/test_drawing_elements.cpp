// Text, badges, highlighter strokes, image layers and canvas labels, measured on
// rendered pixels.

#include "RenderTestSupport.h"

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

Annotation textElement(const QString& text, double fontSize, QPointF at = {20, 20})
{
    Annotation a = element(AnnotationTool::text, at);
    a.text = text;
    a.fontSize = fontSize;
    a.colorIndex = 5; // black
    return a;
}

QImage drawnText(const Annotation& a, int width, int height)
{
    return painted(width, height, Qt::white, [&](QPainter& p) { ScreenshotRenderer::drawText(p, a, a.rect()); });
}

} // namespace

TEST(DrawText, InkFillsTheMeasuredRectangleIncludingWrappedLines)
{
    // Full blocks fill their whole line box, so their ink shows where each line went.
    for (const QString& family : {QString(), QStringLiteral("DejaVu Sans Mono"), QStringLiteral("DejaVu Serif")}) {
        SCOPED_TRACE(family.toStdString());
        // The default family at a fractional size, laid out larger and drawn scaled down.
        Annotation text = textElement(QString::fromUtf8("██ ██ ██\n█ ████"), family.isEmpty() ? 40.5 : 40, {20.3, 30.6});
        text.textWidth = 140; // wraps the first line
        text.textStyle.family = family;
        const QRectF measured = text.rect().adjusted(0, 0, -1, -1); // without the one-pixel margin
        const QRect drawn = boundsWhere(drawnText(text, 500, 500), dark);
        ASSERT_FALSE(drawn.isEmpty());
        for (auto [got, want] : {std::pair{drawn.left(), measured.left()}, {drawn.top(), measured.top()},
                                 {drawn.right() + 1, measured.right()}, {drawn.bottom() + 1, measured.bottom()}})
            EXPECT_NEAR(got, want, 1.0);
    }
}

TEST(DrawText, OutlineIsADarkHaloUnderTheFillAndBadgeTextContrastsWithItsBadge)
{
    Annotation text = textElement(QStringLiteral("HIH"), 100, {30, 30});
    const QRect glyphs = boundsWhere(drawnText(text, 900, 400), dark);
    text.colorIndex = 4; // white on white: only the outline shows
    text.textOutline = true;
    const QImage outlined = drawnText(text, 900, 400);
    const QRect halo = boundsWhere(outlined, dark);
    EXPECT_LT(halo.left(), glyphs.left());
    // Inside a stem the white fill is drawn last, over the halo.
    EXPECT_GT(qGray(outlined.pixel(glyphs.left() + 8, glyphs.center().y())), 240);

    // Badge text is light on dark badges and dark on light ones.
    auto glyph = [&](const QColor& colour, int lighter) {
        const QImage image = painted(200, 200, Qt::white, [&](QPainter& p) {
            ScreenshotRenderer::drawBadge(p, "8", {100, 100}, QSizeF(1000, 10), false, colour);
        });
        return countWhere(image, [&](QRgb c) { return lighter * (qGray(c) - qGray(colour.rgb())) > 50; }, QRect(94, 90, 12, 20));
    };
    EXPECT_GT(glyph(QColor(20, 40, 160), 1), 10);
    EXPECT_GT(glyph(QColor(250, 220, 60), -1), 10);
}

namespace {

// A 100 × 60 red image with a blue right-most column, laid out in frame.
Annotation markedLayer(QRectF frame)
{
    Annotation a = element(AnnotationTool::image, frame.topLeft(), frame.bottomRight());
    a.embeddedImage = std::make_shared<QImage>(painted(100, 60, Qt::red, [](QPainter& p) { p.fillRect(99, 0, 1, 60, Qt::blue); }));
    return a;
}

QImage drawnLayer(const Annotation& a, int width = 200, int height = 200)
{
    return painted(width, height, Qt::transparent, [&](QPainter& p) { ScreenshotRenderer::drawImageLayer(p, a); });
}

} // namespace

TEST(DrawImageLayer, RadiusIsClampedToHalfTheSideTheMirrorComesAfterTheClipAndTheCropIsIntegralWithinThePicture)
{
    Annotation a = markedLayer(QRectF(50, 50, 100, 60));
    a.imageCornerRadius = 1000; // clamped to 30: round ends
    auto covered = [](const QImage& image, int x, int y) { return qAlpha(image.pixel(x, y)) > 128; };
    const QImage round = drawnLayer(a);
    EXPECT_TRUE(covered(round, 51, 80) && covered(round, 100, 51));
    a.imageCornerRadius = 10;
    a.imageFlippedHorizontally = true;
    const QImage mirrored = drawnLayer(a);
    EXPECT_TRUE(covered(mirrored, 55, 62));
    EXPECT_TRUE(near(mirrored.pixel(50, 80), Qt::blue, 30));
    EXPECT_EQ(qAlpha(mirrored.pixel(50, 50)), 0); // rounded corner still at the top left

    // The crop (89.5, 0, 20, 60) becomes (89, 0, 21, 60) and then (89, 0, 11, 60): red then blue.
    a = markedLayer(QRectF(0, 0, 110, 60));
    a.imageCrop = QRectF(89.5, 0, 20, 60);
    const QImage image = drawnLayer(a, 110, 60);
    EXPECT_TRUE(near(image.pixel(105, 30), Qt::blue, 30));
    // One source column of eleven, scaled to 110.
    EXPECT_NEAR(boundsWhere(image, [](QRgb c) { return qBlue(c) > qRed(c); }).width(), 10, 1);
}

TEST(DrawImageLayer, ReportsUnreadableAndEmptySourcesWithoutDrawing)
{
    auto message = [](const Annotation& a) {
        QImage image = canvas(50, 50);
        const QString error = errorOf([&] { paint(image, [&](QPainter& p) { ScreenshotRenderer::drawImageLayer(p, a); }); });
        EXPECT_EQ(image, canvas(50, 50));
        return error;
    };
    const QString unreadable = "Не удалось прочитать вставленное изображение.", empty = "Область вставленного изображения пуста.";
    Annotation a = markedLayer(QRectF(0, 0, 40, 40));
    a.imageCrop = QRectF(200, 200, 30, 30);
    EXPECT_EQ(message(a), empty);
    a.embeddedImage.reset();
    EXPECT_EQ(message(a), unreadable);
}
