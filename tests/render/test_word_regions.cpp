#include "render/WordRegions.h"

#include "series/TarnwickError.h"

#include <QPainter>
#include <gtest/gtest.h>

#include <algorithm>

using namespace tarnwick;

namespace {

QImage grey(int w, int h, int level)
{
    QImage image(w, h, QImage::Format_RGBA8888_Premultiplied);
    image.fill(QColor(level, level, level));
    return image;
}

void setGrey(QImage& image, int x, int y, int level)
{
    image.setPixelColor(x, y, QColor(level, level, level));
}

// The edge mask of an image in one call.
std::vector<uint8_t> maskOf(const QImage& image)
{
    return GlyphScan::edgeMask(GlyphScan::luminance(image), image.width(), image.height());
}

bool marked(const std::vector<uint8_t>& mask, const QImage& image, int x, int y)
{
    return mask[size_t(y) * size_t(image.width()) + size_t(x)] != 0;
}

// A box in the recogniser's space back in pixels, origin top left.
QRectF pixelBox(const QRectF& b, const QSize& size)
{
    return QRectF(b.x() * size.width(), (1.0 - (b.y() + b.height())) * size.height(), b.width() * size.width(),
        b.height() * size.height());
}

QImage textImage(int w, int h, const QString& text, int pixelSize, QPoint baseline)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter p(&image);
    QFont font("DejaVu Sans");
    font.setPixelSize(pixelSize);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(baseline, text);
    return image;
}

} // namespace

TEST(GlyphScan, EdgeContrastOf36MarksAnd35DoesNot)
{
    // Grey pixels have luminance equal to their level, so contrasts are exact.
    QImage image = grey(11, 11, 100);
    setGrey(image, 5, 5, 136);
    auto mask = maskOf(image);
    EXPECT_TRUE(marked(mask, image, 5, 5));
    EXPECT_TRUE(marked(mask, image, 3, 5)); // two steps away sees the same contrast
    EXPECT_TRUE(marked(mask, image, 5, 7));
    EXPECT_FALSE(marked(mask, image, 4, 5)); // direct neighbours are not compared
    EXPECT_FALSE(marked(mask, image, 4, 4));
    EXPECT_EQ(std::count(mask.begin(), mask.end(), 1), 5);

    setGrey(image, 5, 5, 135);
    mask = maskOf(image);
    EXPECT_EQ(std::count(mask.begin(), mask.end(), 1), 0);

    // Darker by 36 counts the same way.
    setGrey(image, 5, 5, 64);
    mask = maskOf(image);
    EXPECT_TRUE(marked(mask, image, 5, 5));
}

TEST(GlyphScan, OuterTwoRowsAndColumnsStayClear)
{
    QImage image = grey(9, 9, 200);
    setGrey(image, 1, 4, 0);
    setGrey(image, 4, 7, 0);
    const auto mask = maskOf(image);
    EXPECT_FALSE(marked(mask, image, 1, 4));
    EXPECT_TRUE(marked(mask, image, 3, 4));
    EXPECT_FALSE(marked(mask, image, 4, 7));
    EXPECT_TRUE(marked(mask, image, 4, 5));
    EXPECT_EQ(std::count(mask.begin(), mask.end(), 1), 2);

    // Too small for the pass at all.
    QImage small = grey(4, 9, 0);
    setGrey(small, 2, 4, 255);
    EXPECT_EQ(GlyphScan::edgeMask(GlyphScan::luminance(small), 4, 9), std::vector<uint8_t>(36, 0));
}

TEST(GlyphScan, ComponentsAreEightConnectedInScanOrder)
{
    const int w = 8, h = 6;
    std::vector<uint8_t> mask(w * h, 0);
    auto set = [&](int x, int y) { mask[y * w + x] = 1; };
    set(5, 0); // first by scan order
    set(6, 1); // diagonal neighbour joins it
    set(1, 2);
    set(1, 3);
    set(2, 4);
    set(7, 5);
    const auto boxes = GlyphScan::components(mask, w, h);
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0], QRect(5, 0, 2, 2));
    EXPECT_EQ(boxes[1], QRect(1, 2, 2, 3));
    EXPECT_EQ(boxes[2], QRect(7, 5, 1, 1));
    EXPECT_EQ(std::count(mask.begin(), mask.end(), 1), 0);
}

