// Word regions for the text blur: the glyph scan's exact thresholds, and the three
// passes on the real Tesseract.

#include "RenderTestSupport.h"

#include "render/ScreenTextRecognizer.h"
#include "render/WordRegions.h"

#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

// A grey picture in the effect format, with `draw` painted on it.
QImage grey(int w, int h, int level, const std::function<void(QPainter&)>& draw = {})
{
    QImage image(w, h, QImage::Format_RGBA8888_Premultiplied);
    image.fill(QColor(level, level, level));
    if (draw)
        paint(image, draw);
    return image;
}

// Edge-marked pixels of an image, as (x, y) pairs in scan order.
std::vector<std::pair<int, int>> edges(const QImage& image)
{
    const auto mask = GlyphScan::edgeMask(GlyphScan::luminance(image), image.width(), image.height());
    std::vector<std::pair<int, int>> marked;
    if (mask.size() != static_cast<size_t>(image.width() * image.height())) {
        ADD_FAILURE() << "mask of " << mask.size() << " pixels";
        return marked;
    }
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (mask[static_cast<size_t>(y * image.width() + x)])
                marked.emplace_back(x, y);
    return marked;
}

// A box in the recogniser's space back in pixels, origin top left.
QRectF pixelBox(const QRectF& b, const QSize& size)
{
    return QRectF(b.x() * size.width(), (1.0 - (b.y() + b.height())) * size.height(), b.width() * size.width(),
                  b.height() * size.height());
}

std::vector<QRect> candidates(const QImage& image, const std::vector<QRectF>& known = {})
{
    return GlyphScan::candidateRegions(image, known);
}

} // namespace

TEST(GlyphScan, EdgeContrastOf36MarksAnd35DoesNotAndTheOuterTwoLinesStayClear)
{
    // Grey pixels have luminance equal to their level, so contrasts are exact. A pixel
    // is compared with those two steps away, not with its direct neighbours.
    using Marks = std::vector<std::pair<int, int>>;
    QImage image = grey(11, 11, 100);
    image.setPixelColor(5, 5, QColor(136, 136, 136));
    EXPECT_EQ(edges(image), (Marks{{5, 3}, {3, 5}, {5, 5}, {7, 5}, {5, 7}}));
    image.setPixelColor(5, 5, QColor(135, 135, 135));
    EXPECT_TRUE(edges(image).empty());
    image.setPixelColor(5, 5, QColor(64, 64, 64)); // darker by 36 counts the same way
    EXPECT_EQ(edges(image).size(), 5u);

    // Near the border only the partner further in is marked.
    QImage border = grey(9, 9, 200);
    border.setPixelColor(1, 4, Qt::black);
    border.setPixelColor(4, 7, Qt::black);
    EXPECT_EQ(edges(border), (Marks{{3, 4}, {4, 5}}));
    // Too small for the pass at all.
    QImage small = grey(4, 9, 0);
    small.setPixelColor(2, 4, Qt::white);
    EXPECT_TRUE(edges(small).empty());
}

TEST(GlyphScan, ComponentsAreEightConnectedInScanOrder)
{
    const int w = 8, h = 6;
    std::vector<uint8_t> mask(w * h, 0);
    for (auto [x, y] : {std::pair{5, 0}, {6, 1}, {1, 2}, {1, 3}, {2, 4}, {7, 5}}) // (6, 1) joins (5, 0) diagonally
        mask[static_cast<size_t>(y * w + x)] = 1;
    EXPECT_EQ(GlyphScan::components(mask, w, h), (std::vector<QRect>{QRect(5, 0, 2, 2), QRect(1, 2, 2, 3), QRect(7, 5, 1, 1)}));
    EXPECT_EQ(std::count(mask.begin(), mask.end(), 1), 0);
}

