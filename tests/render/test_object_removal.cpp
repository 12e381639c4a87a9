// Object erase and object pixelation on synthetic scenes, the foreground segmenter and
// the exemplar inpainting behind them, and cancellation.

#include "RenderTestSupport.h"

#include "render/effects/ForegroundSegmenter.h"
#include "render/effects/Inpainting.h"
#include "render/effects/ObjectRemoval.h"


#include <set>

using namespace tarnwick;
using namespace tarnwick::testing;
using Pixels = ObjectRemoval::Pixels;

namespace {

const QColor grey(128, 128, 128);
const QString removed = "Объект удалён. Проверьте восстановленный фон.";
const QString wholeSelection = "Контур не найден — восстановлена вся выделенная область.";
const QString pixelatedObject = "Пиксели применены к объекту. Проверьте его границы.";

// A red disc (or a textured one) on a flat grey background.
struct DiscScene {
    QPointF centre;
    double radius;
    QImage image;

    explicit DiscScene(int width = 400, int height = 300, QPointF at = {200, 150}, double r = 20, bool textured = false)
        : centre(at), radius(r), image(canvas(width, height, grey))
    {
        if (textured)
            texturedEllipse(image, QRectF(at.x() - r, at.y() - r, 2 * r, 2 * r), 3);
        else
            disc(image, centre, radius, QColor(220, 30, 30));
    }

    // Pixels of the effect (placed at its rect) up to `within` outside the disc edge that
    // fail `inside`, and those beyond `margin` that differ from the source.
    std::pair<int, int> wrong(const BlurEffect& effect, double margin, const std::function<bool(uint32_t)>& inside,
                              double within = 1) const
    {
        const QImage before = asRgba(image), after = asRgba(effect.image);
        const QPoint origin = effect.rect.topLeft().toPoint();
        int wrongInside = 0, changedOutside = 0;
        for (int y = 0; y < after.height(); ++y)
            for (int x = 0; x < after.width(); ++x) {
                const double d = QLineF(QPointF(origin.x() + x + 0.5, origin.y() + y + 0.5), centre).length() - radius;
                const uint32_t value = rgba(after, x, y);
                if (d > margin)
                    changedOutside += value != rgba(before, origin.x() + x, origin.y() + y);
                else if (d <= within)
                    wrongInside += inside && !inside(value);
            }
        return {wrongInside, changedOutside};
    }
};

bool isGrey(uint32_t value) { return value == rgba(asRgba(canvas(1, 1, grey)), 0, 0); }

} // namespace

TEST(ObjectErase, FillsTheDiscWithBackgroundLeavesTheRestAndRefusesSelectionsWithoutBackgroundAround)
{
    const DiscScene scene;
    const BlurEffect effect = ObjectRemoval::remove(scene.image, QRectF(150.3, 99.6, 99.4, 100.2), never);
    EXPECT_EQ(effect.rect, QRectF(150, 99, 100, 101)); // made integral
    EXPECT_EQ(effect.message, removed);
    EXPECT_EQ(scene.wrong(effect, 3, isGrey), (std::pair{0, 0}));

    const QString keep = "Оставьте вокруг объекта видимый фон для восстановления.";
    for (const QRectF& selection : {QRectF(0, 0, 400, 300), QRectF(500, 500, 20, 20), QRectF(qQNaN(), 10, 20, 20)})
        EXPECT_EQ(errorOf([&] { ObjectRemoval::remove(scene.image, selection, never); }), keep) << selection.x();
    EXPECT_EQ(errorOf([&] { ObjectRemoval::remove(QImage(), QRectF(10, 10, 20, 20), never); }), keep);
}

TEST(ObjectErase, ASelectionThatCutsTheObjectOrHoldsNoneFillsTheWholeSelection)
{
    const DiscScene scene;
    // The disc spans x 180...220; the selection ends at 205, so well under 85 % of it lies inside.
    const QRectF selection(150, 100, 55, 100);
    const BlurEffect effect = ObjectRemoval::remove(scene.image, selection, never);
    EXPECT_EQ(effect.message, wholeSelection);
    // Rebuilt from the scene around it: every pixel is a colour found outside the selection.
    const QImage source = asRgba(scene.image), after = asRgba(effect.image);
    std::set<uint32_t> outside;
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x)
            if (!selection.contains(QPointF(x + 0.5, y + 0.5)))
                outside.insert(rgba(source, x, y));
    int foreign = 0;
    for (int y = 0; y < after.height(); ++y)
        for (int x = 0; x < after.width(); ++x)
            foreign += outside.count(rgba(after, x, y)) ? 0 : 1;
    EXPECT_EQ(foreign, 0);
    EXPECT_NE(after, source.copy(150, 100, 55, 100));

    // Nothing in the selection: all of it is rebuilt.
    EXPECT_EQ(ObjectRemoval::remove(scene.image, QRectF(20, 20, 40, 30), never).message, wholeSelection);
}

