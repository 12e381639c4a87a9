// Word regions for the text blur: the glyph scan's exact thresholds, and the three
// passes on the real Tesseract.

#include "RenderTestSupport.h"

#include "render/recognition/ScreenTextRecognizer.h"
#include "render/recognition/WordRegions.h"


using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

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

TEST(GlyphScan, CandidateNeedsAFrameOfOneColourWithinTheImage)
{
    EXPECT_EQ(candidates(asRgba(painted(60, 60, QColor(128, 128, 128), [](QPainter& p) { p.fillRect(22, 22, 6, 6, Qt::black); }))),
              std::vector<QRect>{QRect(12, 12, 26, 26)});
    // Stripes of strong contrast around a glyph: the frame has no dominant colour.
    QImage busy = asRgba(canvas(60, 60));
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x)
            if ((x / 3 + y / 3) % 2)
                busy.setPixelColor(x, y, QColor(30, 30, 200));
    EXPECT_TRUE(candidates(busy).empty());
    // Clipped to the image.
    EXPECT_EQ(candidates(asRgba(painted(30, 30, QColor(255, 255, 255), [](QPainter& p) { p.fillRect(3, 4, 4, 6, Qt::black); }))),
              std::vector<QRect>{QRect(0, 0, 17, 20)});
}

TEST(WordRegions, ALineAtTheBottomGivesWordBoxesThereAndTheTextBlurLandsOnThemNotOnARule)
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
    }
    EXPECT_LT(whole[0].x() + whole[0].width(), whole[1].x());

    // The real word regions behind the text mode: the blur must change the bottom
    // line's pixels and leave the top (with a rule that is no text) alone.
    QImage shot = textImage(600, 300, QStringLiteral("Привет мир"), 28, QPointF(20, 270));
    paint(shot, [](QPainter& p) { p.fillRect(QRect(20, 20, 200, 4), Qt::black); });
    const BlurEffect effect = computeLocal(blurElement(BlurMode::text, QRectF(0, 0, 600, 300)), shot, shot.size(), shot.size(), never);
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
}

TEST(WordRegions, DigitOnABadgeIsFoundAndEmptyOrBrokenInputGivesNoBoxesOrAClearError)
{
    QImage image = canvas(300, 120, QColor(245, 245, 245));
    paint(image, [](QPainter& p) {
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(220, 40, 40));
        p.drawEllipse(QRectF(200, 40, 26, 26));
        p.setFont(sans(16, true));
        p.setPen(Qt::white);
        p.drawText(QRectF(200, 40, 26, 26), Qt::AlignCenter, "7");
    });
    const auto boxes = ScreenTextRecognizer::wordRegions(image, image.rect(), {});
    EXPECT_TRUE(std::any_of(boxes.begin(), boxes.end(), [&](const QRectF& b) {
        return pixelBox(b, image.size()).adjusted(-2, -2, 2, 2).contains(QPointF(213, 53));
    })) << boxes.size();

    // Empty and broken input gives no boxes or a clear error.
    const QImage clear = canvas(300, 100, Qt::transparent);
    const QImage narrow = textImage(4, 80, "I", 30, QPointF(0, 50));
    for (const auto& [image, rect] : {std::pair{QImage(), QRect(0, 0, 10, 10)}, {narrow, narrow.rect()}, {clear, clear.rect()}})
        EXPECT_TRUE(ScreenTextRecognizer::wordRegions(image, rect, {}).empty()) << image.width() << " " << rect.x();

    const QString tooLarge = "Изображение слишком большое для распознавания текста. Выделите область поменьше.";
    QImage large(12000, 5000, QImage::Format_Grayscale8);
    large.fill(255);
    EXPECT_EQ(errorOf([&] { ScreenTextRecognizer::wordRegions(large, large.rect(), {}); }), tooLarge);
}