TEST(GlyphScan, CandidateNeedsAFrameEightyFivePercentOneColourWithinTheImage)
{
    // A 6 × 6 dark square gives a 10 × 10 edge component at (20, 20); the region is
    // (12, 12, 26, 26), whose frame has exactly 100 pixels.
    const QRect region(12, 12, 26, 26);
    auto badge = [&](int differing, int by) {
        QImage image = grey(60, 60, 128, [](QPainter& p) { p.fillRect(22, 22, 6, 6, Qt::black); });
        // Red shifts of this size leave the luminance too flat to add edges.
        for (int i = 0; i < differing; ++i)
            image.setPixelColor(region.x() + i, region.y(), QColor(128 + by, 128, 128));
        return image;
    };
    EXPECT_EQ(candidates(badge(0, 0)), std::vector<QRect>{region});
    EXPECT_EQ(candidates(badge(15, 23)), std::vector<QRect>{region});
    EXPECT_TRUE(candidates(badge(16, 23)).empty());
    EXPECT_EQ(candidates(badge(16, 22)), std::vector<QRect>{region});

    // Stripes of strong contrast around a glyph: the frame has no dominant colour.
    QImage busy = grey(60, 60, 255);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x)
            if ((x / 3 + y / 3) % 2)
                busy.setPixelColor(x, y, QColor(30, 30, 200));
    EXPECT_TRUE(candidates(busy).empty());
    // Component (1, 2, 8, 10) grown by 8 and clipped to the image.
    EXPECT_EQ(candidates(grey(30, 30, 255, [](QPainter& p) { p.fillRect(3, 4, 4, 6, Qt::black); })),
              std::vector<QRect>{QRect(0, 0, 17, 20)});
}

TEST(GlyphScan, GlyphsInsideIconsOrKnownWordsAreNotCandidates)
{
    // A 1-pixel outline of 60 × 60 gives a 64 × 64 component: an icon and a glyph at
    // once, dropped by its own icon box. One row lower it is no icon, and read as a glyph.
    EXPECT_TRUE(candidates(grey(120, 120, 255, [](QPainter& p) { p.drawRect(20, 20, 59, 59); })).empty());
    EXPECT_EQ(candidates(grey(120, 120, 255, [](QPainter& p) { p.drawRect(20, 20, 59, 58); })),
              std::vector<QRect>{QRect(10, 10, 80, 79)});

    // A small glyph inside a framed 100 × 100 square is dropped; alone it is a candidate.
    EXPECT_TRUE(candidates(grey(160, 160, 255, [](QPainter& p) {
                    p.drawRect(30, 30, 95, 95);
                    p.fillRect(75, 75, 6, 8, Qt::black);
                })).empty());
    const QImage alone = grey(160, 160, 255, [](QPainter& p) { p.fillRect(75, 75, 6, 8, Qt::black); });
    EXPECT_EQ(candidates(alone), std::vector<QRect>{QRect(65, 65, 26, 28)});

    // A recognised word box, grown by 3 pixels, hides a glyph whose centre (78, 79) it
    // covers. In the recogniser's space the image is the unit square, y upward.
    auto known = [](double left, double top, double right, double bottom) {
        return QRectF(left / 160, 1 - bottom / 160, (right - left) / 160, (bottom - top) / 160);
    };
    EXPECT_TRUE(candidates(alone, {known(60, 60, 75.5, 76.5)}).empty());
    EXPECT_EQ(candidates(alone, {known(60, 60, 75, 76)}).size(), 1u);
}

TEST(WordRegions, ALineAtTheBottomGivesWordBoxesThereNormalisedToTheRectangleAsked)
{
    // Boxes come back with the origin at the bottom: converted to pixels they must
    // sit on the line drawn near the image's lower edge, left word first.
    const QImage image = textImage(600, 300, "Секретный пароль", 28, QPointF(40, 270));
    const auto whole = ScreenTextRecognizer::wordRegions(image, image.rect(), {});
    ASSERT_GE(whole.size(), 2u);
    for (const QRectF& b : whole) {
        const QRectF pixels = pixelBox(b, image.size());
        EXPECT_GT(pixels.top(), 230);
        EXPECT_LT(pixels.bottom(), 285);
        EXPECT_GT(pixels.left(), 35);
    }
    EXPECT_LT(whole[0].x() + whole[0].width(), whole[1].x());

    // Asked for part of the image, the same boxes relative to that part.
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

TEST(WordRegions, TextBlurLandsOnTheWordsAndNotOnARule)
{
    // The real word regions behind the text mode: the blur must change the bottom
    // line's pixels and leave the top (with a rule that is no text) alone.
    QImage shot = textImage(600, 300, QStringLiteral("Привет мир"), 28, QPointF(20, 270));
    paint(shot, [](QPainter& p) { p.fillRect(QRect(20, 20, 200, 4), Qt::black); });
    const BlurEffect effect = computeLocal(blurElement(BlurMode::text, QRectF(0, 0, 600, 300)), shot, shot.size(), shot.size(), never);
    ASSERT_EQ(effect.image.size(), shot.size());
    EXPECT_FALSE(effect.message.has_value());
    const QImage before = effectFormat(shot);
    auto changedIn = [&](int top, int bottom) {
        int changed = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = 0; x < 600; ++x)
                changed += rgba(before, x, y) != rgba(effect.image, x, y);
        return changed;
    };
    EXPECT_GT(changedIn(230, 300), 500);
    EXPECT_EQ(changedIn(0, 150), 0);
    // A blank part gives the crop back with the notice.
    const BlurEffect blank = computeLocal(blurElement(BlurMode::text, QRectF(300, 0, 300, 150)), shot, shot.size(), shot.size(), never);
    EXPECT_EQ(blank.message, QStringLiteral("Текст в выделении не найден"));
}

