#include "platform/Icons.h"
#include "series/Annotation.h"

#include <QImage>
#include <gtest/gtest.h>

using namespace tarnwick;

TEST(Icons, EveryToolSymbolHasAnIconDrawnInTheAskedColourOthersNone)
{
    for (AnnotationTool tool : allCases<AnnotationTool>()) {
        const QImage image = platform::symbolPixmap(symbol(tool), 32, QColor(255, 0, 0)).toImage();
        int red = 0, other = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.alpha() >= 200)
                    (c.red() > 200 && c.green() < 60 && c.blue() < 60 ? red : other)++;
            }
        EXPECT_GT(red, 20) << rawValue(tool);
        EXPECT_EQ(other, 0) << rawValue(tool);
    }
    EXPECT_TRUE(platform::symbolIcon(u"no.such.symbol").isNull());
    EXPECT_TRUE(platform::iconResource(u"no.such.symbol").isEmpty());
}
