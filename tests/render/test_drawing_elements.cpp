// Text, badges, highlighter strokes and image layers, measured on rendered pixels.

#include "DrawingTestSupport.h"

#include "panels/Theme.h"
#include "series/TarnwickError.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

// A family with only a regular face, so bold and italic must be imitated.
const QString regularOnlyFamily = QStringLiteral("DejaVu Math TeX Gyre");

// Horizontal centre of the dark pixels in rows [y0, y1].
double inkCentreX(const QImage& image, int y0, int y1)
{
    double sum = 0, weight = 0;
    for (int y = y0; y <= y1; ++y)
        for (int x = 0; x < image.width(); ++x) {
            const double w = 255 - qGray(image.pixel(x, y));
            sum += w * (x + 0.5);
            weight += w;
        }
    return weight > 0 ? sum / weight : 0;
}

double inkAmount(const QImage& image)
{
    double total = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            total += 255 - qGray(image.pixel(x, y));
    return total;
}

} // namespace

// ---- text ----

TEST(DrawText, InkFillsTheMeasuredRectangleIncludingWrappedLines)
{
    // Full blocks fill their whole line box, so their ink shows where each line went.
    for (const QString& family : {QString(), QStringLiteral("DejaVu Sans Mono"), QStringLiteral("DejaVu Serif")}) {
        SCOPED_TRACE(family.toStdString());
        Annotation text = element(AnnotationTool::text, {20.3, 30.6});
        text.text = QString::fromUtf8("██ ██ ██\n█ ████");
        text.fontSize = 40;
        text.textWidth = 140; // wraps the first line
        text.colorIndex = 5;  // black
        text.textStyle.family = family;
        QImage image = canvas(500, 500);
        paint(image, [&](QPainter& p) { ScreenshotRenderer::drawText(p, text, text.rect()); });

        const QRectF measured = text.rect().adjusted(0, 0, -1, -1); // without the one-pixel margin
        const QRect ink = boundsWhere(image, dark);
        ASSERT_FALSE(ink.isEmpty());
        EXPECT_NEAR(ink.left(), measured.left(), 1.0);
        EXPECT_NEAR(ink.top(), measured.top(), 1.0);
        EXPECT_NEAR(ink.right() + 1, measured.right(), 1.0);
        EXPECT_NEAR(ink.bottom() + 1, measured.bottom(), 1.0);
        EXPECT_GT(measured.height(), 3 * 40); // three or more lines were measured and drawn
    }
}

TEST(DrawText, OutlineIsADarkHaloOfTheOutlineRadius)
{
    EXPECT_DOUBLE_EQ(ScreenshotRenderer::outlineRadius(10), 0.75);
    EXPECT_DOUBLE_EQ(ScreenshotRenderer::outlineRadius(100), 2.0);
    EXPECT_DOUBLE_EQ(ScreenshotRenderer::outlineRadius(200), 2.5);

    for (double fontSize : {100.0, 200.0}) {
        SCOPED_TRACE(fontSize);
        Annotation text = element(AnnotationTool::text, {30, 30});
        text.text = QStringLiteral("HIH");
        text.fontSize = fontSize;
        text.colorIndex = 5; // black, for the plain ink
        QImage plain = canvas(900, 400);
        paint(plain, [&](QPainter& p) { ScreenshotRenderer::drawText(p, text, text.rect()); });

        text.colorIndex = 4; // white on white: only the outline shows
        text.textOutline = true;
        QImage outlined = canvas(900, 400);
        paint(outlined, [&](QPainter& p) { ScreenshotRenderer::drawText(p, text, text.rect()); });

        const QRect glyphs = boundsWhere(plain, dark);
        const QRect halo = boundsWhere(outlined, dark);
        const double r = ScreenshotRenderer::outlineRadius(fontSize);
        EXPECT_NEAR(glyphs.left() - halo.left(), r, 1.0);
        EXPECT_NEAR(halo.right() - glyphs.right(), r, 1.0);
        EXPECT_NEAR(glyphs.top() - halo.top(), r, 1.0);
        EXPECT_NEAR(halo.bottom() - glyphs.bottom(), r, 1.0);
        // Inside a stem the white fill is drawn last, over the halo.
        const QPoint stem(glyphs.left() + 8, glyphs.center().y());
        EXPECT_GT(qGray(outlined.pixel(stem)), 240);
    }
}

