#include "PickerRun.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarnwick::test;

// What the user drags is what they get, in device pixels, at whole and
// fractional scales; the file says the scale and where the area lay.
TEST(Picker, ADragGivesTheFrozenPixelsOfExactlyThatRectangleAtEveryScale)
{
    X11Client x;
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("shot.png"));
    for (const auto& [scale, dotsPerMeter] : {std::pair{"1", 2835}, {"1.25", 3543}, {"1.5", 4252}, {"2", 5669}}) {
        SCOPED_TRACE(scale);
        const QImage before = paint(x, x.root(), QRect(200, 100, 600, 400), dotsPerMeter);
        qputenv("QT_SCALE_FACTOR", scale);
        ASSERT_EQ(pick(x, {}, file, [&] {
            // The screen changes under the veil after the freeze; the shot must not.
            paint(x, x.root(), QRect(200, 100, 600, 400), 7, true);
            x.drag(251, 133, 571, 373); // between whole points at none of the fractional scales
        }), 0);
        qunsetenv("QT_SCALE_FACTOR");
        const QImage shot = QImage(file).convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(shot, before.copy(51, 33, 320, 240));
        EXPECT_EQ(QSize(shot.dotsPerMeterX(), shot.dotsPerMeterY()), QSize(dotsPerMeter, dotsPerMeter)); // 72 dpi a unit
        EXPECT_EQ(shot.offset(), QPoint(251, 133));
    }
}