TEST(WordRegions, DigitOnABadgeIsFound)
{
    QImage image = canvas(300, 120, QColor(245, 245, 245));
    paint(image, [](QPainter& p) {
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(220, 40, 40));
        p.drawEllipse(QRectF(200, 40, 26, 26));
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(16);
        font.setBold(true);
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QRectF(200, 40, 26, 26), Qt::AlignCenter, "7");
    });
    const auto boxes = ScreenTextRecognizer::wordRegions(image, image.rect(), {});
    EXPECT_TRUE(std::any_of(boxes.begin(), boxes.end(), [&](const QRectF& b) {
        return pixelBox(b, image.size()).adjusted(-2, -2, 2, 2).contains(QPointF(213, 53));
    })) << boxes.size();
}

TEST(WordRegions, EmptyAndBrokenInputGiveNoBoxesOrAClearError)
{
    const QImage clear = canvas(300, 100, Qt::transparent);
    const QImage narrow = textImage(4, 80, "I", 30, QPointF(0, 50));
    for (const auto& [image, rect] : {std::pair{QImage(), QRect(0, 0, 10, 10)}, {canvas(1, 1, Qt::black), QRect(0, 0, 1, 1)},
                                      {narrow, narrow.rect()}, {clear, clear.rect()}, {clear, QRect(400, 400, 50, 50)},
                                      {clear, QRect(10, 10, 0, 40)}})
        EXPECT_TRUE(ScreenTextRecognizer::wordRegions(image, rect, {}).empty()) << image.width() << " " << rect.x();

    const QString tooLarge = "Изображение слишком большое для распознавания текста. Выделите область поменьше.";
    QImage huge(20000, 20000, QImage::Format_Grayscale8);
    ASSERT_FALSE(huge.isNull());
    EXPECT_EQ(errorOf([&] { ScreenTextRecognizer::wordRegions(huge, huge.rect(), {}); }), tooLarge);
    // Only the area asked for counts: a small part of an image too large as a whole is read as usual.
    QImage large(12000, 5000, QImage::Format_Grayscale8);
    large.fill(255);
    paint(large, [](QPainter& p) {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(28);
        p.setFont(font);
        p.drawText(11000, 4900, "Слово");
    });
    EXPECT_EQ(errorOf([&] { ScreenTextRecognizer::wordRegions(large, large.rect(), {}); }), tooLarge);
    EXPECT_EQ(ScreenTextRecognizer::wordRegions(large, QRect(10900, 4800, 400, 200), {}).size(), 1u);
}

TEST(WordRegions, StopsWhenCancelled)
{
    const QImage image = textImage(600, 200, "Первая строка текста", 28, QPointF(30, 100));
    EXPECT_THROW(ScreenTextRecognizer::wordRegions(image, image.rect(), [] { return true; }), CancellationError);
    // Cancelled while the reading runs: Tesseract asks as it goes.
    int asked = 0;
    EXPECT_THROW(ScreenTextRecognizer::wordRegions(image, image.rect(), [&] { return ++asked > 1; }), CancellationError);
    EXPECT_GT(asked, 1);
    // A test that never fires changes nothing.
    EXPECT_EQ(ScreenTextRecognizer::wordRegions(image, image.rect(), never).size(),
              ScreenTextRecognizer::wordRegions(image, image.rect(), {}).size());
}
