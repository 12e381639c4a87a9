// Text, badges, highlighter strokes, image layers and canvas labels, measured on
// rendered pixels.

#include "RenderTestSupport.h"

#include "render/CanvasLabel.h"
#include "render/ImageContext.h"

#include <gtest/gtest.h>

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

// Amount of ink in rows [y0, y1] and its horizontal centre.
std::pair<double, double> ink(const QImage& image, int y0, int y1)
{
    double sum = 0, weight = 0;
    forEachPixel(image, QRect(0, y0, image.width(), y1 - y0 + 1), [&](int x, int, QRgb c) {
        sum += (255 - qGray(c)) * (x + 0.5);
        weight += 255 - qGray(c);
    });
    return {weight, weight > 0 ? sum / weight : 0};
}

QImage highlighted(const Annotation& marker, double width, int w, int h)
{
    return painted(w, h, Qt::white, [&](QPainter& p) { ScreenshotRenderer::drawHighlighter(p, marker, width); });
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
        EXPECT_NEAR(drawn.left(), measured.left(), 1.0);
        EXPECT_NEAR(drawn.top(), measured.top(), 1.0);
        EXPECT_NEAR(drawn.right() + 1, measured.right(), 1.0);
        EXPECT_NEAR(drawn.bottom() + 1, measured.bottom(), 1.0);
        EXPECT_GT(measured.height(), 3 * 40); // three or more lines were measured and drawn
    }
    // A fractional size is kept, not rounded: a quarter pixel more is a hundredth wider.
    const QString blocks = QString::fromUtf8("█").repeated(30);
    EXPECT_NEAR(textElement(blocks, 25.25).rect().width() / textElement(blocks, 25).rect().width(), 1.01, 0.004);
    // Nothing for an empty text or a rectangle that is not a number.
    Annotation text = textElement(QStringLiteral("Текст"), 24);
    const QImage nothing = painted(100, 100, Qt::white, [&](QPainter& p) {
        ScreenshotRenderer::drawText(p, text, QRectF(NAN, 0, 10, 10));
        text.text.clear();
        ScreenshotRenderer::drawText(p, text, text.rect());
    });
    EXPECT_EQ(nothing, canvas(100, 100));
}

TEST(DrawText, OutlineIsADarkHaloOfTheOutlineRadius)
{
    EXPECT_DOUBLE_EQ(ScreenshotRenderer::outlineRadius(10), 0.75);
    for (auto [fontSize, radius] : {std::pair{100.0, 2.0}, {200.0, 2.5}}) {
        SCOPED_TRACE(fontSize);
        Annotation text = textElement(QStringLiteral("HIH"), fontSize, {30, 30});
        const QRect glyphs = boundsWhere(drawnText(text, 900, 400), dark);
        text.colorIndex = 4; // white on white: only the outline shows
        text.textOutline = true;
        const QImage outlined = drawnText(text, 900, 400);
        const QRect halo = boundsWhere(outlined, dark);
        EXPECT_NEAR(glyphs.left() - halo.left(), radius, 1.0);
        EXPECT_NEAR(halo.right() - glyphs.right(), radius, 1.0);
        EXPECT_NEAR(glyphs.top() - halo.top(), radius, 1.0);
        EXPECT_NEAR(halo.bottom() - glyphs.bottom(), radius, 1.0);
        // Inside a stem the white fill is drawn last, over the halo.
        EXPECT_GT(qGray(outlined.pixel(glyphs.left() + 8, glyphs.center().y())), 240);
    }
}

TEST(DrawText, ImitatesMissingBoldAndItalicFaces)
{
    const QString regularOnly = QStringLiteral("DejaVu Math TeX Gyre"); // a family with only a regular face
    Annotation text = textElement(QStringLiteral("IIIII"), 80);
    text.textStyle.family = regularOnly;
    ASSERT_EQ(text.textAttributes().font.family(), regularOnly) << "the font package is missing";
    auto render = [&](bool bold, bool italic) {
        Annotation a = text;
        a.textStyle.bold = bold;
        a.textStyle.italic = italic;
        return drawnText(a, 500, 160);
    };
    const QImage regular = render(false, false), bold = render(true, false), italic = render(false, true);
    // Stroking the outlines as well as filling them adds ink.
    EXPECT_GT(ink(bold, 0, 159).first, ink(regular, 0, 159).first * 1.05);
    // The oblique stems lean right about the baseline: tops further right, feet in place.
    const QRect stems = boundsWhere(regular, dark);
    const int third = stems.height() / 3;
    auto lean = [&](const QImage& image) {
        return ink(image, stems.top(), stems.top() + third).second - ink(image, stems.bottom() - third, stems.bottom()).second;
    };
    EXPECT_NEAR(lean(regular), 0, 0.5);
    EXPECT_NEAR(lean(italic), 0.2 * 2 * third, 3.0);
    const QRect feet(0, stems.bottom() - 3, 500, 3);
    EXPECT_NEAR(boundsWhere(italic, dark, feet).left(), boundsWhere(regular, dark, feet).left(), 2);
}

