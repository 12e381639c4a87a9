#include "render/BackgroundRemoval.h"
#include "platform/SerialQueue.h"
#include "series/TarnwickError.h"

#include "ObjectScenes.h"

#include <QColorSpace>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>

#include <pthread.h>
#include "support/Errors.h"

using namespace tarnwick;
using tarnwick::test::errorOf;

namespace {

const QColor paper(236, 236, 236);
const std::function<bool()> never = [] { return false; };

// A textured ellipse on a flat background, and the ellipse's geometry.
struct EllipseScene {
    QImage image;
    QRectF box;

    EllipseScene(int width, int height, int tile)
        : image(scenes::flat(width, height, paper)), box(width * 0.25, height * 0.2, width * 0.5, height * 0.6)
    {
        scenes::texturedEllipse(image, box, tile);
    }

    // Where (x + 0.5, y + 0.5) lies relative to the outline: below 1 inside, above 1 outside.
    double radial(int x, int y) const
    {
        const double u = (x + 0.5 - box.center().x()) / (box.width() / 2);
        const double v = (y + 0.5 - box.center().y()) / (box.height() / 2);
        return std::hypot(u, v);
    }
};

void expectCutOut(const EllipseScene& scene, const QImage& result, double insideBelow, double outsideAbove)
{
    ASSERT_EQ(result.size(), scene.image.size());
    ASSERT_EQ(result.format(), QImage::Format_RGBA8888_Premultiplied);
    const QImage before = scenes::asRgba(scene.image);
    const int w = result.width(), h = result.height();
    for (const QPoint corner : {QPoint(0, 0), QPoint(w - 1, 0), QPoint(0, h - 1), QPoint(w - 1, h - 1)})
        EXPECT_EQ(scenes::rgba(result, corner.x(), corner.y()), 0u);

    int wrongInside = 0, visibleOutside = 0, soft = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double r = scene.radial(x, y);
            const uint32_t value = scenes::rgba(result, x, y);
            const int alpha = static_cast<int>(value >> 24);
            if (r < insideBelow)
                wrongInside += value != scenes::rgba(before, x, y) ? 1 : 0;
            else if (r > outsideAbove)
                visibleOutside += alpha != 0 ? 1 : 0;
            else if (alpha > 0 && alpha < 255)
                ++soft;
        }
    EXPECT_EQ(wrongInside, 0);
    EXPECT_EQ(visibleOutside, 0);
    EXPECT_GT(soft, 20);
}

} // namespace

TEST(BackgroundRemoval, CutsOutATexturedEllipseWithASoftEdge)
{
    const EllipseScene scene(480, 320, 4);
    const QImage result = BackgroundRemoval::remove(scene.image, never);
    expectCutOut(scene, result, 0.97, 1.03);
}

TEST(BackgroundRemoval, LargeImagesAreSegmentedSmallAndKeepTheirSize)
{
    const EllipseScene scene(2400, 1500, 12);
    const QImage result = BackgroundRemoval::remove(scene.image, never);
    // Segmented at about a quarter of the size: the outline is a few pixels coarser.
    expectCutOut(scene, result, 0.95, 1.02);
}

TEST(BackgroundRemoval, NothingFoundLeavesTheImageAlone)
{
    const QImage uniform = scenes::flat(300, 200, QColor(40, 90, 160));
    const QImage copy = uniform.copy();
    EXPECT_EQ(errorOf([&] { BackgroundRemoval::remove(uniform, never); }),
              QString("Не удалось найти объект. Фон оставлен без изменений."));
    EXPECT_EQ(uniform, copy);
    EXPECT_THROW(BackgroundRemoval::remove(QImage(), never), TarnwickError);
}

