#include "app/ScrollingCaptureEngine.h"
#include "support/Errors.h"

#include <QTest>
#include <gtest/gtest.h>
#include <mutex>
#include <random>

using namespace tarnwick;

namespace {

QImage noisePage(int width, int height)
{
    QImage page(width, height, QImage::Format_RGB32);
    std::mt19937 random(5);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            page.setPixel(x, y, random() | 0xff000000u);
    return page;
}

// Stands in for the screen grabber: the page scrolls by `step` rows per grab
// until its end, then the screen stays still; `failAt` makes that grab lose the screen.
struct ScrollingScreen {
    QImage page = noisePage(400, 1800);
    int step = 90;
    int failAt = -1;
    std::mutex mutex;
    int grabs = 0;
    QRect asked;

    QImage grab(const QRect& pixels)
    {
        std::lock_guard lock(mutex);
        asked = pixels;
        if (grabs++ == failAt)
            throw TarnwickError::message(QStringLiteral("Соединение с X-сервером потеряно."));
        const int offset = std::min((grabs - 1) * step, page.height() - pixels.height());
        return page.copy(0, offset, pixels.width(), pixels.height());
    }
};

struct Capture {
    std::vector<ScrollAppendResult> results;
    QStringList failures;
    std::optional<ScrollingCaptureEngine::Result> answer;
};

Capture capture(ScrollingScreen& screen, bool discard, int grabsBeforeFinish)
{
    Capture run;
    ScrollingCaptureEngine engine([&](const QRect& r) { return screen.grab(r); });
    engine.onProgress = [&](int, int, ScrollAppendResult r) { run.results.push_back(r); };
    engine.onFailure = [&](const TarnwickError& e) { run.failures << e.errorDescription(); };
    engine.start(QRect(0, 0, 1920, 1080), QRect(300, 200, 400, 600), 1.0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return screen.grabs >= grabsBeforeFinish; }, 10000));
    engine.finish(discard, [&](ScrollingCaptureEngine::Result r) { run.answer = std::move(r); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return run.answer.has_value(); }, 5000));
    return run;
}

TEST(ScrollingCaptureEngine, stitchesTheScrolledPageAndReportsEveryFrame)
{
    ScrollingScreen screen;
    const Capture run = capture(screen, false, 15);
    EXPECT_EQ(screen.asked, QRect(300, 200, 400, 600));
    ASSERT_FALSE(run.results.empty());
    EXPECT_EQ(run.results.front().kind, ScrollAppendKind::first);
    EXPECT_TRUE(run.failures.isEmpty());
    const auto* image = std::get_if<QImage>(&*run.answer);
    ASSERT_TRUE(image);
    EXPECT_TRUE(*image == screen.page.convertToFormat(QImage::Format_ARGB32_Premultiplied));
}

TEST(ScrollingCaptureEngine, lostScreenIsReportedOnceAndTheCollectedPartStillComposes)
{
    ScrollingScreen screen;
    screen.failAt = 3;
    const Capture run = capture(screen, false, 4);
    EXPECT_EQ(run.failures, QStringList{QStringLiteral("Соединение с X-сервером потеряно.")});
    EXPECT_EQ(run.results.size(), 3u);
    const auto* image = std::get_if<QImage>(&*run.answer);
    ASSERT_TRUE(image);
    EXPECT_TRUE(*image == screen.page.copy(0, 0, 400, 780).convertToFormat(QImage::Format_ARGB32_Premultiplied));
}

TEST(ScrollingCaptureEngine, discardAnswersNoImage)
{
    ScrollingScreen screen;
    const Capture run = capture(screen, true, 2);
    const auto* image = std::get_if<QImage>(&*run.answer);
    ASSERT_TRUE(image);
    EXPECT_TRUE(image->isNull());
}

TEST(ScrollingCaptureEngine, areasOutsideTheLimitsAreRefusedBeforeGrabbing)
{
    struct Area {
        QRect screen, selection;
        qreal scale;
        const char* error;
    };
    const char* tooSmall = "Для прокрутки выберите область высотой хотя бы 32 пикселя.";
    const Area areas[] = {
        {{0, 0, 1920, 1080}, {10, 10, 15, 500}, 1.0, tooSmall},
        {{0, 0, 1920, 1080}, {10, 10, 500, 31}, 1.0, tooSmall},
        {{0, 0, 1920, 1080}, {10, 10, 500, 16}, 2.0, nullptr},
        {{1920, 0, 1920, 1080}, {10, 10, 500, 500}, 1.0, tooSmall},
        {{0, 0, 8000, 8000}, {0, 0, 7000, 7000}, 1.0, "Выберите область поменьше."},
    };
    for (const Area& a : areas) {
        int grabs = 0;
        ScrollingCaptureEngine engine([&](const QRect&) { return ++grabs, QImage(); });
        const QString error = test::errorOf([&] { engine.start(a.screen, a.selection, a.scale); });
        EXPECT_EQ(error, a.error ? QString::fromUtf8(a.error) : QString()) << a.selection.width() << "x" << a.selection.height();
        if (a.error) {
            QTest::qWait(0);
            EXPECT_EQ(grabs, 0);
        }
    }
}

} // namespace