TEST(ObjectPixelate, OnlyTheObjectBecomesSquares)
{
    const DiscScene scene(400, 300, {200, 150}, 30, true);
    const BlurEffect effect = ObjectRemoval::pixelate(scene.image, QRectF(140, 90, 120, 120), 10, never);
    EXPECT_EQ(effect.message, pixelatedObject);
    // The mask grows by a 5 × 5 square around the soft outline: up to four pixels on a diagonal.
    EXPECT_EQ(scene.wrong(effect, 4.5, {}).second, 0);

    // 80 % of the object inside: object erase treats the whole selection, pixelation the object.
    const QRectF partly(130, 80, 84, 140);
    EXPECT_EQ(ObjectRemoval::remove(scene.image, partly, never).message, wholeSelection);
    // Nothing to find: every pixel of the selection is pixelated.
    EXPECT_EQ(ObjectRemoval::pixelate(scene.image, QRectF(10, 10, 50, 40), 10, never).message,
              QString("Контур не найден — пиксели применены ко всему выделению."));
}

TEST(ForegroundSegmenter, SeparateObjectsAreSeparateInstancesWithSoftMasksAndFlatPicturesHoldNone)
{
    QImage image = canvas(320, 200, QColor(250, 250, 250));
    disc(image, {80, 100}, 30, QColor(200, 40, 40));
    texturedEllipse(image, QRectF(190, 60, 90, 80), 5);
    const auto observation = ForegroundSegmenter::standard().perform(image);
    ASSERT_TRUE(observation);
    ASSERT_EQ(observation->allInstances(), (std::vector<int>{1, 2}));
    const auto label = [&](int x, int y) { return observation->instanceMask()[static_cast<size_t>(y * 320 + x)]; };
    EXPECT_EQ(label(235, 100), 1); // raster order: the ellipse's top row comes first
    EXPECT_EQ(label(80, 100), 2);

    // The disc alone, at twice the size: 1 inside, 0 far away and on the other object.
    const SoftMask mask = observation->scaledMask({2}, QSize(640, 400));
    ASSERT_EQ(mask.values.size(), 640u * 400u);
    EXPECT_FLOAT_EQ(mask.at(160, 200), 1.0f);
    EXPECT_FLOAT_EQ(mask.at(470, 200), 0.0f);

    // A flat picture holds nothing.
    EXPECT_FALSE(ForegroundSegmenter::standard().perform(canvas(300, 200, QColor(90, 90, 200))));
    EXPECT_THROW(ForegroundSegmenter::standard().perform(QImage()), TarnwickError);
}

namespace {

uint32_t pixelAt(const Pixels& p, int x, int y)
{
    return qFromUnaligned<uint32_t>(p.bytes.data() + 4 * (static_cast<size_t>(y) * static_cast<size_t>(p.width) + static_cast<size_t>(x)));
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

TEST(Inpainting, EveryFilledPixelIsACopyOfAnUnblockedPixelAndWithoutACleanPatchOrWithBadMasksItRefuses)
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

    // Blocked lines every 16 pixels leave clean squares of 15: too small for the
    // 17-pixel patches of a 512 × 300 image, enough for the 13-pixel ones of 40 × 40.
    const auto grid = [](int w, int h) { return maskWhere(w, h, [](int x, int y) { return x % 16 == 0 || y % 16 == 0; }); };
    const Pixels large = randomPixels(512, 300, 2);
    const std::vector<bool> square = ObjectRemoval::rectangleMask(QRectF(200, 100, 20, 20), 512, 300);
    EXPECT_EQ(errorOf([&] { ObjectRemoval::inpaint(large, square, grid(512, 300), never); }),
              QString("Недостаточно фона вокруг объекта. Выделите область поменьше."));
    EXPECT_NO_THROW(ObjectRemoval::inpaint(randomPixels(40, 40, 3), ObjectRemoval::rectangleMask(QRectF(18, 18, 4, 4), 40, 40),
                                           grid(40, 40), never));
    const QString badMask = "Не удалось подготовить контур объекта.";
    EXPECT_EQ(errorOf([&] { ObjectRemoval::inpaint(large, square, std::vector<bool>(5), never); }), badMask);
}

TEST(Cancellation, ObjectWorkStopsAtAPollAndTouchesNothing)
{
    const DiscScene scene;
    const QImage copy = scene.image.copy();
    const std::function<void(const CancellationTest&)> runs[] = {
        [&](const CancellationTest& t) { ObjectRemoval::remove(scene.image, QRectF(150, 100, 100, 100), t); },
        [&](const CancellationTest& t) { ObjectRemoval::pixelate(scene.image, QRectF(150, 100, 100, 80), 8, t); },
    };
    for (const auto& run : runs) {
        int calls = 0;
        EXPECT_THROW(run([&] { return ++calls >= 2; }), CancellationError);
        EXPECT_EQ(calls, 2);
    }
    EXPECT_EQ(scene.image, copy);
}
