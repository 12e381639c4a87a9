#include "render/ObjectRemoval.h"
#include "series/TarnwickError.h"

#include "ObjectScenes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include "support/Errors.h"

using namespace tarnwick;
using tarnwick::test::errorOf;

namespace {

const QColor grey(128, 128, 128);
const QColor red(220, 30, 30);

const std::function<bool()> never = [] { return false; };

// A red disc on a flat grey background.
struct DiscScene {
    QPointF centre{200, 150};
    double radius = 20;
    QImage image;

    explicit DiscScene(int width = 400, int height = 300, QPointF at = {200, 150}, double r = 20)
        : centre(at), radius(r), image(scenes::flat(width, height, grey))
    {
        scenes::disc(image, centre, radius, red);
    }
};

// Pixels of `effect` (placed at its rect) more than `margin` pixels away from the
// disc that differ from the source.
int changedAwayFromDisc(const DiscScene& scene, const BlurEffect& effect, double margin)
{
    const QImage before = scenes::asRgba(scene.image);
    const QImage after = scenes::asRgba(effect.image);
    const QPoint origin = effect.rect.topLeft().toPoint();
    int changed = 0;
    for (int y = 0; y < after.height(); ++y)
        for (int x = 0; x < after.width(); ++x) {
            const QPointF centre(origin.x() + x + 0.5, origin.y() + y + 0.5);
            if (scenes::distanceTo(centre, scene.centre) - scene.radius <= margin)
                continue;
            if (scenes::rgba(after, x, y) != scenes::rgba(before, origin.x() + x, origin.y() + y))
                ++changed;
        }
    return changed;
}

} // namespace

TEST(ObjectErase, FillsTheDiscWithBackgroundAndLeavesTheRestOfTheSelection)
{
    const DiscScene scene;
    const QRectF selection(150.3, 99.6, 99.4, 100.2); // made integral: 150, 99, 100, 101
    const BlurEffect effect = ObjectRemoval::remove(scene.image, selection, never);

    EXPECT_EQ(effect.rect, QRectF(150, 99, 100, 101));
    ASSERT_EQ(effect.image.size(), QSize(100, 101));
    EXPECT_EQ(effect.image.format(), QImage::Format_RGBA8888_Premultiplied);
    EXPECT_EQ(effect.message, QString("Объект удалён. Проверьте восстановленный фон."));

    const QImage after = scenes::asRgba(effect.image);
    const uint32_t background = scenes::rgba(grey);
    for (int y = 0; y < after.height(); ++y)
        for (int x = 0; x < after.width(); ++x) {
            const QPointF centre(150 + x + 0.5, 99 + y + 0.5);
            if (scenes::distanceTo(centre, scene.centre) <= scene.radius + 1) {
                ASSERT_EQ(scenes::rgba(after, x, y), background) << x << "," << y;
            }
        }
    EXPECT_EQ(changedAwayFromDisc(scene, effect, 3), 0);
}

TEST(ObjectErase, LargeScenesAreWorkedSmallAndOnlyTheObjectIsResampled)
{
    // A 700-pixel selection gets a scene of about 1800 pixels, worked at 512.
    const DiscScene scene(3000, 2000, {1500, 1000}, 90);
    const BlurEffect effect = ObjectRemoval::remove(scene.image, QRectF(1150, 850, 700, 300), never);
    EXPECT_EQ(effect.message, QString("Объект удалён. Проверьте восстановленный фон."));

    const QImage after = scenes::asRgba(effect.image);
    const uint32_t background = scenes::rgba(grey);
    int notGrey = 0;
    for (int y = 0; y < after.height(); ++y)
        for (int x = 0; x < after.width(); ++x)
            if (scenes::distanceTo(QPointF(1150 + x + 0.5, 850 + y + 0.5), scene.centre) <= scene.radius + 2
                && scenes::rgba(after, x, y) != background)
                ++notGrey;
    EXPECT_EQ(notGrey, 0);
    // Two working pixels of dilation are about seven full pixels here.
    EXPECT_EQ(changedAwayFromDisc(scene, effect, 12), 0);
}