TEST(DrawText, ImitatesMissingBoldAndItalicFaces)
{
    Annotation text = element(AnnotationTool::text, {20, 20});
    text.text = QStringLiteral("IIIII");
    text.fontSize = 80;
    text.colorIndex = 5;
    text.textStyle.family = regularOnlyFamily;
    ASSERT_EQ(text.textAttributes().font.family(), regularOnlyFamily) << "the font package is missing";

    auto render = [&](bool bold, bool italic) {
        Annotation a = text;
        a.textStyle.bold = bold;
        a.textStyle.italic = italic;
        QImage image = canvas(500, 160);
        paint(image, [&](QPainter& p) { ScreenshotRenderer::drawText(p, a, a.rect()); });
        return image;
    };
    const QImage regular = render(false, false);
    const QImage bold = render(true, false);
    const QImage italic = render(false, true);

    // Stroking the outlines as well as filling them adds ink.
    EXPECT_GT(inkAmount(bold), inkAmount(regular) * 1.05);

    // The oblique stems lean right: their tops sit further right than their feet.
    const QRect stems = boundsWhere(regular, dark);
    const int third = stems.height() / 3;
    const double uprightLean =
        inkCentreX(regular, stems.top(), stems.top() + third) - inkCentreX(regular, stems.bottom() - third, stems.bottom());
    const double lean =
        inkCentreX(italic, stems.top(), stems.top() + third) - inkCentreX(italic, stems.bottom() - third, stems.bottom());
    EXPECT_NEAR(uprightLean, 0, 0.5);
    EXPECT_NEAR(lean, 0.2 * 2 * third, 3.0);
    // Sheared about the baseline, the feet stay where the upright glyphs stand.
    EXPECT_NEAR(boundsWhere(italic, dark, QRect(0, stems.bottom() - 3, 500, 3)).left(),
                boundsWhere(regular, dark, QRect(0, stems.bottom() - 3, 500, 3)).left(), 2);
}

TEST(DrawText, NothingForEmptyTextOrNonFiniteRect)
{
    Annotation text = element(AnnotationTool::text, {10, 10});
    text.text = QStringLiteral("Текст");
    QImage image = canvas(100, 100);
    paint(image, [&](QPainter& p) {
        ScreenshotRenderer::drawText(p, text, QRectF(NAN, 0, 10, 10));
        Annotation empty = text;
        empty.text.clear();
        ScreenshotRenderer::drawText(p, empty, empty.rect());
    });
    EXPECT_EQ(image, canvas(100, 100));
}

// ---- badges ----

TEST(DrawBadge, DiameterFollowsTheMarkerFrameWidth)
{
    for (auto [width, expected] : {std::pair{1000.0, 44.0}, {2000.0, 2000.0 / 36}, {4000.0, 96.0}, {500.0, 44.0}}) {
        SCOPED_TRACE(width);
        EXPECT_DOUBLE_EQ(ScreenshotRenderer::badgeDiameter(width), expected);
        QImage image = canvas(200, 200, Qt::transparent);
        paint(image, [&](QPainter& p) {
            ScreenshotRenderer::drawBadge(p, QString(), {100, 100}, QSizeF(width, 10), false, Qt::blue);
        });
        // The shadow is faint; the shape is opaque.
        const QRect shape = boundsWhere(image, [](QRgb c) { return qAlpha(c) >= 128; });
        EXPECT_NEAR(shape.width(), expected, 1.0);
        EXPECT_NEAR(shape.height(), expected, 1.0);
        // A soft shadow surrounds it.
        const QRect shadow = boundsWhere(image, [](QRgb c) { return qAlpha(c) > 0; });
        EXPECT_GT(shadow.width(), shape.width() + 4);
    }
}