TEST(GlyphScan, IconAndGlyphSizeRules)
{
    using GlyphScan::isGlyphBox;
    using GlyphScan::isIconBox;
    EXPECT_TRUE(isIconBox(QRect(0, 0, 64, 64)));
    EXPECT_TRUE(isIconBox(QRect(0, 0, 256, 256)));
    EXPECT_FALSE(isIconBox(QRect(0, 0, 63, 64)));
    EXPECT_FALSE(isIconBox(QRect(0, 0, 64, 257)));
    EXPECT_TRUE(isIconBox(QRect(0, 0, 64, 106))); // w/h just above 0.6
    EXPECT_FALSE(isIconBox(QRect(0, 0, 64, 107)));
    EXPECT_TRUE(isIconBox(QRect(0, 0, 160, 100))); // w/h = 1.6
    EXPECT_FALSE(isIconBox(QRect(0, 0, 161, 100)));

    EXPECT_TRUE(isGlyphBox(QRect(0, 0, 2, 5), {}));
    EXPECT_FALSE(isGlyphBox(QRect(0, 0, 2, 4), {}));
    EXPECT_FALSE(isGlyphBox(QRect(0, 0, 1, 5), {}));
    EXPECT_TRUE(isGlyphBox(QRect(0, 0, 128, 64), {}));
    EXPECT_FALSE(isGlyphBox(QRect(0, 0, 129, 64), {}));
    EXPECT_FALSE(isGlyphBox(QRect(0, 0, 20, 65), {}));
    EXPECT_FALSE(isGlyphBox(QRect(0, 0, 21, 10), {}));

    // The centre (15, 15) against known boxes, which contain their left and top edges only.
    EXPECT_FALSE(isGlyphBox(QRect(10, 10, 10, 10), {QRectF(15, 15, 1, 1)}));
    EXPECT_TRUE(isGlyphBox(QRect(10, 10, 10, 10), {QRectF(14, 14, 1, 1)}));
    EXPECT_TRUE(isGlyphBox(QRect(10, 10, 10, 10), {QRectF(0, 0, 15, 40)}));
}

TEST(GlyphScan, CandidateNeedsAFrameEightyFivePercentOneColour)
{
    // A 6 × 6 dark square gives a 10 × 10 edge component at (20, 20); the region is
    // (12, 12, 26, 26), whose frame has exactly 100 pixels.
    const QRect region(12, 12, 26, 26);
    auto badge = [&](int differing, int by) {
        QImage image = grey(60, 60, 128);
        QPainter p(&image);
        p.fillRect(22, 22, 6, 6, Qt::black);
        p.end();
        // Red shifts of this size leave the luminance too flat to add edges.
        for (int i = 0; i < differing; ++i)
            image.setPixelColor(region.x() + i, region.y(), QColor(128 + by, 128, 128));
        return image;
    };
    EXPECT_EQ(GlyphScan::candidateRegions(badge(0, 0), {}), std::vector<QRect>{region});
    EXPECT_EQ(GlyphScan::candidateRegions(badge(15, 23), {}), std::vector<QRect>{region});
    EXPECT_TRUE(GlyphScan::candidateRegions(badge(16, 23), {}).empty());
    EXPECT_EQ(GlyphScan::candidateRegions(badge(16, 22), {}), std::vector<QRect>{region});
}

TEST(GlyphScan, RegionsAreClippedToTheImage)
{
    QImage image = grey(30, 30, 255);
    QPainter p(&image);
    p.fillRect(3, 4, 4, 6, Qt::black);
    p.end();
    // Component (1, 2, 8, 10) grown by 8 and clipped.
    EXPECT_EQ(GlyphScan::candidateRegions(image, {}), std::vector<QRect>{QRect(0, 0, 17, 20)});
}