TEST(ObjectErase, ASelectionThatCutsTheObjectFillsTheWholeSelection)
{
    const DiscScene scene;
    // The disc spans x 180...220; the selection ends at 205, so well under 85 % of it lies inside.
    const QRectF selection(150, 100, 55, 100);
    const BlurEffect effect = ObjectRemoval::remove(scene.image, selection, never);
    EXPECT_EQ(effect.rect, selection);
    EXPECT_EQ(effect.message, QString("Контур не найден — восстановлена вся выделенная область."));

    // Rebuilt from the scene around it: every pixel is a colour found outside the selection.
    const QImage source = scenes::asRgba(scene.image);
    std::set<uint32_t> outside;
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x)
            if (!selection.contains(QPointF(x + 0.5, y + 0.5)))
                outside.insert(scenes::rgba(source, x, y));
    const QImage after = scenes::asRgba(effect.image);
    int foreign = 0, changed = 0;
    for (int y = 0; y < after.height(); ++y)
        for (int x = 0; x < after.width(); ++x) {
            foreign += outside.count(scenes::rgba(after, x, y)) ? 0 : 1;
            changed += scenes::rgba(after, x, y) != scenes::rgba(source, 150 + x, 100 + y) ? 1 : 0;
        }
    EXPECT_EQ(foreign, 0);
    EXPECT_GT(changed, 100);
}

TEST(ObjectErase, AnEmptySelectionFillsItAllAndRefusals)
{
    const DiscScene scene;
    const BlurEffect plain = ObjectRemoval::remove(scene.image, QRectF(20, 20, 40, 30), never);
    EXPECT_EQ(plain.message, QString("Контур не найден — восстановлена вся выделенная область."));
    EXPECT_EQ(plain.image.size(), QSize(40, 30));

    const QString keep = "Оставьте вокруг объекта видимый фон для восстановления.";
    EXPECT_EQ(errorOf([&] { ObjectRemoval::remove(scene.image, QRectF(0, 0, 400, 300), never); }), keep);
    EXPECT_EQ(errorOf([&] { ObjectRemoval::remove(scene.image, QRectF(-50, -50, 600, 500), never); }), keep);
    EXPECT_EQ(errorOf([&] { ObjectRemoval::remove(scene.image, QRectF(500, 500, 20, 20), never); }), keep);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(errorOf([&] { ObjectRemoval::remove(scene.image, QRectF(nan, 10, 20, 20), never); }), keep);
    EXPECT_EQ(errorOf([&] { ObjectRemoval::pixelate(scene.image, QRectF(10, 10, inf, 20), 8, never); }), keep);
    EXPECT_EQ(errorOf([&] { ObjectRemoval::remove(QImage(), QRectF(10, 10, 20, 20), never); }), keep);
}

TEST(ObjectPixelate, OnlyTheObjectBecomesSquares)
{
    QImage image = scenes::flat(400, 300, grey);
    scenes::texturedEllipse(image, QRectF(170, 120, 60, 60), 3);
    DiscScene scene; // the object's outline for the distance test
    scene.image = image;
    scene.radius = 30;

    const BlurEffect effect = ObjectRemoval::pixelate(image, QRectF(140, 90, 120, 120), 10, never);
    EXPECT_EQ(effect.rect, QRectF(140, 90, 120, 120));
    EXPECT_EQ(effect.message, QString("Пиксели применены к объекту. Проверьте его границы."));
    // The mask grows by a 5 × 5 square around the soft outline: up to four pixels on a diagonal.
    EXPECT_EQ(changedAwayFromDisc(scene, effect, 4.5), 0);

    // Inside, every square of the grid (anchored at the bottom-left corner) is one colour.
    const QImage after = scenes::asRgba(effect.image);
    for (int y = 120 - 90 + 2; y < 120 - 90 + 58; ++y)
        for (int x = 170 - 140 + 2; x < 170 - 140 + 58; ++x) {
            if (scenes::distanceTo(QPointF(140 + x + 0.5, 90 + y + 0.5), scene.centre) > 24)
                continue;
            const int cellX = x / 10 * 10;
            const int cellBottom = 120 - (120 - y - 1) / 10 * 10 - 1; // bottom row of its square
            if (scenes::distanceTo(QPointF(140 + cellX + 0.5, 90 + cellBottom + 0.5), scene.centre) > 24)
                continue;
            ASSERT_EQ(scenes::rgba(after, x, y), scenes::rgba(after, cellX, cellBottom)) << x << "," << y;
        }
}