TEST(DrawBadge, DiameterFollowsTheMarkerFrameWidth)
{
    for (auto [width, expected] : {std::pair{1000.0, 44.0}, {2000.0, 2000.0 / 36}, {4000.0, 96.0}, {500.0, 44.0}}) {
        SCOPED_TRACE(width);
        const QImage image = painted(200, 200, Qt::transparent, [&](QPainter& p) {
            ScreenshotRenderer::drawBadge(p, QString(), {100, 100}, QSizeF(width, 10), false, Qt::blue);
        });
        // The shape is opaque, the soft shadow around it faint.
        const QRect shape = boundsWhere(image, [](QRgb c) { return qAlpha(c) >= 128; });
        EXPECT_NEAR(shape.width(), expected, 1.0);
        EXPECT_NEAR(shape.height(), expected, 1.0);
        EXPECT_GT(boundsWhere(image, [](QRgb c) { return qAlpha(c) > 0; }).width(), shape.width() + 4);
    }
}

TEST(DrawBadge, FontSizeFollowsTheTextLengthAndTextColourTheLuminance)
{
    auto badge = [](const QString& text, const QColor& colour, double frameWidth) {
        return painted(200, 200, Qt::white, [&](QPainter& p) {
            ScreenshotRenderer::drawBadge(p, text, {100, 100}, QSizeF(frameWidth, 10), false, colour);
        });
    };
    // Capital A and digits share the cap height, which scales with the font size: 0.34 D against 0.43 D.
    const double two = boundsWhere(badge("A9", Qt::white, 3600), dark).height();
    const double three = boundsWhere(badge("A10", Qt::white, 3600), dark).height();
    EXPECT_NEAR(three / two, 0.34 / 0.43, 0.06);

    // White text below luminance 0.3, near black above it: glyph pixels lighter or darker than the badge.
    const QColor darkBadge = QColor::fromRgbF(0.29f, 0.29f, 0.29f), lightBadge = QColor::fromRgbF(0.31f, 0.31f, 0.31f);
    auto glyph = [&](const QColor& colour, int lighter) {
        return countWhere(badge("8", colour, 1000), [&](QRgb c) { return lighter * (qGray(c) - qGray(colour.rgb())) > 50; },
                          QRect(94, 90, 12, 20));
    };
    EXPECT_GT(glyph(darkBadge, 1), 10);
    EXPECT_EQ(glyph(darkBadge, -1), 0);
    EXPECT_EQ(glyph(lightBadge, 1), 0);
    EXPECT_GT(glyph(lightBadge, -1), 10);
}