TEST(GlyphScan, GlyphsInsideIconsOrKnownWordsAreNotCandidates)
{
    // A 1-pixel outline of 60 × 60 gives a 64 × 64 component: an icon and a glyph
    // at once, dropped by its own icon box.
    QImage icon = grey(120, 120, 255);
    QPainter p(&icon);
    p.setPen(Qt::black);
    p.drawRect(20, 20, 59, 59);
    p.end();
    EXPECT_TRUE(GlyphScan::candidateRegions(icon, {}).empty());

    // One row lower it is no icon, and the same shape is read as a glyph.
    QImage flat = grey(120, 120, 255);
    p.begin(&flat);
    p.setPen(Qt::black);
    p.drawRect(20, 20, 59, 58);
    p.end();
    EXPECT_EQ(GlyphScan::candidateRegions(flat, {}), std::vector<QRect>{QRect(10, 10, 80, 79)});

    // A small glyph inside a framed 100 × 100 square is dropped; alone it is a candidate.
    QImage framed = grey(160, 160, 255);
    p.begin(&framed);
    p.setPen(Qt::black);
    p.drawRect(30, 30, 95, 95);
    p.fillRect(75, 75, 6, 8, Qt::black);
    p.end();
    EXPECT_TRUE(GlyphScan::candidateRegions(framed, {}).empty());
    QImage alone = grey(160, 160, 255);
    p.begin(&alone);
    p.fillRect(75, 75, 6, 8, Qt::black);
    p.end();
    EXPECT_EQ(GlyphScan::candidateRegions(alone, {}), std::vector<QRect>{QRect(65, 65, 26, 28)});

    // A recognised word box, grown by 3 pixels, hides a glyph whose centre (78, 79) it
    // covers. In the recogniser's space the image is the unit square, y upward.
    auto known = [](double left, double top, double right, double bottom) {
        return QRectF(left / 160, 1 - bottom / 160, (right - left) / 160, (bottom - top) / 160);
    };
    EXPECT_TRUE(GlyphScan::candidateRegions(alone, {known(60, 60, 75.5, 76.5)}).empty());
    EXPECT_EQ(GlyphScan::candidateRegions(alone, {known(60, 60, 75, 76)}).size(), 1u);
}

TEST(GlyphScan, BusyBackgroundIsNotRead)
{
    // Stripes of strong contrast around a glyph: the frame has no dominant colour.
    QImage image = grey(60, 60, 255);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x)
            if ((x / 3 + y / 3) % 2)
                image.setPixelColor(x, y, QColor(30, 30, 200));
    const auto regions = GlyphScan::candidateRegions(image, {});
    EXPECT_TRUE(regions.empty());
}

TEST(WordRegions, LineAtTheBottomGivesWordBoxesAtTheBottom)
{
    // Boxes come back with the origin at the bottom: converted to pixels they must
    // sit on the line drawn near the image's lower edge.
    const QImage image = textImage(600, 300, "Секретный пароль", 28, QPoint(40, 270));
    const auto boxes = ScreenTextRecognizer::wordRegions(image, image.rect(), {});
    ASSERT_GE(boxes.size(), 2u);
    for (const QRectF& b : boxes) {
        const QRectF pixels = pixelBox(b, image.size());
        EXPECT_GT(pixels.top(), 230) << pixels.top();
        EXPECT_LT(pixels.bottom(), 285) << pixels.bottom();
        EXPECT_GT(pixels.left(), 35);
    }
    // The two words side by side, left first.
    EXPECT_LT(boxes[0].x() + boxes[0].width(), boxes[1].x());
}

TEST(WordRegions, BoxesAreNormalisedToTheRectangleAsked)
{
    const QImage image = textImage(600, 300, "Секретный пароль", 28, QPoint(40, 270));
    const auto whole = ScreenTextRecognizer::wordRegions(image, image.rect(), {});
    const QRect lower(20, 200, 500, 100);
    const auto part = ScreenTextRecognizer::wordRegions(image, lower, {});
    ASSERT_EQ(part.size(), whole.size());
    for (size_t i = 0; i < part.size(); ++i) {
        const QRectF inPart = pixelBox(part[i], lower.size()).translated(lower.topLeft());
        const QRectF inWhole = pixelBox(whole[i], image.size());
        EXPECT_NEAR(inPart.left(), inWhole.left(), 2);
        EXPECT_NEAR(inPart.top(), inWhole.top(), 2);
        EXPECT_NEAR(inPart.right(), inWhole.right(), 2);
        EXPECT_NEAR(inPart.bottom(), inWhole.bottom(), 2);
    }
    // A rectangle reaching past the image is clipped to it.
    EXPECT_EQ(ScreenTextRecognizer::wordRegions(image, QRect(20, 200, 900, 900), {}).size(), part.size());
}

