// Exemplar inpainting: every filled pixel is a copy of an unblocked one.

#include "RenderTestSupport.h"

#include "render/Inpainting.h"
#include "render/ObjectRemoval.h"

#include <gtest/gtest.h>

#include <set>

using namespace tarnwick;
using namespace tarnwick::testing;
using Pixels = ObjectRemoval::Pixels;

namespace {

uint32_t pixelAt(const Pixels& p, int x, int y)
{
    uint32_t value;
    std::memcpy(&value, p.bytes.data() + 4 * (static_cast<size_t>(y) * static_cast<size_t>(p.width) + static_cast<size_t>(x)), 4);
    return value;
}

// Random premultiplied pixels: every colour byte at most its alpha.
Pixels randomPixels(int width, int height, unsigned seed)
{
    std::mt19937 random(seed);
    Pixels p(width, height, std::vector<uint8_t>(4 * static_cast<size_t>(width) * static_cast<size_t>(height)));
    for (size_t i = 0; i < p.bytes.size(); i += 4) {
        const int alpha = std::uniform_int_distribution<int>(1, 255)(random);
        for (size_t c = 0; c < 3; ++c)
            p.bytes[i + c] = static_cast<uint8_t>(std::uniform_int_distribution<int>(0, alpha)(random));
        p.bytes[i + 3] = static_cast<uint8_t>(alpha);
    }
    return p;
}

// Marks the pixels of a w × h mask where `inside(x, y)` holds.
std::vector<bool> maskWhere(int w, int h, const std::function<bool(int, int)>& inside)
{
    std::vector<bool> mask(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            mask[static_cast<size_t>(y * w + x)] = inside(x, y);
    return mask;
}

} // namespace

TEST(Inpainting, EveryFilledPixelIsACopyOfAnUnblockedPixelAndRunsRepeat)
{
    const int w = 120, h = 90;
    const Pixels input = randomPixels(w, h, 1);
    const Pixels before = input;
    // A disc hole, a hole on the border too, and an excluded area and band that are neither source nor changed.
    const std::vector<bool> mask = maskWhere(w, h, [](int x, int y) {
        return std::hypot(x + 0.5 - 60, y + 0.5 - 45) <= 14 || (y < 6 && x < 10);
    });
    const std::vector<bool> excluded = maskWhere(w, h, [](int x, int y) {
        return (x >= 40 && x < 80 && y >= 25 && y < 65) || y == 80;
    });
    const Pixels out = ObjectRemoval::inpaint(input, mask, excluded, never);
    EXPECT_EQ(input.bytes, before.bytes);
    ASSERT_EQ(QSize(out.width, out.height), QSize(w, h));

    std::set<uint32_t> sources;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (!mask[static_cast<size_t>(y * w + x)] && !excluded[static_cast<size_t>(y * w + x)])
                sources.insert(pixelAt(input, x, y));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (mask[static_cast<size_t>(y * w + x)])
                ASSERT_TRUE(sources.count(pixelAt(out, x, y))) << x << "," << y;
            else
                ASSERT_EQ(pixelAt(out, x, y), pixelAt(input, x, y)) << x << "," << y;
        }
    // The same input gives the same bytes.
    EXPECT_EQ(ObjectRemoval::inpaint(input, mask, excluded, never).bytes, out.bytes);
}

TEST(Inpainting, ContinuesAStripePatternAndRestoresAnExactTwin)
{
    // Vertical stripes, four black and four white columns: the filled columns stay black or white.
    const int w = 200, h = 150;
    Pixels stripes(w, h, std::vector<uint8_t>(4 * static_cast<size_t>(w) * static_cast<size_t>(h), 255));
    for (size_t i = 0; i < stripes.bytes.size(); i += 4)
        if ((i / 4 % w) / 4 % 2 == 0)
            std::fill_n(stripes.bytes.begin() + static_cast<std::ptrdiff_t>(i), 3, 0);
    const std::vector<bool> hole = ObjectRemoval::rectangleMask(QRectF(70, 50, 60, 40), w, h);
    EXPECT_EQ(ObjectRemoval::inpaint(stripes, hole, hole, never).bytes, stripes.bytes);

    // A 9 × 9 region repeated elsewhere: the best patch for the hole is its twin.
    Pixels input = randomPixels(22, 60, 4);
    for (int dy = -4; dy <= 4; ++dy)
        for (int dx = -4; dx <= 4; ++dx)
            std::memcpy(input.bytes.data() + 4 * static_cast<size_t>((45 + dy) * 22 + 15 + dx),
                        input.bytes.data() + 4 * static_cast<size_t>((10 + dy) * 22 + 5 + dx), 4);
    const std::vector<bool> small = ObjectRemoval::rectangleMask(QRectF(14, 44, 3, 3), 22, 60);
    EXPECT_EQ(ObjectRemoval::inpaint(input, small, small, never).bytes, input.bytes);
}

TEST(Inpainting, SizesFollowTheShorterSideAndTheArea)
{
    for (auto [w, h, block, stride] : {std::tuple{20, 300, 1, 2}, {512, 300, 4, 13}, {11, 11, 1, 1}, {23, 400, 1, 3},
                                       {24, 400, 2, 3}, {36, 36, 3, 1}, {48, 48, 4, 1}, {512, 512, 4, 17}}) {
        const inpainting::Scale s = inpainting::scale(w, h);
        EXPECT_EQ(s.block, block) << w << "x" << h;
        EXPECT_EQ(s.patch, 2 * block) << w << "x" << h;
        EXPECT_EQ(s.stride, stride) << w << "x" << h;
    }
}

TEST(Inpainting, RefusesWithoutACleanPatchOrWithBadMasks)
{
    // Blocked lines every 16 pixels leave clean squares of 15: too small for the
    // 17-pixel patches of a 512 × 300 image, enough for the 13-pixel ones of 40 × 40.
    const auto grid = [](int w, int h) { return maskWhere(w, h, [](int x, int y) { return x % 16 == 0 || y % 16 == 0; }); };
    const Pixels large = randomPixels(512, 300, 2);
    const std::vector<bool> mask = ObjectRemoval::rectangleMask(QRectF(200, 100, 20, 20), 512, 300);
    EXPECT_EQ(errorOf([&] { ObjectRemoval::inpaint(large, mask, grid(512, 300), never); }),
              QString("Недостаточно фона вокруг объекта. Выделите область поменьше."));
    EXPECT_NO_THROW(ObjectRemoval::inpaint(randomPixels(40, 40, 3), ObjectRemoval::rectangleMask(QRectF(18, 18, 4, 4), 40, 40),
                                           grid(40, 40), never));
    // Nothing to fill needs no source.
    EXPECT_EQ(ObjectRemoval::inpaint(large, std::vector<bool>(512 * 300, false), std::vector<bool>(512 * 300, true), never).bytes,
              large.bytes);

    const QString badMask = "Не удалось подготовить контур объекта.";
    EXPECT_EQ(errorOf([&] { ObjectRemoval::inpaint(large, std::vector<bool>(10), std::vector<bool>(10), never); }), badMask);
    EXPECT_EQ(errorOf([&] { ObjectRemoval::inpaint(large, mask, std::vector<bool>(5), never); }), badMask);
}