TEST(ObjectPixelate, TakesObjectsPartlyInsideAndTheWholeImage)
{
    QImage image = scenes::flat(400, 300, grey);
    scenes::texturedEllipse(image, QRectF(170, 120, 60, 60), 3);

    // 80 % of the object inside: object erase treats the whole selection, pixelation the object.
    const QRectF selection(130, 80, 84, 140);
    EXPECT_EQ(ObjectRemoval::remove(image, selection, never).message,
              QString("Контур не найден — восстановлена вся выделенная область."));
    EXPECT_EQ(ObjectRemoval::pixelate(image, selection, 10, never).message,
              QString("Пиксели применены к объекту. Проверьте его границы."));

    const BlurEffect whole = ObjectRemoval::pixelate(image, QRectF(0, 0, 400, 300), 10, never);
    EXPECT_EQ(whole.rect, QRectF(0, 0, 400, 300));
    EXPECT_EQ(whole.message, QString("Пиксели применены к объекту. Проверьте его границы."));

    // Nothing to find: every pixel of the selection is pixelated.
    const BlurEffect empty = ObjectRemoval::pixelate(image, QRectF(10, 10, 50, 40), 10, never);
    EXPECT_EQ(empty.message, QString("Контур не найден — пиксели применены ко всему выделению."));
}

TEST(ObjectRemovalPixels, ConvertScaleAndMask)
{
    QImage image(3, 2, QImage::Format_ARGB32);
    image.fill(QColor(200, 100, 50, 128));
    const ObjectRemoval::Pixels pixels(image);
    ASSERT_EQ(pixels.bytes.size(), 24u);
    // Premultiplied, R first.
    EXPECT_EQ(pixels.bytes[0], 100);
    EXPECT_EQ(pixels.bytes[1], 50);
    EXPECT_EQ(pixels.bytes[2], 25);
    EXPECT_EQ(pixels.bytes[3], 128);
    const QImage back = pixels.image();
    EXPECT_EQ(back.format(), QImage::Format_RGBA8888_Premultiplied);
    EXPECT_EQ(ObjectRemoval::Pixels(back).bytes, pixels.bytes);

    const ObjectRemoval::Pixels half(scenes::flat(40, 20, grey), 20, std::nullopt);
    EXPECT_EQ(half.width, 20);
    EXPECT_EQ(half.height, 20);
    EXPECT_THROW(ObjectRemoval::Pixels{QImage()}, TarnwickError);
    EXPECT_THROW(ObjectRemoval::Pixels(image, 0, 5), TarnwickError);
    EXPECT_THROW(ObjectRemoval::Pixels(2, 2, {1, 2, 3}).image(), TarnwickError);

    // Touched pixels count: x 1...3 and y 0...1.
    const std::vector<bool> mask = ObjectRemoval::rectangleMask(QRectF(1.5, 0.2, 2, 1), 5, 3);
    std::vector<bool> expected(15, false);
    for (int y = 0; y <= 1; ++y)
        for (int x = 1; x <= 3; ++x)
            expected[static_cast<size_t>(y * 5 + x)] = true;
    EXPECT_EQ(mask, expected);
    EXPECT_EQ(ObjectRemoval::rectangleMask(QRectF(-10, -10, 100, 100), 2, 2), std::vector<bool>(4, true));
    EXPECT_EQ(ObjectRemoval::rectangleMask(QRectF(std::nan(""), 0, 1, 1), 2, 2), std::vector<bool>(4, false));
}
