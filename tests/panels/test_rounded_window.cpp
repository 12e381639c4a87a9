#include "panels/RoundedWindow.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <gtest/gtest.h>

using namespace tarnwick;

// Crossing from a 2× screen to a 1× one, Qt can report the new size in the old scale for a
// moment and tell of the screen change while the window has that size: the mask must come
// back to the whole window once it has its own size again, or only a quarter of it shows.
TEST(RoundedWindow, TheMaskFollowsEverySizeTheWindowTakes)
{
    QWidget window(nullptr, Qt::Tool | Qt::FramelessWindowHint);
    window.resize(180, 191);
    keepWindowMask(window, [&window] { return roundedRegion(window.rect(), 14); });
    window.show();
    EXPECT_EQ(window.mask().boundingRect(), QRect(0, 0, 180, 191));

    window.resize(90, 96);
    QEvent screenChanged(QEvent::ScreenChangeInternal);
    QApplication::sendEvent(&window, &screenChanged);
    EXPECT_EQ(window.mask().boundingRect(), QRect(0, 0, 90, 96));
    window.resize(180, 191);
    EXPECT_EQ(window.mask().boundingRect(), QRect(0, 0, 180, 191));
    // The corners stay cut at every size.
    EXPECT_FALSE(window.mask().contains(QPoint(0, 0)));
    EXPECT_FALSE(window.mask().contains(QPoint(179, 190)));
    EXPECT_TRUE(window.mask().contains(QPoint(90, 95)));

    // A window grown while hidden is masked whole when it shows.
    window.hide();
    window.resize(300, 120);
    window.show();
    EXPECT_EQ(window.mask().boundingRect(), QRect(0, 0, 300, 120));
}
