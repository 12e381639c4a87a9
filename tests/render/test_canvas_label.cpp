#include "render/CanvasLabel.h"
#include "render/ImageContext.h"

#include <gtest/gtest.h>

using namespace tarnwick;

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
    EXPECT_TRUE(CanvasLabel::size(QStringLiteral("x"), std::numeric_limits<double>::quiet_NaN(), false).isEmpty());
    EXPECT_EQ(CanvasLabel::size(QString(), 16, false).width(), 0);
}

TEST(ImageContext, SoftwareRetryOnlyWhenThePrimaryFails)
{
    QVector<bool> software;
    auto renderer = [&](bool primaryWorks) {
        software.clear();
        return ImageContext::renderWithFallback([&, primaryWorks](const ImageContext& c) {
            software.push_back(c.usesSoftwareRenderer());
            return c.usesSoftwareRenderer() || primaryWorks ? QImage(1, 1, QImage::Format_RGBA8888_Premultiplied) : QImage();
        });
    };
    EXPECT_TRUE(renderer(true).has_value());
    EXPECT_EQ(software, QVector<bool>{false});
    EXPECT_TRUE(renderer(false).has_value());
    EXPECT_EQ(software, (QVector<bool>{false, true}));
    EXPECT_FALSE(ImageContext::renderWithFallback([](const ImageContext&) { return QImage(); }).has_value());
}