TEST(WordRegions, DigitOnABadgeIsFound)
{
    QImage image(300, 120, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(245, 245, 245));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(220, 40, 40));
    p.drawEllipse(QRectF(200, 40, 26, 26));
    QFont font("DejaVu Sans");
    font.setPixelSize(16);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(200, 40, 26, 26), Qt::AlignCenter, "7");
    p.end();
    const auto boxes = ScreenTextRecognizer::wordRegions(image, image.rect(), {});
    const QPointF digit(213, 53);
    EXPECT_TRUE(std::any_of(boxes.begin(), boxes.end(), [&](const QRectF& b) {
        return pixelBox(b, image.size()).adjusted(-2, -2, 2, 2).contains(digit);
    })) << boxes.size();
}

TEST(WordRegions, EmptyAndBrokenInputGiveNoBoxesOrAClearError)
{
    EXPECT_TRUE(ScreenTextRecognizer::wordRegions(QImage(), QRect(0, 0, 10, 10), {}).empty());
    QImage one(1, 1, QImage::Format_ARGB32_Premultiplied);
    one.fill(Qt::black);
    EXPECT_TRUE(ScreenTextRecognizer::wordRegions(one, one.rect(), {}).empty());
    QImage narrow = textImage(4, 80, "I", 30, QPoint(0, 50));
    EXPECT_TRUE(ScreenTextRecognizer::wordRegions(narrow, narrow.rect(), {}).empty());
    QImage clear(300, 100, QImage::Format_ARGB32_Premultiplied);
    clear.fill(Qt::transparent);
    EXPECT_TRUE(ScreenTextRecognizer::wordRegions(clear, clear.rect(), {}).empty());
    EXPECT_TRUE(ScreenTextRecognizer::wordRegions(clear, QRect(400, 400, 50, 50), {}).empty());
    EXPECT_TRUE(ScreenTextRecognizer::wordRegions(clear, QRect(10, 10, 0, 40), {}).empty());

    QImage huge(20000, 20000, QImage::Format_Grayscale8);
    ASSERT_FALSE(huge.isNull());
    try {
        ScreenTextRecognizer::wordRegions(huge, huge.rect(), {});
        ADD_FAILURE() << "no error";
    } catch (const TarnwickError& error) {
        EXPECT_EQ(error.errorDescription().toStdString(),
            "Изображение слишком большое для распознавания текста. Выделите область поменьше.");
    }
    // Only the area asked for counts: a small part of an image too large as a whole
    // is read as usual.
    QImage large(12000, 5000, QImage::Format_Grayscale8);
    large.fill(255);
    QPainter p(&large);
    QFont font("DejaVu Sans");
    font.setPixelSize(28);
    p.setFont(font);
    p.drawText(11000, 4900, "Слово");
    p.end();
    EXPECT_THROW(ScreenTextRecognizer::wordRegions(large, large.rect(), {}), TarnwickError);
    EXPECT_EQ(ScreenTextRecognizer::wordRegions(large, QRect(10900, 4800, 400, 200), {}).size(), 1u);
}

TEST(WordRegions, StopsWhenCancelled)
{
    const QImage image = textImage(600, 200, "Первая строка текста", 28, QPoint(30, 100));
    EXPECT_THROW(ScreenTextRecognizer::wordRegions(image, image.rect(), [] { return true; }), CancellationError);

    // Cancelled while the reading runs: Tesseract asks as it goes.
    int asked = 0;
    EXPECT_THROW(ScreenTextRecognizer::wordRegions(image, image.rect(), [&] { return ++asked > 1; }), CancellationError);
    EXPECT_GT(asked, 1);

    // A test that never fires changes nothing.
    EXPECT_EQ(ScreenTextRecognizer::wordRegions(image, image.rect(), [] { return false; }).size(),
        ScreenTextRecognizer::wordRegions(image, image.rect(), {}).size());
}
