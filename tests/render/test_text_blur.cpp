#include "EffectsTestSupport.h"

#include "render/LocalEffects.h"

#include <QFont>
#include <QPainter>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

// Pixels of `a` and `b` that differ inside a band of rows.
int changedIn(const QImage& a, const QImage& b, int top, int bottom)
{
    int changed = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < a.width(); ++x)
            changed += a.pixelColor(x, y) != b.pixelColor(x, y);
    return changed;
}

} // namespace

// The real word regions behind the text mode: recogniser space has its origin at
// the bottom, the image at the top, and the blur must land on the words.
TEST(TextBlurWithRecognition, BlursTheWordsWhereTheyAre)
{
    QImage shot(600, 300, QImage::Format_ARGB32_Premultiplied);
    shot.fill(Qt::white);
    {
        QPainter painter(&shot);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(28);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(QPointF(20, 270), QStringLiteral("Привет мир"));
        painter.fillRect(QRect(20, 20, 200, 4), Qt::black); // a rule at the top: not text
    }
    const BlurEffect effect = computeLocal(blurElement(BlurMode::text, QRectF(0, 0, 600, 300)), shot, shot.size(),
                                           shot.size(), [] { return false; });
    ASSERT_EQ(effect.image.size(), shot.size());
    EXPECT_FALSE(effect.message.has_value());
    const QImage before = effectFormat(shot);
    EXPECT_GT(changedIn(before, effect.image, 230, 300), 500);
    EXPECT_EQ(changedIn(before, effect.image, 0, 150), 0);
}

TEST(TextBlurWithRecognition, NoWordsGivesTheNotice)
{
    QImage blank(200, 100, QImage::Format_ARGB32_Premultiplied);
    blank.fill(Qt::white);
    const BlurEffect effect = computeLocal(blurElement(BlurMode::text, QRectF(0, 0, 200, 100)), blank, blank.size(),
                                           blank.size(), [] { return false; });
    EXPECT_EQ(effect.message, QStringLiteral("Текст в выделении не найден"));
}

// The object modes reach the real object removal by default.
TEST(ObjectModesWiring, EraseThroughComputeLocal)
{
    QImage shot(400, 300, QImage::Format_ARGB32_Premultiplied);
    shot.fill(QColor(128, 128, 128));
    {
        QPainter painter(&shot);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(220, 30, 30));
        painter.drawEllipse(QPointF(200, 150), 30, 30);
    }
    const BlurEffect effect = computeLocal(blurElement(BlurMode::objectErase, QRectF(120, 70, 160, 160)), shot, shot.size(),
                                           shot.size(), [] { return false; });
    EXPECT_EQ(effect.message, QStringLiteral("Объект удалён. Проверьте восстановленный фон."));
    const QColor centre = effect.image.pixelColor(80, 80);
    EXPECT_NEAR(centre.red(), 128, 6);
    EXPECT_NEAR(centre.green(), 128, 6);
}