TEST(DrawBadge, LongerTextsUseTheSmallerFontSize)
{
    EXPECT_DOUBLE_EQ(ScreenshotRenderer::badgeFontSize("A9", 44), 0.43 * 44);
    EXPECT_DOUBLE_EQ(ScreenshotRenderer::badgeFontSize("A10", 44), 0.34 * 44);

    auto glyphHeight = [](const QString& text) {
        QImage image = canvas(200, 200);
        paint(image, [&](QPainter& p) {
            ScreenshotRenderer::drawBadge(p, text, {100, 100}, QSizeF(3600, 10), false, Qt::white);
        });
        return boundsWhere(image, dark).height();
    };
    // Capital A and digits share the cap height, which scales with the font size.
    const double two = glyphHeight("A9"), three = glyphHeight("A10");
    EXPECT_NEAR(three / two, 0.34 / 0.43, 0.06);
}

TEST(DrawBadge, TextColourFollowsTheLuminanceThreshold)
{
    auto textPixels = [](const QColor& badge) {
        QImage image = canvas(200, 200);
        paint(image, [&](QPainter& p) { ScreenshotRenderer::drawBadge(p, "8", {100, 100}, QSizeF(1000, 10), true, badge); });
        // Pixels of the text differ most from the badge inside the glyph box.
        int lighter = 0, darker = 0;
        for (int y = 90; y < 110; ++y)
            for (int x = 94; x < 106; ++x) {
                const int d = qGray(image.pixel(x, y)) - qGray(badge.rgb());
                lighter += d > 60;
                darker += d < -40;
            }
        return std::pair{lighter, darker};
    };
    EXPECT_EQ(ScreenshotRenderer::badgeTextColor(QColor::fromRgbF(0.29f, 0.29f, 0.29f)), QColor(Qt::white));
    EXPECT_EQ(ScreenshotRenderer::badgeTextColor(QColor::fromRgbF(0.31f, 0.31f, 0.31f)), QColor::fromRgbF(0.1f, 0.1f, 0.1f));

    auto [onDarkLighter, onDarkDarker] = textPixels(QColor::fromRgbF(0.29f, 0.29f, 0.29f));
    EXPECT_GT(onDarkLighter, 10);
    EXPECT_EQ(onDarkDarker, 0);
    auto [onLightLighter, onLightDarker] = textPixels(QColor::fromRgbF(0.31f, 0.31f, 0.31f));
    EXPECT_EQ(onLightLighter, 0);
    EXPECT_GT(onLightDarker, 10);
    // The palette's white badge gets near-black text, its black badge white text.
    EXPECT_GT(textPixels(Theme::colors()[4]).second, 10);
    EXPECT_GT(textPixels(Theme::colors()[5]).first, 10);
}

// ---- highlighter ----

TEST(DrawHighlighter, StrokeTurningBackIsDarkerWhereRunsOverlap)
{
    Annotation marker = element(AnnotationTool::highlighter);
    marker.points = {{50, 100}, {250, 100}, {120, 100}};
    marker.colorIndex = 5; // black at 30 %
    ASSERT_EQ(ScreenshotRenderer::highlighterRuns(marker.points).size(), 2);

    QImage image = canvas(300, 200);
    paint(image, [&](QPainter& p) { ScreenshotRenderer::drawHighlighter(p, marker, 20); });
    const int single = qGray(image.pixel(80, 100));
    const int overlap = qGray(image.pixel(180, 100));
    EXPECT_NEAR(single, 255 * 0.7, 4);
    EXPECT_NEAR(overlap, 255 * 0.7 * 0.7, 4);
    // Width 20: the stroke reaches 10 px either side of the line.
    EXPECT_NEAR(boundsWhere(image, notWhite).height(), 20, 1.5);
}

