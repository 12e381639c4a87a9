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

namespace {

// The colour most of an icon's opaque pixels have, by hue family; empty when none is opaque.
QString inkOf(const QImage& image)
{
    int red = 0, green = 0, blue = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (const QColor c = image.pixelColor(x, y); c.alpha() >= 200)
                ++(c.red() > 200 ? red : c.green() > 200 ? green : blue);
    if (red + green + blue == 0)
        return {};
    return red > green + blue ? "red" : green > red + blue ? "green" : blue > red + green ? "blue" : "mixed";
}

} // namespace

TEST(Icons, AMenuIconTakesTheMenusColourOfEachStateAtTheSizeAsked)
{
    QPalette menu;
    menu.setColor(QPalette::Active, QPalette::Text, QColor(255, 0, 0));
    menu.setColor(QPalette::Active, QPalette::HighlightedText, QColor(0, 255, 0));
    menu.setColor(QPalette::Disabled, QPalette::Text, QColor(0, 0, 255));
    const QIcon icon = platform::menuIcon(u"check", menu);
    ASSERT_FALSE(icon.isNull());
    for (int side : {16, 24, 32}) {
        EXPECT_EQ(icon.pixmap(side, QIcon::Normal).size(), QSize(side, side));
        EXPECT_EQ(inkOf(icon.pixmap(side, QIcon::Normal).toImage()), "red") << side;
        EXPECT_EQ(inkOf(icon.pixmap(side, QIcon::Active).toImage()), "green") << side;
        EXPECT_EQ(inkOf(icon.pixmap(side, QIcon::Selected).toImage()), "green") << side;
        EXPECT_EQ(inkOf(icon.pixmap(side, QIcon::Disabled).toImage()), "blue") << side;
    }
    // A copy draws the same; asking twice gives the same picture. A plain copy shares the
    // engine: changing it detaches, so the copy draws with a clone.
    QIcon copy = icon;
    copy.setIsMask(false);
    EXPECT_EQ(copy.pixmap(16, QIcon::Disabled).toImage(), icon.pixmap(16, QIcon::Disabled).toImage());
    EXPECT_TRUE(platform::menuIcon(u"no.such.symbol", menu).isNull());
}
