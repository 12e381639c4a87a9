#include "app/ScrollingCaptureController.h"
#include "support/Errors.h"

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

TEST(ScrollingCaptureController, controlPanelGoesBelowTheAreaOrAboveWhenThereIsNoRoom)
{
    EXPECT_EQ(ScrollingCaptureController::controlOrigin({400, 100, 600, 500}, {0, 0, 1920, 1040}), QPoint(405, 612));
    EXPECT_EQ(ScrollingCaptureController::controlOrigin({400, 500, 600, 500}, {0, 0, 1920, 1040}), QPoint(405, 378));
}

} // namespace