TEST(DrawHighlighter, GentleTurnsStayOneRunWithoutDarkJoints)
{
    Annotation marker = element(AnnotationTool::highlighter);
    marker.points = {{50, 50}, {150, 50}, {150, 150}, {60, 160}}; // two right-angle turns
    marker.colorIndex = 5;
    EXPECT_EQ(ScreenshotRenderer::highlighterRuns(marker.points).size(), 1);
    QImage image = canvas(220, 220);
    paint(image, [&](QPainter& p) { ScreenshotRenderer::drawHighlighter(p, marker, 16); });
    EXPECT_EQ(qGray(image.pixel(150, 50)), qGray(image.pixel(100, 50)));
}

TEST(DrawHighlighter, SinglePointIsADotAndNoPointsAStraightSegment)
{
    Annotation dot = element(AnnotationTool::highlighter);
    dot.points = {{60, 60}};
    dot.colorIndex = 5;
    QImage image = canvas(120, 120);
    paint(image, [&](QPainter& p) { ScreenshotRenderer::drawHighlighter(p, dot, 12); });
    const QRect bounds = boundsWhere(image, notWhite);
    EXPECT_NEAR(bounds.width(), 12, 1.5);
    EXPECT_NEAR(bounds.height(), 12, 1.5);

    Annotation segment = element(AnnotationTool::highlighter, {10, 30}, {110, 30});
    segment.colorIndex = 5;
    QImage line = canvas(120, 60);
    paint(line, [&](QPainter& p) { ScreenshotRenderer::drawHighlighter(p, segment, 10); });
    EXPECT_NEAR(boundsWhere(line, notWhite).width(), 110, 1.5); // round caps add 5 px each end
}

TEST(HighlighterRuns, SplitAtTurnsSharperThan120Degrees)
{
    // 119° keeps the run, 121° splits it and the new run starts at the turning point.
    auto turn = [](double degrees) {
        const double a = degrees * M_PI / 180;
        return QVector<QPointF>{{0, 0}, {10, 0}, {10 + 10 * std::cos(a), 10 * std::sin(a)}};
    };
    EXPECT_EQ(ScreenshotRenderer::highlighterRuns(turn(119)).size(), 1);
    const auto split = ScreenshotRenderer::highlighterRuns(turn(121));
    ASSERT_EQ(split.size(), 2);
    EXPECT_EQ(split[0], (QVector<QPointF>{{0, 0}, {10, 0}}));
    EXPECT_EQ(split[1].front(), QPointF(10, 0));
    EXPECT_TRUE(ScreenshotRenderer::highlighterRuns({}).isEmpty());
}

// ---- image layers ----

namespace {

// 100 × 60: red, with a blue right-most column.
SharedImage markedImage()
{
    auto image = std::make_shared<QImage>(100, 60, QImage::Format_ARGB32_Premultiplied);
    image->fill(Qt::red);
    QPainter p(image.get());
    p.fillRect(99, 0, 1, 60, Qt::blue);
    return image;
}

Annotation layer(QRectF frame)
{
    Annotation a = element(AnnotationTool::image, frame.topLeft(), frame.bottomRight());
    a.embeddedImage = markedImage();
    return a;
}

} // namespace

