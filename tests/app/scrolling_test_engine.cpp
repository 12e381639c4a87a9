#include "app/ScrollingCaptureController.h"
#include "support/Errors.h"
#include "NoisePage.h"

#include <QDeadlineTimer>
#include <QTest>
#include <atomic>
#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

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
        // Only the part on the selection's own screen is grabbed.
        {{1920, 0, 1920, 1080}, {1900, 10, 35, 500}, 1.0, tooSmall},
        {{0, 0, 8000, 8000}, {0, 0, 7000, 7000}, 1.0, "Выберите область поменьше."},
    };
    for (const Area& a : areas) {
        int grabs = 0;
        ScrollingCaptureEngine engine([&](const QRect&) { return ++grabs, QImage(); });
        const QString error = test::errorOf([&] { engine.start(a.screen, a.selection, a.scale); });
        EXPECT_EQ(error, a.error ? QString::fromUtf8(a.error) : QString()) << a.selection.x();
        EXPECT_TRUE(!a.error || grabs == 0);
    }
}

TEST(ScrollingCaptureEngine, keepsEveryRowFromABlankStartThroughOneRowStepsToTheLastRowShownAtTheEnd)
{
    const QImage page = test::noisePage(300, 1200);
    std::atomic<int> offset{-1}; // the window is still blank
    ScrollingCaptureEngine engine([&](const QRect& r) {
        QImage blank(r.size(), QImage::Format_RGB32);
        blank.fill(qRgb(246, 245, 244));
        return offset < 0 ? blank : page.copy(0, offset, r.width(), r.height());
    });
    int frames = 0;
    engine.onProgress = [&](int, int, ScrollAppendResult) { ++frames; };
    engine.start({0, 0, 1920, 1080}, {0, 0, 300, 600}, 1.0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return frames > 0; }));
    // Painted at last; at most one grab was on its way.
    offset = 0;
    ASSERT_TRUE(QTest::qWaitFor([&, seen = frames] { return frames >= seen + 2; }));
    // One row at a time, each seen by a grab: the engine reports a grab that began after the
    // step. Woken by each report (the engine's pace is milliseconds) rather than a poll.
    QDeadlineTimer deadline(60000);
    for (; offset < 150 && !deadline.hasExpired(); ++offset)
        for (const int seen = frames; frames < seen + 2 && !deadline.hasExpired();)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    ASSERT_EQ(offset, 150) << "the engine stopped reporting its grabs";
    // Rows scrolled into view just before the end are still taken.
    offset = 300;
    std::optional<ScrollingCaptureEngine::Result> answer;
    engine.finish(false, [&](ScrollingCaptureEngine::Result r) { answer = std::move(r); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }));
    const auto* image = std::get_if<QImage>(&*answer);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->height(), 900);
    EXPECT_TRUE(*image == page.copy(0, 0, 300, 900).convertToFormat(QImage::Format_ARGB32_Premultiplied));
}

TEST(ScrollingCaptureController, controlPanelGoesBelowAboveRightLeftOrCoversTheFewestRowsLeftOutOfTheArea)
{
    struct Row {
        QRect selection, frame;
        QPoint origin;
        QRect area;
    } rows[] = {
        {{400, 100, 600, 500}, {0, 0, 1920, 1040}, {405, 612}, {400, 100, 600, 500}},
        {{400, 500, 600, 500}, {0, 0, 1920, 1040}, {405, 378}, {400, 500, 600, 500}},
        {{400, 100, 600, 820}, {0, 0, 1920, 1040}, {405, 930}, {400, 100, 600, 820}},
        {{100, 60, 600, 960}, {0, 0, 1920, 1040}, {712, 485}, {100, 60, 600, 960}},
        {{1200, 60, 600, 960}, {0, 0, 1920, 1040}, {598, 485}, {1200, 60, 600, 960}},
        {{260, 90, 1400, 900}, {0, 0, 1920, 1080}, {665, 970}, {260, 90, 1400, 878}},
        {{260, 70, 1400, 960}, {0, 0, 1920, 1080}, {665, 0}, {260, 112, 1400, 918}},
        {{1700, 1180, 200, 300}, {0, 1080, 1920, 1080}, {1330, 1492}, {1700, 1180, 200, 300}},
    };
    for (const Row& row : rows) {
        const auto placement = ScrollingCaptureController::controlPlacement(row.selection, row.frame);
        EXPECT_EQ(placement.origin, row.origin) << row.selection.y();
        EXPECT_EQ(placement.area, row.area) << row.selection.y();
    }
}

} // namespace