TEST(BackgroundRemoval, KeepsAnRgbColourSpaceAndGivesSrgbOtherwise)
{
    EllipseScene scene(240, 160, 4);
    scene.image.setColorSpace(QColorSpace::DisplayP3);
    EXPECT_EQ(BackgroundRemoval::remove(scene.image, never).colorSpace(), QColorSpace(QColorSpace::DisplayP3));

    const QImage grey = scene.image.convertToFormat(QImage::Format_Grayscale8);
    const QImage result = BackgroundRemoval::remove(grey, never);
    EXPECT_EQ(result.colorSpace(), QColorSpace(QColorSpace::SRgb));
    EXPECT_EQ(result.size(), grey.size());
}

TEST(BackgroundRemoval, AppliesMasksOfTheImageSizeOnly)
{
    QImage image(2, 1, QImage::Format_ARGB32);
    image.setPixelColor(0, 0, QColor(200, 100, 50, 255));
    image.setPixelColor(1, 0, QColor(200, 100, 50, 100));
    SoftMask mask{2, 1, {0.5f, 1.0f}};
    const QImage out = BackgroundRemoval::applying(mask, image);
    // Premultiplied bytes scaled by the mask: soft edges stay soft.
    const uchar* bytes = out.constScanLine(0);
    EXPECT_EQ(bytes[0], 100);
    EXPECT_EQ(bytes[1], 50);
    EXPECT_EQ(bytes[2], 25);
    EXPECT_EQ(bytes[3], 128);
    const QImage half = scenes::asRgba(image);
    EXPECT_EQ(scenes::rgba(out, 1, 0), scenes::rgba(half, 1, 0));

    const QString refused = "Не удалось удалить фон. Изображение оставлено без изменений.";
    EXPECT_EQ(errorOf([&] { BackgroundRemoval::applying(SoftMask{2, 2, std::vector<float>(4, 1)}, image); }), refused);
    EXPECT_EQ(errorOf([&] { BackgroundRemoval::applying(SoftMask{2, 1, {1}}, image); }), refused);
}

TEST(BackgroundRemoval, RunsOnItsQueueAndAnswersOnTheGuiThread)
{
    EXPECT_EQ(BackgroundRemoval::queue().name(), "com.tarnwick.background-removal");

    const EllipseScene scene(240, 160, 4);
    QObject receiver;
    std::optional<BackgroundRemoval::Outcome> outcome;
    bool onGuiThread = false;
    std::string workerName;
    auto job = std::make_shared<BackgroundRemovalJob>();
    BackgroundRemoval::start(
        scene.image, job, &receiver,
        [&](const BackgroundRemoval::Outcome& o) {
            outcome = o;
            onGuiThread = QThread::currentThread() == qApp->thread();
        },
        [&](const QImage& image, const std::function<bool()>& isCancelled) {
            char name[32] = {};
            pthread_getname_np(pthread_self(), name, sizeof name);
            workerName = name;
            return BackgroundRemoval::remove(image, isCancelled);
        });
    QElapsedTimer clock;
    clock.start();
    while (!outcome && clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_TRUE(onGuiThread);
    EXPECT_EQ(workerName, "kground-removal"); // the last 15 characters of the name
    EXPECT_FALSE(outcome->error);
    EXPECT_EQ(outcome->image.size(), scene.image.size());

    // A job cancelled before the queue reaches it ends with the cancellation error.
    auto cancelled = std::make_shared<BackgroundRemovalJob>();
    cancelled->cancel();
    EXPECT_TRUE(cancelled->isCancelled());
    outcome.reset();
    BackgroundRemoval::start(scene.image, cancelled, &receiver, [&](const BackgroundRemoval::Outcome& o) { outcome = o; });
    clock.restart();
    while (!outcome && clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_THROW(std::rethrow_exception(outcome->error), CancellationError);

    // A receiver gone before the answer arrives hears nothing.
    bool heard = false;
    {
        QObject shortLived;
        BackgroundRemoval::start(scene.image, job, &shortLived, [&](const BackgroundRemoval::Outcome&) { heard = true; });
        BackgroundRemoval::queue().sync([] {});
    }
    QCoreApplication::processEvents();
    EXPECT_FALSE(heard);
}