TEST(DrawImageLayer, RadiusBeyondHalfTheSideGivesFullyRoundEnds)
{
    Annotation a = layer(QRectF(50, 50, 100, 60));
    a.imageCornerRadius = 1000; // clamped to 30
    QImage image = canvas(200, 200, Qt::transparent);
    paint(image, [&](QPainter& p) { ScreenshotRenderer::drawImageLayer(p, a); });
    auto covered = [&](int x, int y) { return qAlpha(image.pixel(x, y)) > 128; };
    EXPECT_TRUE(covered(51, 80));  // the middle of the left end
    EXPECT_TRUE(covered(100, 51)); // the flat top
    EXPECT_FALSE(covered(52, 52));
    // Outside the semicircle of radius 30 about (80, 80), still inside a radius-10 corner.
    EXPECT_FALSE(covered(55, 62));
    EXPECT_FALSE(covered(144, 62));

    Annotation small = layer(QRectF(50, 50, 100, 60));
    small.imageCornerRadius = 10;
    QImage other = canvas(200, 200, Qt::transparent);
    paint(other, [&](QPainter& p) { ScreenshotRenderer::drawImageLayer(p, small); });
    EXPECT_GT(qAlpha(other.pixel(55, 62)), 128);
}

TEST(DrawImageLayer, MirrorShowsTheRightColumnOnTheLeftAndKeepsCorners)
{
    Annotation a = layer(QRectF(50, 50, 100, 60));
    a.imageFlippedHorizontally = true;
    a.imageCornerRadius = 10;
    QImage image = canvas(200, 200, Qt::transparent);
    paint(image, [&](QPainter& p) { ScreenshotRenderer::drawImageLayer(p, a); });
    EXPECT_TRUE(near(image.pixel(50, 80), Qt::blue, 30));
    EXPECT_TRUE(near(image.pixel(149, 80), Qt::red, 30));
    EXPECT_EQ(qAlpha(image.pixel(50, 50)), 0);  // rounded corner still at the top left
    EXPECT_EQ(qAlpha(image.pixel(149, 109)), 0); // and at the bottom right

    a.imageFlippedHorizontally = false;
    QImage straight = canvas(200, 200, Qt::transparent);
    paint(straight, [&](QPainter& p) { ScreenshotRenderer::drawImageLayer(p, a); });
    EXPECT_TRUE(near(straight.pixel(149, 80), Qt::blue, 30));
}

TEST(DrawImageLayer, CropIsMadeIntegralAndClippedToThePicture)
{
    // The crop (89.5, 0, 20, 60) becomes (89, 0, 21, 60) and then (89, 0, 11, 60): red then blue.
    Annotation a = layer(QRectF(0, 0, 110, 60));
    a.imageCrop = QRectF(89.5, 0, 20, 60);
    QImage image = canvas(110, 60, Qt::transparent);
    paint(image, [&](QPainter& p) { ScreenshotRenderer::drawImageLayer(p, a); });
    EXPECT_TRUE(near(image.pixel(5, 30), Qt::red, 30));
    EXPECT_TRUE(near(image.pixel(105, 30), Qt::blue, 30));
    const int blueColumns = boundsWhere(image, [](QRgb c) { return qBlue(c) > qRed(c); }).width();
    EXPECT_NEAR(blueColumns, 10, 1); // one source column of eleven, scaled to 110
}

TEST(DrawImageLayer, ReportsUnreadableAndEmptySourcesWithoutDrawing)
{
    auto message = [](const Annotation& a) -> QString {
        QImage image = canvas(50, 50);
        try {
            paint(image, [&](QPainter& p) { ScreenshotRenderer::drawImageLayer(p, a); });
        } catch (const TarnwickError& e) {
            EXPECT_EQ(image, canvas(50, 50));
            return e.errorDescription();
        }
        return {};
    };
    Annotation missing = layer(QRectF(0, 0, 40, 40));
    missing.embeddedImage.reset();
    EXPECT_EQ(message(missing), "Не удалось прочитать вставленное изображение.");
    missing.embeddedImage = std::make_shared<QImage>();
    EXPECT_EQ(message(missing), "Не удалось прочитать вставленное изображение.");

    Annotation outside = layer(QRectF(0, 0, 40, 40));
    outside.imageCrop = QRectF(200, 200, 30, 30);
    EXPECT_EQ(message(outside), "Область вставленного изображения пуста.");
    outside.imageCrop = QRectF(10, 10, 0, 30);
    EXPECT_EQ(message(outside), "Область вставленного изображения пуста.");
}