TEST(DrawHighlighter, RunsThatTurnBackOverlapDarkerAndOtherRunsDoNot)
{
    Annotation marker = element(AnnotationTool::highlighter);
    marker.points = {{50, 100}, {250, 100}, {120, 100}};
    marker.colorIndex = 5; // black at 30 %
    const QImage back = highlighted(marker, 20, 300, 200);
    EXPECT_NEAR(qGray(back.pixel(80, 100)), 255 * 0.7, 4);
    EXPECT_NEAR(qGray(back.pixel(180, 100)), 255 * 0.7 * 0.7, 4);
    EXPECT_NEAR(boundsWhere(back, notWhite).height(), 20, 1.5); // 10 px either side of the line

    // Two right-angle turns stay one run, without darker joints.
    marker.points = {{50, 50}, {150, 50}, {150, 150}, {60, 160}};
    const QImage turns = highlighted(marker, 16, 220, 220);
    EXPECT_EQ(qGray(turns.pixel(150, 50)), qGray(turns.pixel(100, 50)));
    // A single point is a dot; without points the stroke runs from start to end with round caps.
    marker.points = {{60, 60}};
    EXPECT_NEAR(boundsWhere(highlighted(marker, 12, 120, 120), notWhite).width(), 12, 1.5);
    EXPECT_NEAR(boundsWhere(highlighted(marker, 12, 120, 120), notWhite).height(), 12, 1.5);
    marker.points.clear();
    marker.start = {10, 30};
    marker.end = {110, 30};
    EXPECT_NEAR(boundsWhere(highlighted(marker, 10, 120, 60), notWhite).width(), 110, 1.5);
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

TEST(DrawImageLayer, RadiusBeyondHalfTheSideGivesFullyRoundEndsAndTheMirrorComesAfterTheClip)
{
    Annotation a = markedLayer(QRectF(50, 50, 100, 60));
    a.imageCornerRadius = 1000; // clamped to 30
    const QImage round = drawnLayer(a);
    auto covered = [](const QImage& image, int x, int y) { return qAlpha(image.pixel(x, y)) > 128; };
    EXPECT_TRUE(covered(round, 51, 80));  // the middle of the left end
    EXPECT_TRUE(covered(round, 100, 51)); // the flat top
    EXPECT_FALSE(covered(round, 52, 52));
    // Outside the semicircle of radius 30 about (80, 80), still inside a radius-10 corner.
    EXPECT_FALSE(covered(round, 55, 62));
    EXPECT_FALSE(covered(round, 144, 62));

    a.imageCornerRadius = 10;
    const QImage straight = drawnLayer(a);
    EXPECT_TRUE(covered(straight, 55, 62));
    EXPECT_TRUE(near(straight.pixel(149, 80), Qt::blue, 30));
    a.imageFlippedHorizontally = true;
    const QImage mirrored = drawnLayer(a);
    EXPECT_TRUE(near(mirrored.pixel(50, 80), Qt::blue, 30));
    EXPECT_TRUE(near(mirrored.pixel(149, 80), Qt::red, 30));
    EXPECT_EQ(qAlpha(mirrored.pixel(50, 50)), 0);   // rounded corner still at the top left
    EXPECT_EQ(qAlpha(mirrored.pixel(149, 109)), 0); // and at the bottom right
}

TEST(DrawImageLayer, CropIsMadeIntegralAndClippedToThePicture)
{
    // The crop (89.5, 0, 20, 60) becomes (89, 0, 21, 60) and then (89, 0, 11, 60): red then blue.
    Annotation a = markedLayer(QRectF(0, 0, 110, 60));
    a.imageCrop = QRectF(89.5, 0, 20, 60);
    const QImage image = drawnLayer(a, 110, 60);
    EXPECT_TRUE(near(image.pixel(5, 30), Qt::red, 30));
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
    a.imageCrop = QRectF(10, 10, 0, 30);
    EXPECT_EQ(message(a), empty);
    a.embeddedImage = std::make_shared<QImage>();
    EXPECT_EQ(message(a), unreadable);
    a.embeddedImage.reset();
    EXPECT_EQ(message(a), unreadable);
}

TEST(CanvasLabel, MonospacedWidthScalesWithSizeAndDegenerateSizesAreEmpty)
{
    const QSizeF one = CanvasLabel::size(QStringLiteral("0"), 16, false);
    ASSERT_GT(one.width(), 0);
    EXPECT_NEAR(CanvasLabel::size(QStringLiteral("0123456789"), 16, false).width(), 10 * one.width(), 0.01);
    EXPECT_NEAR(one.width(), 16 * 0.602, 0.1); // DejaVu Sans Mono advances 0.602 em per cell
    // Fractional sizes are honoured, not rounded to whole pixels.
    EXPECT_NEAR(CanvasLabel::size(QStringLiteral("0"), 16.5, false).width() / one.width(), 16.5 / 16, 0.001);
    // Height is ascent + descent, no leading: a little more than the size.
    EXPECT_GT(one.height(), 16);
    EXPECT_LT(one.height(), 16 * 1.3);
    EXPECT_GT(CanvasLabel::size(QStringLiteral("13 px"), 16, true).width(), 0);
    EXPECT_TRUE(CanvasLabel::size(QStringLiteral("x"), 0, false).isEmpty());
    EXPECT_TRUE(CanvasLabel::size(QStringLiteral("x"), NAN, false).isEmpty());
    EXPECT_EQ(CanvasLabel::size(QString(), 16, false).width(), 0);
}

TEST(ImageContext, SoftwareRetryOnlyWhenThePrimaryFails)
{
    QVector<bool> software;
    auto render = [&](bool primaryWorks) {
        software.clear();
        return ImageContext::renderWithFallback([&](const ImageContext& c) {
            software.push_back(c.usesSoftwareRenderer());
            return c.usesSoftwareRenderer() || primaryWorks ? QImage(1, 1, QImage::Format_RGBA8888_Premultiplied) : QImage();
        });
    };
    EXPECT_TRUE(render(true).has_value());
    EXPECT_EQ(software, QVector<bool>{false});
    EXPECT_TRUE(render(false).has_value());
    EXPECT_EQ(software, (QVector<bool>{false, true}));
    EXPECT_FALSE(ImageContext::renderWithFallback([](const ImageContext&) { return QImage(); }).has_value());
}
