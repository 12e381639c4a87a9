#include "render/Inpainting.h"
#include "render/ObjectRemoval.h"
#include "series/TarnwickError.h"

#include "ObjectScenes.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include "support/Errors.h"

using namespace tarnwick;
using tarnwick::test::errorOf;
using Pixels = ObjectRemoval::Pixels;

namespace {

const std::function<bool()> never = [] { return false; };

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
        for (int c = 0; c < 3; ++c)
            p.bytes[i + static_cast<size_t>(c)] = static_cast<uint8_t>(std::uniform_int_distribution<int>(0, alpha)(random));
        p.bytes[i + 3] = static_cast<uint8_t>(alpha);
    }
    return p;
}

std::vector<bool> discMask(int width, int height, double cx, double cy, double r)
{
    std::vector<bool> mask(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            mask[static_cast<size_t>(y * width + x)] = std::hypot(x + 0.5 - cx, y + 0.5 - cy) <= r;
    return mask;
}

// Vertical stripes, four black and four white columns.
Pixels stripes(int width, int height)
{
    Pixels p(width, height, std::vector<uint8_t>(4 * static_cast<size_t>(width) * static_cast<size_t>(height)));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint8_t v = (x / 4) % 2 ? 255 : 0;
            uint8_t* at = p.bytes.data() + 4 * static_cast<size_t>(y * width + x);
            at[0] = at[1] = at[2] = v;
            at[3] = 255;
        }
    return p;
}

} // namespace

TEST(Inpainting, EveryFilledPixelIsACopyOfAnUnblockedPixel)
{
    const int w = 120, h = 90;
    const Pixels input = randomPixels(w, h, 1);
    const Pixels before = input;
    // A hole on the border too, and an excluded band that is neither source nor changed.
    std::vector<bool> mask = discMask(w, h, 60, 45, 14);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 10; ++x)
            mask[static_cast<size_t>(y * w + x)] = true;
    std::vector<bool> excluded = ObjectRemoval::rectangleMask(QRectF(40, 25, 40, 40), w, h);
    for (int x = 0; x < w; ++x)
        excluded[static_cast<size_t>(80 * w + x)] = true;

    const Pixels out = ObjectRemoval::inpaint(input, mask, excluded, never);
    EXPECT_EQ(input.bytes, before.bytes);
    ASSERT_EQ(out.width, w);
    ASSERT_EQ(out.height, h);

    std::set<uint32_t> sources;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (!mask[static_cast<size_t>(y * w + x)] && !excluded[static_cast<size_t>(y * w + x)])
                sources.insert(pixelAt(input, x, y));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (mask[static_cast<size_t>(y * w + x)]) {
                ASSERT_TRUE(sources.count(pixelAt(out, x, y))) << x << "," << y;
            } else {
                ASSERT_EQ(pixelAt(out, x, y), pixelAt(input, x, y)) << x << "," << y;
            }
        }

    // The same input gives the same bytes.
    EXPECT_EQ(ObjectRemoval::inpaint(input, mask, excluded, never).bytes, out.bytes);
}

TEST(Inpainting, ContinuesAStripePattern)
{
    const int w = 200, h = 150;
    const Pixels input = stripes(w, h);
    const QRectF hole(70, 50, 60, 40);
    const std::vector<bool> mask = ObjectRemoval::rectangleMask(hole, w, h);
    const Pixels out = ObjectRemoval::inpaint(input, mask, mask, never);

    int wrong = 0;
    for (int y = 50; y < 90; ++y)
        for (int x = 70; x < 130; ++x)
            wrong += pixelAt(out, x, y) != pixelAt(input, x, y) ? 1 : 0;
    EXPECT_EQ(wrong, 0);
}

TEST(Inpainting, SizesFollowTheShorterSideAndTheArea)
{
    const auto check = [](int w, int h, int block, int stride) {
        const inpainting::Scale s = inpainting::scale(w, h);
        EXPECT_EQ(s.block, block) << w << "x" << h;
        EXPECT_EQ(s.patch, 2 * block) << w << "x" << h;
        EXPECT_EQ(s.stride, stride) << w << "x" << h;
    };
    check(20, 300, 1, 2);
    check(512, 300, 4, 13);
    check(11, 11, 1, 1);
    check(23, 400, 1, 3);
    check(24, 400, 2, 3);
    check(36, 36, 3, 1);
    check(48, 48, 4, 1);
    check(512, 512, 4, 17);
}

TEST(Inpainting, RefusesWithoutACleanPatchOrWithBadMasks)
{
    // Blocked lines every 16 pixels leave clean squares of 15: too small for the
    // 17-pixel patches of a 512 × 300 image, enough for the 13-pixel ones of 40 × 40.
    const auto grid = [](int w, int h) {
        std::vector<bool> excluded(static_cast<size_t>(w) * static_cast<size_t>(h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                excluded[static_cast<size_t>(y * w + x)] = x % 16 == 0 || y % 16 == 0;
        return excluded;
    };
    const Pixels large = randomPixels(512, 300, 2);
    std::vector<bool> mask = ObjectRemoval::rectangleMask(QRectF(200, 100, 20, 20), 512, 300);
    EXPECT_EQ(errorOf([&] { ObjectRemoval::inpaint(large, mask, grid(512, 300), never); }),
              QString("Недостаточно фона вокруг объекта. Выделите область поменьше."));

    const Pixels small = randomPixels(40, 40, 3);
    EXPECT_NO_THROW(ObjectRemoval::inpaint(small, ObjectRemoval::rectangleMask(QRectF(18, 18, 4, 4), 40, 40), grid(40, 40), never));

    // Nothing to fill needs no source.
    const std::vector<bool> none(512 * 300, false), all(512 * 300, true);
    EXPECT_EQ(ObjectRemoval::inpaint(large, none, all, never).bytes, large.bytes);

    const QString badMask = "Не удалось подготовить контур объекта.";
    EXPECT_EQ(errorOf([&] { ObjectRemoval::inpaint(large, std::vector<bool>(10), std::vector<bool>(10), never); }), badMask);
    EXPECT_EQ(errorOf([&] { ObjectRemoval::inpaint(large, mask, std::vector<bool>(5), never); }), badMask);
}

TEST(Inpainting, AnExactMatchElsewhereRestoresTheHole)
{
    // A 9 × 9 region repeated elsewhere: the best patch for the hole is its twin.
    const int w = 22, h = 60;
    Pixels input = randomPixels(w, h, 4);
    for (int dy = -4; dy <= 4; ++dy)
        for (int dx = -4; dx <= 4; ++dx)
            std::memcpy(input.bytes.data() + 4 * static_cast<size_t>((45 + dy) * w + 15 + dx),
                        input.bytes.data() + 4 * static_cast<size_t>((10 + dy) * w + 5 + dx), 4);
    const std::vector<bool> hole = ObjectRemoval::rectangleMask(QRectF(14, 44, 3, 3), w, h);
    const Pixels out = ObjectRemoval::inpaint(input, hole, hole, never);
    EXPECT_EQ(out.bytes, input.bytes);
}
