#include "render/ForegroundSegmenter.h"
#include "series/TarnwickError.h"

#include "ObjectScenes.h"

#include <gtest/gtest.h>

using namespace tarnwick;

TEST(ForegroundSegmenter, SeparateObjectsAreSeparateInstancesWithSoftMasks)
{
    QImage image = scenes::flat(320, 200, QColor(250, 250, 250));
    scenes::disc(image, {80, 100}, 30, QColor(200, 40, 40));
    scenes::texturedEllipse(image, QRectF(190, 60, 90, 80), 5);

    const auto observation = ForegroundSegmenter::standard().perform(image);
    ASSERT_TRUE(observation);
    ASSERT_EQ(observation->allInstances(), (std::vector<int>{1, 2}));
    const QSize size = observation->maskSize();
    ASSERT_EQ(size, image.size());
    const auto label = [&](int x, int y) { return observation->instanceMask()[static_cast<size_t>(y * size.width() + x)]; };
    EXPECT_EQ(label(0, 0), 0);
    EXPECT_EQ(label(235, 100), 1); // raster order: the ellipse's top row comes first
    EXPECT_EQ(label(80, 100), 2);

    // The disc alone, at twice the size: 1 inside, 0 far away, a ramp in between.
    const SoftMask disc = observation->scaledMask({2}, QSize(640, 400));
    ASSERT_EQ(disc.width, 640);
    ASSERT_EQ(disc.values.size(), 640u * 400u);
    EXPECT_FLOAT_EQ(disc.at(160, 200), 1.0f);
    EXPECT_FLOAT_EQ(disc.at(470, 200), 0.0f);
    EXPECT_FLOAT_EQ(disc.at(10, 10), 0.0f);
    int ramp = 0;
    for (int x = 160; x < 320; ++x)
        ramp += disc.at(x, 200) > 0.0f && disc.at(x, 200) < 1.0f ? 1 : 0;
    EXPECT_GE(ramp, 2);
    EXPECT_LE(ramp, 8);
}

TEST(ForegroundSegmenter, BigImagesAreSegmentedSmallFlatOnesHoldNothing)
{
    QImage big = scenes::flat(3200, 1800, QColor(30, 30, 30));
    scenes::disc(big, {1600, 900}, 400, QColor(240, 200, 20));
    const auto observation = ForegroundSegmenter::standard().perform(big);
    ASSERT_TRUE(observation);
    EXPECT_LE(std::max(observation->maskSize().width(), observation->maskSize().height()), 640);
    EXPECT_EQ(observation->allInstances().size(), 1u);

    EXPECT_FALSE(ForegroundSegmenter::standard().perform(scenes::flat(300, 200, QColor(90, 90, 200))));
    // A faint gradient of a flat-looking background is still background.
    QImage gradient(300, 200, QImage::Format_RGB32);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 300; ++x)
            gradient.setPixel(x, y, qRgb(200 + x / 60, 200 + x / 60, 210));
    EXPECT_FALSE(ForegroundSegmenter::standard().perform(gradient));

    EXPECT_THROW(ForegroundSegmenter::standard().perform(QImage()), TarnwickError);
}
