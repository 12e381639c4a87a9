#include "render/BackgroundRemoval.h"
#include "render/ObjectRemoval.h"
#include "series/TarnwickError.h"

#include "ObjectScenes.h"

#include <gtest/gtest.h>

#include <limits>

using namespace tarnwick;

namespace {

// A cancellation test that answers true from its `at`-th call on, counting every call.
struct CancelAt {
    int at;
    std::shared_ptr<int> calls = std::make_shared<int>(0);
    std::function<bool()> test() const
    {
        return [at = at, calls = calls] { return ++*calls >= at; };
    }
};

int countPolls(const std::function<void(const std::function<bool()>&)>& run)
{
    CancelAt never{std::numeric_limits<int>::max()};
    run(never.test());
    return *never.calls;
}

// Cancelling at each of `points` throws the cancellation error there, and nothing is polled after it.
void expectCancelledAt(const std::function<void(const std::function<bool()>&)>& run, const std::vector<int>& points)
{
    for (int point : points) {
        CancelAt cancel{point};
        EXPECT_THROW(run(cancel.test()), CancellationError) << "at poll " << point;
        EXPECT_EQ(*cancel.calls, point);
    }
}

QImage discScene()
{
    QImage image = scenes::flat(400, 300, QColor(128, 128, 128));
    scenes::disc(image, {200, 150}, 20, QColor(220, 30, 30));
    return image;
}

} // namespace

TEST(Cancellation, ObjectEraseStopsAtEveryPollingPoint)
{
    const QImage image = discScene();
    const QImage copy = image.copy();
    const QRectF selection(150, 100, 100, 100);
    const auto run = [&](const std::function<bool()>& test) { ObjectRemoval::remove(image, selection, test); };
    const int total = countPolls(run);
    // Start and end of the preparation, start of the filling, one per filled block, one per scene row.
    const int rows = 260; // selection 100 + margin 80 on each side
    const int blocks = total - 3 - rows;
    ASSERT_GT(blocks, 1);
    expectCancelledAt(run, {1, 2, 3, 4, 3 + blocks, 4 + blocks, total});
    EXPECT_EQ(image, copy);
}

TEST(Cancellation, ObjectPixelateStopsAtEveryPollingPoint)
{
    const QImage image = discScene();
    const auto run = [&](const std::function<bool()>& test) {
        ObjectRemoval::pixelate(image, QRectF(150, 100, 100, 80), 8, test);
    };
    const int total = countPolls(run);
    EXPECT_EQ(total, 2 + 80);
    expectCancelledAt(run, {1, 2, 3, total});
}

TEST(Cancellation, InpaintingStopsBeforeEveryStep)
{
    const int w = 64, h = 48;
    const ObjectRemoval::Pixels pixels(scenes::flat(w, h, QColor(10, 200, 30)));
    const std::vector<bool> hole = ObjectRemoval::rectangleMask(QRectF(20, 15, 20, 15), w, h);
    const auto run = [&](const std::function<bool()>& test) { ObjectRemoval::inpaint(pixels, hole, hole, test); };
    const int total = countPolls(run);
    ASSERT_GT(total, 3);
    expectCancelledAt(run, {1, 2, total / 2, total});
}

TEST(Cancellation, BackgroundRemovalStopsAtItsThreePoints)
{
    QImage image = scenes::flat(200, 150, QColor(240, 240, 240));
    scenes::disc(image, {100, 75}, 40, QColor(30, 60, 200));
    const QImage copy = image.copy();
    const auto run = [&](const std::function<bool()>& test) { BackgroundRemoval::remove(image, test); };
    EXPECT_EQ(countPolls(run), 3);
    expectCancelledAt(run, {1, 2, 3});
    EXPECT_EQ(image, copy);
}
