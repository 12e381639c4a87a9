#include "render/CanvasLabel.h"
#include "render/ImageContext.h"

#include <gtest/gtest.h>

using namespace tarnwick;

TEST(CanvasLabel, MonospacedWidthScalesWithSize)
{
    const QSizeF one = CanvasLabel::size(QStringLiteral("0"), 16, false);
    const QSizeF ten = CanvasLabel::size(QStringLiteral("0123456789"), 16, false);
    ASSERT_GT(one.width(), 0);
    EXPECT_NEAR(ten.width(), 10 * one.width(), 0.01);
    // DejaVu Sans Mono advances 0.602 em per cell.
    EXPECT_NEAR(one.width(), 16 * 0.602, 0.1);
    // Fractional sizes are honoured, not rounded to whole pixels.
    const QSizeF half = CanvasLabel::size(QStringLiteral("0"), 16.5, false);
    EXPECT_NEAR(half.width() / one.width(), 16.5 / 16, 0.001);
    // Height is ascent + descent, no leading: a little more than the size.
    EXPECT_GT(one.height(), 16);
    EXPECT_LT(one.height(), 16 * 1.3);
}

TEST(CanvasLabel, BoldAndDegenerateSizes)
{
    EXPECT_GT(CanvasLabel::size(QStringLiteral("13 px"), 16, true).width(), 0);
    EXPECT_TRUE(CanvasLabel::size(QStringLiteral("x"), 0, false).isEmpty());
    EXPECT_TRUE(CanvasLabel::size(QStringLiteral("x"), std::numeric_limits<double>::quiet_NaN(), false).isEmpty());
    EXPECT_EQ(CanvasLabel::size(QString(), 16, false).width(), 0);
}

TEST(ImageContext, SoftwareRetryOnlyWhenThePrimaryFails)
{
    int calls = 0;
    auto ok = ImageContext::renderWithFallback([&](const ImageContext& c) {
        ++calls;
        EXPECT_FALSE(c.usesSoftwareRenderer());
        return QImage(2, 2, QImage::Format_RGBA8888_Premultiplied);
    });
    EXPECT_TRUE(ok.has_value());
    EXPECT_EQ(calls, 1);

    QVector<bool> software;
    auto retried = ImageContext::renderWithFallback([&](const ImageContext& c) {
        software.push_back(c.usesSoftwareRenderer());
        return c.usesSoftwareRenderer() ? QImage(1, 1, QImage::Format_RGBA8888_Premultiplied) : QImage();
    });
    EXPECT_TRUE(retried.has_value());
    EXPECT_EQ(software, (QVector<bool>{false, true}));

    EXPECT_FALSE(ImageContext::renderWithFallback([](const ImageContext&) { return QImage(); }).has_value());
}
